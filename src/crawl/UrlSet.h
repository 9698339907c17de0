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
    // An address with its hash worked out once, for several lookups of it.
    struct Key {
        std::string_view Url;
        std::size_t Hash = 0;
    };
    static Key KeyOf(std::string_view url);

    // True when url was already there; otherwise, with add, it is entered
    // with the mark 0.
    bool FindOrInsert(std::string_view url, bool add) { return FindOrInsert(KeyOf(url), add); }
    bool FindOrInsert(const Key& key, bool add);
    bool Contains(std::string_view url) const { return Contains(KeyOf(url)); }
    bool Contains(const Key& key) const { return Items_.find(key) != Items_.end(); }
    // The mark of url, 0 when absent; SetMark does nothing for an absent url.
    std::intptr_t Mark(std::string_view url) const;
    void SetMark(std::string_view url, std::intptr_t mark) { SetMark(KeyOf(url), mark); }
    void SetMark(const Key& key, std::intptr_t mark);
    // Forgets every URL whose mark is not 1.
    void ForgetUnmarked();
    void Clear() { Items_.clear(); }
    int Count() const { return int(Items_.size()); }
    void Reserve(std::size_t n) { Items_.reserve(n); }

private:
    // An entry keeps its hash: lookups and rehashing never read its text again.
    struct Entry {
        std::string Url;
        std::size_t Hash = 0;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(const Entry& e) const noexcept { return e.Hash; }
        std::size_t operator()(const Key& k) const noexcept { return k.Hash; }
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(const Entry& a, const Entry& b) const {
            return Same(a.Url, a.Hash, b.Url, b.Hash);
        }
        bool operator()(const Key& a, const Entry& b) const {
            return Same(a.Url, a.Hash, b.Url, b.Hash);
        }
        bool operator()(const Entry& a, const Key& b) const {
            return Same(a.Url, a.Hash, b.Url, b.Hash);
        }
    };
    static bool Same(std::string_view a, std::size_t hashA, std::string_view b, std::size_t hashB);
    std::unordered_map<Entry, std::intptr_t, Hash, Equal> Items_;
};
