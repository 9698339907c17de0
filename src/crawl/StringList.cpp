#include "StringList.h"

#include "common/StringTools.h"

int StringList::CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpperChar(a[i]));
        const auto cb = static_cast<unsigned char>(UpperChar(b[i]));
        if (ca != cb) return ca > cb ? 1 : -1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() > b.size() ? 1 : -1;
}

void StringList::Insert(int index, std::string s, std::intptr_t obj) {
    Items_.insert(Items_.begin() + index, Entry{std::move(s), obj});
}

void StringList::SetText(std::string_view text) {
    Items_.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = i;
        while (j < text.size() && text[j] != '\n' && text[j] != '\r')
            ++j;
        Items_.push_back({std::string(text.substr(i, j - i)), 0});
        if (j < text.size() && text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ++j;
        i = j + 1;
    }
}

std::string StringList::Text() const {
    std::string out;
    for (const auto& e : Items_) {
        out += e.Str;
        out += "\r\n";
    }
    return out;
}

void StringList::DeleteBlankLines() {
    std::erase_if(Items_, [](const Entry& e) { return e.Str.empty(); });
}

void StringList::Sort() {
    if (RemoveBlankLines) DeleteBlankLines();
    QuickSort(0, Count() - 1);
}

// Hole-moving quicksort: the middle entry is the pivot, the low entry fills
// its place, and entries are moved into the hole alternately from the high
// end (those less than the pivot) and the low end (those not less).
void StringList::QuickSort(int low, int high) {
    while (low < high) {
        const int mid = (low + high) / 2;
        Entry pivot = std::move(Items_[std::size_t(mid)]);
        if (mid != low) Items_[std::size_t(mid)] = std::move(Items_[std::size_t(low)]);
        int i = low, j = high;
        while (i < j) {
            while (i < j && Cmp(Items_[std::size_t(j)].Str, pivot.Str) >= 0)
                --j;
            if (i < j) Items_[std::size_t(i)] = std::move(Items_[std::size_t(j)]);
            while (i < j && Cmp(Items_[std::size_t(i)].Str, pivot.Str) < 0)
                ++i;
            if (i < j) Items_[std::size_t(j)] = std::move(Items_[std::size_t(i)]);
        }
        Items_[std::size_t(i)] = std::move(pivot);
        // Recurse into the smaller side, loop on the larger one.
        if (i - low < high - i) {
            QuickSort(low, i - 1);
            low = i + 1;
        } else {
            QuickSort(i + 1, high);
            high = i - 1;
        }
    }
}

bool StringList::FindOrInsert(std::string_view s, int& foundIndex, int& insertIndex,
                              bool addIfMissing) {
    foundIndex = -1;
    insertIndex = -1;
    if (Items_.empty()) {
        insertIndex = 0;
    } else {
        int low = 0, high = Count() - 1;
        for (;;) {
            const int mid = (low + high) / 2;
            const int c = Cmp(Items_[std::size_t(mid)].Str, s);
            if (c == 0) {
                foundIndex = mid;
                break;
            }
            if (c < 0) {
                if (mid < high) {
                    low = mid + 1;
                } else {
                    insertIndex = mid + 1;
                    break;
                }
            } else {
                if (low < mid) {
                    high = mid - 1;
                } else {
                    insertIndex = mid;
                    break;
                }
            }
        }
    }
    if (foundIndex == -1 && addIfMissing) Insert(insertIndex, std::string(s));
    return foundIndex != -1;
}
