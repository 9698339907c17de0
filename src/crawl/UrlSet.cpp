#include "UrlSet.h"

#include "common/StringTools.h"

namespace {

bool IsSchemeChar(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

// Where letter case does not count in an address: its scheme ([0, SchemeEnd))
// and its host with the port ([HostBegin, HostEnd)). User information, path,
// query and fragment count as written. A text with no "scheme:" (a bare
// host name, the address of a mail link) is an authority on its own.
struct CaseBlindRanges {
    std::size_t SchemeEnd = 0, HostBegin = 0, HostEnd = 0;

    explicit CaseBlindRanges(std::string_view s) {
        std::size_t i = 0;
        while (i < s.size() && IsSchemeChar(s[i], i == 0))
            ++i;
        std::size_t authority = 0;
        if (i > 0 && i < s.size() && s[i] == ':') {
            SchemeEnd = i;
            if (s.substr(i + 1, 2) != "//") return; // no authority
            authority = i + 3;
        }
        HostEnd = authority;
        while (HostEnd < s.size() && s[HostEnd] != '/' && s[HostEnd] != '?' && s[HostEnd] != '#')
            ++HostEnd;
        HostBegin = authority;
        for (std::size_t k = authority; k < HostEnd; ++k)
            if (s[k] == '@') HostBegin = k + 1;
    }
    bool Blind(std::size_t i) const { return i < SchemeEnd || (i >= HostBegin && i < HostEnd); }
};

} // namespace

UrlSet::Key UrlSet::KeyOf(std::string_view url) {
    // FNV-1a over the bytes as Same compares them: scheme and host lower-cased.
    const CaseBlindRanges blind(url);
    std::uint64_t h = 14695981039346656037ull;
    const auto add = [&h, url](std::size_t from, std::size_t to, bool lower) {
        for (std::size_t i = from; i < to; ++i) {
            h ^= static_cast<unsigned char>(lower ? LowerChar(url[i]) : url[i]);
            h *= 1099511628211ull;
        }
    };
    add(0, blind.SchemeEnd, true);
    add(blind.SchemeEnd, blind.HostBegin, false);
    add(blind.HostBegin, blind.HostEnd, true);
    add(blind.HostEnd, url.size(), false);
    return {url, std::size_t(h)};
}

bool UrlSet::Same(std::string_view a, std::size_t hashA, std::string_view b, std::size_t hashB) {
    if (hashA != hashB || a.size() != b.size()) return false;
    if (a == b) return true; // the common case: written alike
    const CaseBlindRanges blindA(a), blindB(b);
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char ca = blindA.Blind(i) ? LowerChar(a[i]) : a[i];
        const char cb = blindB.Blind(i) ? LowerChar(b[i]) : b[i];
        if (ca != cb) return false;
    }
    return true;
}

bool UrlSet::FindOrInsert(const Key& key, bool add) {
    if (Items_.find(key) != Items_.end()) return true;
    if (add) Items_.emplace(Entry{std::string(key.Url), key.Hash}, 0);
    return false;
}

std::intptr_t UrlSet::Mark(std::string_view url) const {
    const auto it = Items_.find(KeyOf(url));
    return it == Items_.end() ? 0 : it->second;
}

void UrlSet::SetMark(const Key& key, std::intptr_t mark) {
    const auto it = Items_.find(key);
    if (it != Items_.end()) it->second = mark;
}

void UrlSet::ForgetUnmarked() {
    std::erase_if(Items_, [](const auto& item) { return item.second != 1; });
}
