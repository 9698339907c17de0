#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// One listed file of the library: its real path relative to the listed
// folder, the lower-case key that lines, sorting, search and look-up use,
// and what the list shows of it.
struct ViewRecord {
    std::string Path;          // as on disk: "Pics.example/IMG_01.JPG"
    std::string Key;           // Path in lower case
    std::uint64_t SizeKiB = 0; // byte size shifted right by 10
    char Date[9] = "00/00/00"; // last-write date, local time, "yy/mm/dd"
    bool Viewed = false;       // last-write time shows minute 58, second 58
    bool Thumbnail = false;    // no owner-write bit (thumbnails are stored 0444)
};

constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;

// One display line: "%5u k  yy/mm/dd  key" and where its sort keys start.
// A size of 100000 KiB or more widens the size field, so the offsets are
// kept per line instead of being fixed columns.
struct ViewLine {
    std::string Text;
    std::uint32_t Record = kNoRecord; // index into the records; kNoRecord for the empty line
    std::uint32_t NameAt = 0;         // last "/" of the path, 0 when the path has none
    std::uint8_t SizeWidth = 0;       // characters of the size digits (at least 5)

    std::size_t DateAt() const { return std::size_t(SizeWidth) + 4; }
    std::size_t PathAt() const { return DateAt() + 10; }
    // The key as written in the line.
    std::string_view KeyText() const {
        return Text.size() > PathAt() ? std::string_view(Text).substr(PathAt())
                                      : std::string_view();
    }
};

// The four sort orders, numbered as stored.
enum ViewSortType : int {
    VIEWSORT_DATE = 0,
    VIEWSORT_PATHTREE = 1,
    VIEWSORT_FILESIZE = 2,
    VIEWSORT_FILENAME = 3
};

// Fills the date text and the viewed flag from a last-write time, both in
// local time.
void SetRecordTime(ViewRecord& record, std::time_t lastWrite);

// The display line of a record.
ViewLine MakeLine(const ViewRecord& record, std::uint32_t index);

// Compares the keys of two lines for a sort type: negative when a sorts
// before b. Keys are byte strings; Date starts at the date text, Path Tree
// at the blank before the path, File Name at the path's last "/" (the whole
// line for a path without one) and File Size compares whole lines with the
// size right-aligned over any width.
int CompareLines(const ViewLine& a, const ViewLine& b, int sortType);

// Sorts the lines in place by the key of the sort type; lines with equal
// keys go by the path they show, then by record index, so every key gives
// one order whatever the order before. Descending is that order backwards.
// O(n log n) whatever the keys, on a shallow stack.
void SortViewLines(std::vector<ViewLine>& lines, int sortType, bool descending);
