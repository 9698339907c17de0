// Display lines, sort keys and the sort: by the key, equal keys by path,
// then by listing order. The expected orders below were worked out by hand
// from the keys.

#include "viewer/ViewLines.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

ViewRecord Record(const std::string& path, std::uint64_t kib, const char* date) {
    ViewRecord r;
    r.Path = path;
    for (char c : path)
        r.Key += char(std::tolower(static_cast<unsigned char>(c)));
    r.SizeKiB = kib;
    std::copy(date, date + 9, r.Date);
    return r;
}

std::vector<ViewLine> Lines(const std::vector<ViewRecord>& records) {
    std::vector<ViewLine> out;
    for (std::uint32_t i = 0; i < records.size(); ++i)
        out.push_back(MakeLine(records[i], i));
    return out;
}

std::vector<std::uint32_t> Order(const std::vector<ViewLine>& lines) {
    std::vector<std::uint32_t> out;
    for (const ViewLine& l : lines)
        out.push_back(l.Record);
    return out;
}

// Five lines with a tie in every key: records 0 and 2 give the same line
// ("B/X.jpg" lower-cases to the key of "b/x.jpg"), and three lines end in
// "/x.jpg". Record 3 lies in the root, so its File Name key is the whole line.
std::vector<ViewRecord> TiedRecords() {
    return {Record("b/x.jpg", 12, "26/01/05"), Record("a/y.jpg", 99, "25/12/31"),
            Record("B/X.jpg", 12, "26/01/05"), Record("z.jpg", 100, "26/01/05"),
            Record("a/x.jpg", 7, "99/03/01")};
}

std::vector<std::uint32_t> SortedOrder(int sortType, bool descending) {
    std::vector<ViewLine> lines = Lines(TiedRecords());
    SortViewLines(lines, sortType, descending);
    return Order(lines);
}

using V = std::vector<std::uint32_t>;

} // namespace

TEST(ViewLineTest, LineLayoutPutsTheKeyAtCharacterTwentyAndWidensForLargeSizes) {
    const ViewLine small = MakeLine(Record("Site/Dir/IMG_01.JPG", 12, "26/12/09"), 0);
    EXPECT_EQ(small.Text, "   12 k  26/12/09  site/dir/img_01.jpg");
    EXPECT_EQ(small.Text.find("site"), 19u); // character 20, 1-based
    EXPECT_EQ(small.KeyText(), "site/dir/img_01.jpg");

    // 100001 KiB pushes the path one character right; 5 GiB keeps all its
    // bits (no wrap at 4 GiB).
    const ViewLine wide = MakeLine(Record("a/huge.avi", 100001, "26/12/09"), 1);
    EXPECT_EQ(wide.Text, "100001 k  26/12/09  a/huge.avi");
    EXPECT_EQ(wide.KeyText(), "a/huge.avi");
    const ViewLine giant = MakeLine(Record("giant.mpg", 5ull << 20, "26/12/09"), 2);
    EXPECT_EQ(giant.Text, "5242880 k  26/12/09  giant.mpg");
    EXPECT_EQ(giant.KeyText(), "giant.mpg");
    EXPECT_EQ(MakeLine(Record("x.jpg", 0, "26/12/09"), 3).Text, "    0 k  26/12/09  x.jpg");
}

TEST(ViewLineTest, ViewedMarkAndDateUseLocalTime) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 13;
    t.tm_min = 58;
    t.tm_sec = 58;
    t.tm_isdst = -1;
    ViewRecord r;
    SetRecordTime(r, std::mktime(&t));
    EXPECT_TRUE(r.Viewed);
    EXPECT_STREQ(r.Date, "26/12/09");
    t.tm_sec = 57;
    SetRecordTime(r, std::mktime(&t));
    EXPECT_FALSE(r.Viewed);
}

// Records 0 and 2 give the same line and keep their listing order; the
// three lines ending in "/x.jpg" tie on File Name and go by path. Descending
// is the ascending order backwards.
TEST(ViewSortTest, DateBothDirections) {
    EXPECT_EQ(SortedOrder(VIEWSORT_DATE, false), (V{1, 0, 2, 3, 4})); // 99 after 26
    EXPECT_EQ(SortedOrder(VIEWSORT_DATE, true), (V{4, 3, 2, 0, 1}));
}

TEST(ViewSortTest, PathTreeBothDirections) {
    EXPECT_EQ(SortedOrder(VIEWSORT_PATHTREE, false), (V{4, 1, 0, 2, 3}));
    EXPECT_EQ(SortedOrder(VIEWSORT_PATHTREE, true), (V{3, 2, 0, 1, 4}));
}

TEST(ViewSortTest, FileSizeBothDirections) {
    EXPECT_EQ(SortedOrder(VIEWSORT_FILESIZE, false), (V{4, 0, 2, 1, 3})); // 99 KiB before 100
    EXPECT_EQ(SortedOrder(VIEWSORT_FILESIZE, true), (V{3, 1, 2, 0, 4}));
}

TEST(ViewSortTest, FileNameBothDirections) {
    EXPECT_EQ(SortedOrder(VIEWSORT_FILENAME, false), (V{3, 4, 0, 2, 1}));
    EXPECT_EQ(SortedOrder(VIEWSORT_FILENAME, true), (V{1, 2, 0, 4, 3}));
}

TEST(ViewSortTest, WideSizesKeepTheirKeysInPlace) {
    std::vector<ViewRecord> records = {
        Record("b/c.jpg", 5ull << 20, "26/01/01"), Record("b/b.jpg", 99999, "26/01/02"),
        Record("b/a.jpg", 100001, "26/01/03"), Record("a/z.jpg", 1000000, "26/01/04"),
        Record("c/d.jpg", 200000, "26/01/05")};
    std::vector<ViewLine> lines = Lines(records);
    SortViewLines(lines, VIEWSORT_FILESIZE, false);
    EXPECT_EQ(Order(lines), (V{1, 2, 4, 3, 0}));
    SortViewLines(lines, VIEWSORT_DATE, false);
    EXPECT_EQ(Order(lines), (V{0, 1, 2, 3, 4}));
    SortViewLines(lines, VIEWSORT_PATHTREE, false);
    EXPECT_EQ(Order(lines), (V{3, 2, 1, 0, 4}));
    SortViewLines(lines, VIEWSORT_FILENAME, false);
    EXPECT_EQ(Order(lines), (V{2, 1, 0, 4, 3}));
}

// Many repeated names, dates and sizes: whatever order the lines come in,
// each key sorts them the same way, equal keys by path, and descending is
// exactly ascending backwards.
TEST(ViewSortTest, RepeatedKeysSortTheSameFromAnyStartingOrder) {
    std::mt19937 random(7);
    std::vector<ViewRecord> records;
    for (int i = 0; i < 1500; ++i) {
        const int folder = int(random() % 300);
        const std::string name = "f" + std::to_string(random() % 40) + ".jpg";
        char date[9];
        std::snprintf(date, sizeof date, "%02d/01/%02d", int(random() % 3), int(random() % 4 + 1));
        records.push_back(Record("h" + std::to_string(folder) + "/" + name, random() % 150, date));
    }
    const std::vector<ViewLine> listed = Lines(records);
    std::vector<ViewLine> shuffled = listed;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    for (int type = VIEWSORT_DATE; type <= VIEWSORT_FILENAME; ++type) {
        std::vector<ViewLine> up = listed, again = shuffled, down = shuffled;
        SortViewLines(up, type, false);
        SortViewLines(again, type, false);
        SortViewLines(down, type, true);
        EXPECT_EQ(Order(again), Order(up)) << "type " << type;
        std::reverse(down.begin(), down.end());
        EXPECT_EQ(Order(down), Order(up)) << "type " << type;
        for (std::size_t i = 1; i < up.size(); ++i) {
            const int c = CompareLines(up[i - 1], up[i], type);
            ASSERT_LE(c, 0) << "type " << type << " at " << i;
            if (c == 0) {
                ASSERT_LE(up[i - 1].KeyText(), up[i].KeyText()) << "type " << type;
            }
        }
    }
}

namespace {

void* SortTwentyThousandEqualNames(void* arg) {
    auto* lines = static_cast<std::vector<ViewLine>*>(arg);
    SortViewLines(*lines, VIEWSORT_FILENAME, false);
    SortViewLines(*lines, VIEWSORT_FILENAME, true);
    return nullptr;
}

} // namespace

// Equal keys are where a plain quicksort recurses once per line; the sort
// must stay shallow on a small thread stack.
TEST(ViewSortTest, TwentyThousandEqualFileNamesSortOnASmallStack) {
    std::vector<ViewRecord> records;
    for (int i = 0; i < 20000; ++i)
        records.push_back(Record("d" + std::to_string(i) + "/x.jpg", 1, "26/01/01"));
    std::vector<ViewLine> lines = Lines(records);
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, &SortTwentyThousandEqualNames, &lines), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
    std::vector<std::uint32_t> order = Order(lines);
    std::sort(order.begin(), order.end());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        ASSERT_EQ(order[i], i);
}
