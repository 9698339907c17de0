#include "StorageCleanup.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// The resolved path without a trailing "/"; the path itself when it cannot
// be resolved.
std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX];
    std::string resolved = ::realpath(path.c_str(), buffer) != nullptr ? buffer : path;
    while (resolved.size() > 1 && resolved.back() == '/')
        resolved.pop_back();
    return resolved;
}

struct Walker {
    const std::function<void(const std::string&)>& OnFolder;
    std::set<std::string> Keep;
    bool Remove = true;
    std::vector<std::string> Found;

    bool Walk(const std::string& folder) {
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) return false; // unreadable: not empty, the walk goes on elsewhere
        bool empty = true;
        std::vector<std::string> subFolders;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name.empty() || name[0] == '.') continue;
            const std::string path = folder + name;
            struct stat st {};
            // lstat: a link to a folder is an entry, never walked into.
            if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                subFolders.push_back(path);
            else
                empty = false;
        }
        dir.reset();
        for (const std::string& path : subFolders) {
            if (OnFolder) OnFolder(path);
            if (Walk(path + "/") && Keep.count(path) == 0) {
                Found.push_back(path);
                if (Remove) ::rmdir(path.c_str()); // fails for a folder of dot entries: it stays
            } else {
                empty = false;
            }
        }
        return empty;
    }

    bool Run(const std::string& folder) {
        if (folder.empty()) return false;
        std::string root = Resolved(folder);
        if (root.back() != '/') root += '/';
        std::set<std::string> keep;
        for (const std::string& path : Keep)
            keep.insert(Resolved(path));
        Keep = std::move(keep);
        return Walk(root);
    }
};

} // namespace

bool CleanEmptyFolders(const std::string& folder,
                       const std::function<void(const std::string&)>& onFolder,
                       const std::set<std::string>& keep) {
    Walker walker{onFolder, keep};
    return walker.Run(folder);
}

std::vector<std::string> EmptyFolders(const std::string& folder,
                                      const std::set<std::string>& keep) {
    const std::function<void(const std::string&)> none;
    Walker walker{none, keep, false};
    walker.Run(folder);
    return walker.Found;
}
