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

std::size_t UrlSet::Hash::operator()(std::string_view s) const {
    // FNV-1a over the bytes as Equal compares them.
    const CaseBlindRanges blind(s);
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < s.size(); ++i) {
        h ^= static_cast<unsigned char>(blind.Blind(i) ? LowerChar(s[i]) : s[i]);
        h *= 1099511628211ull;
    }
    return std::size_t(h);
}

bool UrlSet::Equal::operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    const CaseBlindRanges blindA(a), blindB(b);
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char ca = blindA.Blind(i) ? LowerChar(a[i]) : a[i];
        const char cb = blindB.Blind(i) ? LowerChar(b[i]) : b[i];
        if (ca != cb) return false;
    }
    return true;
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
