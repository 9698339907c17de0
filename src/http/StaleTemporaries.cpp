#include "StaleTemporaries.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

bool IsLowerHex(const std::string& text, std::size_t from, std::size_t to) {
    if (from >= to || to - from > 16) return false;
    for (std::size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool ProcessIsGone(long pid) {
    if (pid == long(::getpid())) return false;
    // EPERM: it runs under another user, so it is alive.
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

long PidOfTemporary(const std::string& name) {
    static constexpr std::string_view kPrefix = ".part-";
    if (!name.starts_with(kPrefix)) return 0;
    const std::size_t dash = name.find('-', kPrefix.size());
    if (dash == std::string::npos) return 0;
    if (!IsLowerHex(name, kPrefix.size(), dash) || !IsLowerHex(name, dash + 1, name.size()))
        return 0;
    const unsigned long long pid =
        std::stoull(name.substr(kPrefix.size(), dash - kPrefix.size()), nullptr, 16);
    // Longer than any pid the kernel hands out: not one of ours.
    if (pid == 0 || pid > 0x400000) return 0;
    return long(pid);
}

int RemoveStaleTemporaries(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    int removed = 0;
    // Symbolic links are not followed: only the storage folder's own tree.
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        if (!entry.is_regular_file(typeError) || entry.is_symlink(typeError)) continue;
        const long pid = PidOfTemporary(entry.path().filename().string());
        if (pid == 0 || !ProcessIsGone(pid)) continue;
        std::error_code removeError;
        if (fs::remove(entry.path(), removeError)) ++removed;
    }
    return removed;
}
