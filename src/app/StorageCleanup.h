#pragma once

// Removing the empty folders a scan left in the storage folder.

#include <functional>
#include <set>
#include <string>
#include <vector>

// Walks folder and removes every sub-folder that holds nothing but empty
// sub-folders (entries whose names begin with "." are not looked at, so a
// folder holding only such entries counts as empty; removing it then fails
// and it stays). Symbolic links are never followed: a link is an entry like
// a file. A folder that cannot be read counts as not empty. The folder
// itself is never removed, nor is a folder of keep (absolute paths; the
// desktop's own folders), which counts as not empty. onFolder is told each
// sub-folder as it is entered. Returns whether folder was found empty.
bool CleanEmptyFolders(const std::string& folder,
                       const std::function<void(const std::string& path)>& onFolder = {},
                       const std::set<std::string>& keep = {});

// The folders CleanEmptyFolders would remove, deepest first, without
// removing anything.
std::vector<std::string> EmptyFolders(const std::string& folder,
                                      const std::set<std::string>& keep = {});
