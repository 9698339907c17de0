#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// The health of a settings file on disk: whether it is one we can read, how
// to notice that it changed, how to set it aside when it is damaged, and the
// private folders it lives in.
namespace SettingsFileHealth {

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsUtf8(std::string_view s);

// What identifies one state of the file on disk, to notice changes.
struct FileSignature {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    long long MTimeSec = 0;
    long MTimeNsec = 0;
    bool operator==(const FileSignature&) const = default;
};

// The file's signature; err is set when the file's presence cannot be told.
FileSignature Inspect(const std::string& path, int& err);

// Why the existing file is not a settings file we can read; empty when it is.
std::string CheckFile(const std::string& path);

// Moves a damaged or foreign file aside as "<path>.bad" (or ".bad.2" and so
// on, when that is taken) and gives the name it now has; empty, with err
// set, when it could not be moved.
std::string MoveAside(const std::string& path, int& err);

// Creates the folder and any missing parents, each readable by the owner only.
bool MakeFolders(const std::string& folder, int& err);

// The folder part of a path: "." for a bare name, "/" for a file at the root.
std::string FolderOf(const std::string& path);

// Makes sure the file and its folders exist, the file with mode 0600; err is
// set when that fails.
bool PrepareFile(const std::string& path, int& err);

std::string ErrnoText(int err);

} // namespace SettingsFileHealth
