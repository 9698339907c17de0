#include "OriginAttributes.h"

#include <cerrno>
#include <sys/xattr.h>

std::atomic<int> OriginAttributes::Refusals_{0};

std::string OriginAttributes::WithoutCredentials(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const std::size_t hostStart = scheme + 3;
    const std::size_t hostEnd = url.find_first_of("/?#", hostStart);
    const std::string_view authority =
        url.substr(hostStart, hostEnd == std::string_view::npos ? std::string_view::npos
                                                                : hostEnd - hostStart);
    const auto at = authority.rfind('@');
    if (at == std::string_view::npos) return std::string(url);
    std::string out(url.substr(0, hostStart));
    out += authority.substr(at + 1);
    if (hostEnd != std::string_view::npos) out += url.substr(hostEnd);
    return out;
}

OriginAttributes OriginAttributes::Of(std::string_view url, std::string_view referrer) {
    return {WithoutCredentials(url), WithoutCredentials(referrer)};
}

void OriginAttributes::WriteTo(int fd) const {
    if (Url.empty() || fd < 0) return;
    const auto write = [fd](const char* name, const std::string& value) {
        if (::fsetxattr(fd, name, value.data(), value.size(), 0) == 0) return true;
        // ENOTSUP: the file system keeps none; EPERM: it refuses the user's
        // namespace; ENOSPC/E2BIG: no room for this value. None of them makes
        // the file itself any less stored.
        return false;
    };
    bool refused = !write(kUrlName, Url);
    if (!refused && !Referrer.empty()) refused = !write(kReferrerName, Referrer);
    if (refused) {
        int none = 0;
        Refusals_.compare_exchange_strong(none, 1);
    }
}

std::string OriginAttributes::Read(const std::string& path, const char* name) {
    const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
    if (size <= 0) return {};
    std::string value(std::size_t(size), '\0');
    const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (n <= 0) return {};
    value.resize(std::size_t(n));
    return value;
}

bool OriginAttributes::RefusalToReport() {
    int refused = 1;
    return Refusals_.compare_exchange_strong(refused, 2);
}
