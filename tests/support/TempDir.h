#pragma once

// Temporary folders and small file helpers for tests.

#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed (with
// everything in it, read-only entries included) when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return Path_; }
    // Path() + "/" + relative
    std::string Sub(const std::string& relative) const;

private:
    std::string Path_;
};

// Every regular file under root, relative to it, sorted.
std::vector<std::string> FilesUnder(const std::string& root);
// Every entry (files, folders, links) under root, relative to it, sorted.
std::vector<std::string> EntriesUnder(const std::string& root);

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
// Creates missing folders on the way.
void WriteFile(const std::string& path, const std::string& content);
