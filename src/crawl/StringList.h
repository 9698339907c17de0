#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A string list that keeps itself sorted with its own case-insensitive
// comparison, with one object slot per entry. The order of equal keys after
// Sort and the insert index of FindOrInsert follow the algorithms below
// exactly: callers rely on both.
class StringList {
public:
    struct Entry {
        std::string Str;
        std::intptr_t Obj = 0;
    };

    bool Descending = false;
    bool RemoveBlankLines = true;

    static int CompareNoCase(std::string_view a, std::string_view b);

    int Count() const { return int(Items_.size()); }
    const std::string& operator[](int i) const { return Items_[std::size_t(i)].Str; }
    std::intptr_t Object(int i) const { return Items_[std::size_t(i)].Obj; }
    void SetObject(int i, std::intptr_t obj) { Items_[std::size_t(i)].Obj = obj; }
    void Add(std::string s, std::intptr_t obj = 0) { Items_.push_back({std::move(s), obj}); }
    void Insert(int index, std::string s, std::intptr_t obj = 0);
    void Delete(int index) { Items_.erase(Items_.begin() + index); }
    void Clear() { Items_.clear(); }
    void Reserve(std::size_t n) { Items_.reserve(n); }

    // Splits at line breaks (CR LF, LF or CR); a final line break adds no entry.
    void SetText(std::string_view text);
    // Entries joined by CR LF, each followed by one.
    std::string Text() const;

    void Sort();
    void DeleteBlankLines();
    // Binary search for s; FoundIndex is -1 when absent, InsertIndex is -1
    // when found. With addIfMissing a missing s is inserted at InsertIndex.
    bool FindOrInsert(std::string_view s, int& foundIndex, int& insertIndex, bool addIfMissing);

private:
    void QuickSort(int low, int high);
    int Cmp(std::string_view a, std::string_view b) const {
        const int c = CompareNoCase(a, b);
        return Descending ? -c : c;
    }

    std::vector<Entry> Items_;
};
