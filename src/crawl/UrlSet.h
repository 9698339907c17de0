#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// The URLs handled in one scan, each with a mark (1: an html page). Scheme
// and host are compared without regard to ASCII letter case, the rest of an
// address as written: /okA.jpg and /oka.jpg are two files to fetch. A text
// without a scheme is taken as a host name (user information before an "@"
// kept as written): the scan keeps the host names it has met in one as well.
// A scan enters every link it meets, so lookups and inserts take constant
// time whatever the list's size.
class UrlSet {
public:
    // True when url was already there; otherwise, with add, it is entered
    // with the mark 0.
    bool FindOrInsert(std::string_view url, bool add);
    bool Contains(std::string_view url) const { return Items_.find(url) != Items_.end(); }
    // The mark of url, 0 when absent; SetMark does nothing for an absent url.
    std::intptr_t Mark(std::string_view url) const;
    void SetMark(std::string_view url, std::intptr_t mark);
    // Forgets every URL whose mark is not 1.
    void ForgetUnmarked();
    void Clear() { Items_.clear(); }
    int Count() const { return int(Items_.size()); }
    void Reserve(std::size_t n) { Items_.reserve(n); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const;
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    std::unordered_map<std::string, std::intptr_t, Hash, Equal> Items_;
};
