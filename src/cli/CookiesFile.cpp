// Reading a Netscape cookies file for --cookies.
#include "cli/CookiesFile.h"

#include "http/CookieShare.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool ReadCookiesFile(const std::string& path, std::vector<std::string>& lines) {
    const auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "cannot read the cookies file %s: %s\n", path.c_str(), why.c_str());
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat st {};
    std::string text;
    bool ok = ::fstat(fd, &st) == 0;
    int err = errno;
    if (ok && S_ISDIR(st.st_mode)) {
        ok = false;
        err = EISDIR;
    }
    // A cookies file holds a few thousand lines at most.
    constexpr std::size_t kMaxBytes = 64 * 1024 * 1024;
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            err = errno;
        } else if (n == 0) {
            break;
        } else if (text.size() + std::size_t(n) > kMaxBytes) {
            ::close(fd);
            return fail("larger than 64 MiB");
        } else {
            text.append(buffer, std::size_t(n));
        }
    }
    ::close(fd);
    if (!ok) return fail(std::strerror(err));
    // Only counts are said: a damaged line may still hold a cookie's value.
    const int skipped = NetscapeCookieLines(text, lines);
    if (skipped > 0)
        std::fprintf(stderr, "%s: %d damaged line%s skipped\n", path.c_str(), skipped,
                     skipped == 1 ? "" : "s");
    return true;
}
