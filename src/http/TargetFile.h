#pragma once

#include "http/OriginAttributes.h"

#include <cstdint>
#include <string>

// The file system refuses more data: full, over the user's quota, or past the
// process's file size limit. Trying again will not help.
bool IsDiskFull(int errorNumber);

// The file a transfer stores its body in. The body goes to a temporary file
// beside the target, under a short name of its own (so that any name the
// storage layout makes can be stored), and the target is replaced only when
// the whole body has arrived; a body that is not kept leaves no trace, not
// even the folders made for it. Created on the owner's thread when the
// transfer starts, then written, renamed or removed on its transfer loop's
// thread; only making folders and removing emptied ones wait for each other.
class TargetFile {
public:
    TargetFile() = default;
    ~TargetFile(); // discards an uncommitted file
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Makes the missing folders of target and creates the temporary file
    // in target's folder with the given permissions. On failure, error says
    // why (errno text).
    bool Open(const std::string& target, unsigned mode, const std::string& storageFolder,
              std::string& error);
    bool IsOpen() const { return Fd_ >= 0; }
    // Appends a chunk; false with error set when the disk refuses it.
    bool Write(const char* data, std::size_t size, std::string& error);
    // Closes and moves the temporary file onto the target.
    bool Commit(std::string& error);
    // Closes and removes the temporary file, and the folders it left empty.
    void Discard();
    // The errno of the last failure of Open, Write or Commit.
    int LastError() const { return LastError_; }

    // Set before Open, which writes it on the new file.
    OriginAttributes Origin;

private:
    void RemoveEmptyFolders() const;

    int Fd_ = -1;
    int LastError_ = 0;
    std::string Target_, Temp_, StorageFolder_;
};
