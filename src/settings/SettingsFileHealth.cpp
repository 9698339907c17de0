#include "SettingsFileHealth.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SettingsFileHealth {

namespace {

// The first "<path>.bad" name not taken; empty when there is none left.
std::string FreeBadName(const std::string& path) {
    for (int i = 1; i < 1000; ++i) {
        std::string name = path + ".bad";
        if (i > 1) {
            name += '.';
            name += std::to_string(i);
        }
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0) return name; // any other error shows in the rename
    }
    return {};
}

} // namespace

bool IsUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        unsigned lo = 0x80, hi = 0xBF; // allowed range of the first continuation byte
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (cc < lo || cc > hi) : (cc < 0x80 || cc > 0xBF)) return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

FileSignature Inspect(const std::string& path, int& err) {
    FileSignature sig;
    struct stat st {};
    err = 0;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) err = errno;
        return sig;
    }
    sig.Exists = true;
    sig.Device = st.st_dev;
    sig.Inode = st.st_ino;
    sig.Size = st.st_size;
    sig.MTimeSec = st.st_mtim.tv_sec;
    sig.MTimeNsec = st.st_mtim.tv_nsec;
    return sig;
}

// QSettings itself reads almost anything without complaint, so the content
// is looked at first: text in UTF-8, made only of sections, values, comments
// and blank lines.
std::string CheckFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ErrnoText(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoText(errno);
    std::string data;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return ErrnoText(err);
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);

    for (char ch : data) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return "it holds binary data";
    }
    if (!IsUtf8(data)) return "it is not UTF-8 text";

    std::string_view rest(data);
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    int lineNo = 0;
    bool continued = false; // the previous line ended in a backslash
    while (!rest.empty()) {
        const std::size_t eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        ++lineNo;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        const bool wasContinued = continued;
        continued = !line.empty() && line.back() == '\\';
        if (wasContinued || line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' ? line.find(']') != std::string_view::npos
                                : line.find('=') != std::string_view::npos)
            continue;
        return "line " + std::to_string(lineNo) + " is not a section, a value or a comment";
    }
    return {};
}

std::string MoveAside(const std::string& path, int& err) {
    err = 0;
    const std::string bad = FreeBadName(path);
    if (bad.empty() || ::rename(path.c_str(), bad.c_str()) != 0) {
        err = bad.empty() ? EEXIST : errno;
        return {};
    }
    return bad;
}

bool MakeFolders(const std::string& folder, int& err) {
    err = 0;
    std::string prefix;
    std::size_t pos = 0;
    while (pos <= folder.size()) {
        std::size_t next = folder.find('/', pos);
        if (next == std::string::npos) next = folder.size();
        prefix = folder.substr(0, next);
        pos = next + 1;
        if (prefix.empty()) continue;
        if (::mkdir(prefix.c_str(), 0700) == 0) {
            ::chmod(prefix.c_str(), 0700); // whatever the umask left
            continue;
        }
        if (errno != EEXIST) {
            err = errno;
            return false;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
        return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file is made before QSettings writes it: QSettings keeps the mode of
// an existing file, so secrets are never readable by others, not even for a
// moment.
bool PrepareFile(const std::string& path, int& err) {
    if (!MakeFolders(FolderOf(path), err)) return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        err = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 07777) != 0600) ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

} // namespace SettingsFileHealth
