#include "StorageCleanup.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool Walk(const std::string& folder, const std::function<void(const std::string&)>& onFolder) {
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
        if (onFolder) onFolder(path);
        if (Walk(path + "/", onFolder))
            ::rmdir(path.c_str()); // fails for a folder of dot entries: it stays
        else
            empty = false;
    }
    return empty;
}

} // namespace

bool CleanEmptyFolders(const std::string& folder,
                       const std::function<void(const std::string&)>& onFolder) {
    std::string root = folder;
    if (root.empty()) return false;
    if (root.back() != '/') root += '/';
    return Walk(root, onFolder);
}
