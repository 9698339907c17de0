#include "TargetFile.h"

#include "common/StringTools.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Distinguishes the temporary files of concurrent transfers; a name taken by
// another process only moves on to the next number.
std::atomic<unsigned> TempCounter{0};
} // namespace

TTargetFile::~TTargetFile() {
    Discard();
}

bool TTargetFile::Open(const std::string& target, unsigned mode, const std::string& storageFolder,
                       std::string& error) {
    Discard();
    Target_ = target;
    StorageFolder_ = storageFolder;
    static const unsigned pid = unsigned(::getpid());
    bool foldersMade = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".part-%x-%x", pid & 0xffffu,
                      TempCounter.fetch_add(1));
        std::string temp = target + suffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            Fd_ = fd;
            Temp_ = std::move(temp);
            return true;
        }
        if (errno == EEXIST) continue;
        // The folders are made on demand: most files go to a folder that
        // exists. Another slot may remove a folder it left empty between
        // our making it and our creating the file: make it again then.
        if (errno == ENOENT && attempt < 8) {
            ForceFolders(target);
            foldersMade = true;
            continue;
        }
        error = std::strerror(errno);
        if (foldersMade) RemoveEmptyFolders();
        return false;
    }
    error = std::strerror(EEXIST);
    return false;
}

bool TTargetFile::Write(const char* data, std::size_t size, std::string& error) {
    std::size_t off = 0;
    while (off < size) {
        const ssize_t w = ::write(Fd_, data + off, size - off);
        if (w < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return false;
        }
        off += std::size_t(w);
    }
    return true;
}

bool TTargetFile::Commit(std::string& error) {
    if (Fd_ < 0) return false;
    const bool closed = ::close(Fd_) == 0;
    const int closeErrno = errno;
    Fd_ = -1;
    if (!closed) {
        error = std::strerror(closeErrno);
        Discard();
        return false;
    }
    if (::rename(Temp_.c_str(), Target_.c_str()) != 0) {
        error = std::strerror(errno);
        Discard();
        return false;
    }
    Temp_.clear();
    return true;
}

void TTargetFile::Discard() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
    if (!Temp_.empty()) {
        ::unlink(Temp_.c_str());
        Temp_.clear();
        RemoveEmptyFolders();
    }
}

// Removes the folders above the target that are left empty, up to the
// storage folder. A folder that holds anything (another request's file among
// them) stays.
void TTargetFile::RemoveEmptyFolders() const {
    if (StorageFolder_.empty()) return;
    std::string root = StorageFolder_;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    std::string dir = Target_;
    for (;;) {
        const auto slash = dir.rfind('/');
        if (slash == std::string::npos) return;
        dir.resize(slash);
        if (dir.size() <= root.size() || dir.compare(0, root.size(), root) != 0 ||
            dir[root.size()] != '/')
            return;
        if (::rmdir(dir.c_str()) != 0) return;
    }
}
