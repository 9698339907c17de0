#include "TargetFile.h"

#include "common/StringTools.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

// Distinguishes the temporary files of concurrent transfers; a name taken by
// another process only moves on to the next number.
std::atomic<unsigned> TempCounter{0};

// Making folders and creating a file in them, and removing folders left
// empty, exclude each other across all slots: otherwise a slot could remove
// a folder between another's making it and creating its file there. Only
// these few calls run under it, never the writing of a body.
std::mutex& FolderMutex() {
    static std::mutex m;
    return m;
}

// Creates a new temporary file in folder (empty or ending in '/'). Its name
// is short and its own rather than the target's with a suffix: the storage
// layout uses names up to the file-name limit. -1 with errno set on failure.
int CreateTemp(const std::string& folder, unsigned mode, std::string& temp) {
    static const unsigned long pid = static_cast<unsigned long>(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, ".part-%lx-%x", pid, TempCounter.fetch_add(1));
        temp = folder + name;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

bool IsDiskFull(int errorNumber) {
    return errorNumber == ENOSPC || errorNumber == EDQUOT || errorNumber == EFBIG;
}

TargetFile::~TargetFile() {
    Discard();
}

bool TargetFile::Open(const std::string& target, unsigned mode, const std::string& storageFolder,
                      std::string& error) {
    Discard();
    Target_ = target;
    StorageFolder_ = storageFolder;
    const auto slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Most files go to a folder that exists, and need no lock: once the file
    // is created, the folder holds it and cannot be removed; if the folder
    // was removed first, the creation fails and is done again below.
    std::string temp;
    int fd = CreateTemp(folder, mode, temp);
    if (fd < 0 && errno == ENOENT) {
        std::lock_guard lock(FolderMutex());
        ForceFolders(target);
        fd = CreateTemp(folder, mode, temp);
        if (fd < 0) {
            const int e = errno;
            RemoveEmptyFolders();
            errno = e;
        }
    }
    if (fd < 0) {
        LastError_ = errno;
        error = std::strerror(errno);
        return false;
    }
    Fd_ = fd;
    Temp_ = std::move(temp);
    Origin.WriteTo(Fd_);
    return true;
}

bool TargetFile::Write(const char* data, std::size_t size, std::string& error) {
    std::size_t off = 0;
    while (off < size) {
        const ssize_t w = ::write(Fd_, data + off, size - off);
        if (w < 0) {
            if (errno == EINTR) continue;
            LastError_ = errno;
            error = std::strerror(errno);
            return false;
        }
        off += std::size_t(w);
    }
    return true;
}

bool TargetFile::Commit(std::string& error) {
    if (Fd_ < 0) return false;
    const bool closed = ::close(Fd_) == 0;
    const int closeErrno = errno;
    Fd_ = -1;
    if (!closed) {
        LastError_ = closeErrno;
        error = std::strerror(closeErrno);
        Discard();
        return false;
    }
    if (::rename(Temp_.c_str(), Target_.c_str()) != 0) {
        LastError_ = errno;
        error = std::strerror(errno);
        Discard();
        return false;
    }
    Temp_.clear();
    return true;
}

void TargetFile::Discard() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
    if (!Temp_.empty()) {
        ::unlink(Temp_.c_str());
        Temp_.clear();
        std::lock_guard lock(FolderMutex());
        RemoveEmptyFolders();
    }
}

// Removes the folders above the target that are left empty, up to the
// storage folder. A folder that holds anything (another request's file among
// them) stays. Called with FolderMutex held.
void TargetFile::RemoveEmptyFolders() const {
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
