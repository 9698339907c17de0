#include "UrlSet.h"

#include "common/StringTools.h"

std::size_t UrlSet::Hash::operator()(std::string_view s) const {
    // FNV-1a over the upper-cased bytes, so that keys equal without regard
    // to case hash alike.
    std::uint64_t h = 14695981039346656037ull;
    for (char c : s) {
        h ^= static_cast<unsigned char>(UpperChar(c));
        h *= 1099511628211ull;
    }
    return std::size_t(h);
}

bool UrlSet::Equal::operator()(std::string_view a, std::string_view b) const {
    return EqualsNoCase(a, b);
}

bool UrlSet::FindOrInsert(std::string_view url, bool add) {
    if (Items_.find(url) != Items_.end()) return true;
    if (add) Items_.emplace(std::string(url), 0);
    return false;
}

std::intptr_t UrlSet::Mark(std::string_view url) const {
    const auto it = Items_.find(url);
    return it == Items_.end() ? 0 : it->second;
}

void UrlSet::SetMark(std::string_view url, std::intptr_t mark) {
    const auto it = Items_.find(url);
    if (it != Items_.end()) it->second = mark;
}

void UrlSet::ForgetUnmarked() {
    std::erase_if(Items_, [](const auto& item) { return item.second != 1; });
}
