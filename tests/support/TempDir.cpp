#include "TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tessellon-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files and folders must not keep the tree alive.
    for (auto it = fs::recursive_directory_iterator(Path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Path_, ec);
}

std::string TempDir::Sub(const std::string& relative) const {
    return Path_ + "/" + relative;
}

namespace {

std::vector<std::string> Walk(const std::string& root, bool filesOnly) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::exists(root, ec)) return out;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (filesOnly && !it->is_regular_file()) continue;
        out.push_back(fs::relative(it->path(), root).string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

std::vector<std::string> FilesUnder(const std::string& root) {
    return Walk(root, true);
}
std::vector<std::string> EntriesUnder(const std::string& root) {
    return Walk(root, false);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}
