// The case-insensitive sorted string list, the download queue and the set of visited URLs.
#include "crawl/StringList.h"
#include "common/UrlQueue.h"
#include "crawl/UrlSet.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<std::string> Strings(const StringList& l) {
    std::vector<std::string> out;
    for (int i = 0; i < l.Count(); ++i)
        out.push_back(l[i]);
    return out;
}

StringList ListOf(std::initializer_list<const char*> items, bool descending = false) {
    StringList l;
    l.Descending = descending;
    for (const char* s : items)
        l.Add(s);
    return l;
}

} // namespace

TEST(StringListCompare, FoldsOnlyAsciiLettersToUpperCase) {
    EXPECT_EQ(StringList::CompareNoCase("ABC", "abc"), 0);
    EXPECT_EQ(StringList::CompareNoCase("abc", "abcd"), -1);
    EXPECT_EQ(StringList::CompareNoCase("abcd", "ABC"), 1);
    EXPECT_EQ(StringList::CompareNoCase("", ""), 0);
    EXPECT_EQ(StringList::CompareNoCase("", "a"), -1);
    // Letters are mapped to upper case, so "_" (95) sorts after "a" (as "A", 65).
    EXPECT_EQ(StringList::CompareNoCase("_x", "ax"), 1);
    // Bytes compare unsigned; accented letters are not folded.
    EXPECT_EQ(StringList::CompareNoCase("\xE9", "z"), 1);
    EXPECT_NE(StringList::CompareNoCase("\xE9", "\xC9"), 0);
}

TEST(StringListFindOrInsert, EmptyListGivesInsertIndexZero) {
    StringList l;
    int found = 7, insert = 7;
    EXPECT_FALSE(l.FindOrInsert("x", found, insert, false));
    EXPECT_EQ(found, -1);
    EXPECT_EQ(insert, 0);
    EXPECT_EQ(l.Count(), 0);
    EXPECT_FALSE(l.FindOrInsert("x", found, insert, true));
    EXPECT_EQ(Strings(l), std::vector<std::string>{"x"});
}

TEST(StringListFindOrInsert, InsertIndexAscendingAndDescending) {
    const std::pair<const char*, int> asc[] = {{"a", 0}, {"c", 1}, {"e", 2}, {"g", 3}};
    for (const auto& [s, want] : asc) {
        StringList l = ListOf({"b", "d", "f"});
        int found = 0, insert = 0;
        EXPECT_FALSE(l.FindOrInsert(s, found, insert, false));
        EXPECT_EQ(insert, want) << s;
    }
    const std::pair<const char*, int> desc[] = {{"g", 0}, {"e", 1}, {"c", 2}, {"a", 3}};
    for (const auto& [s, want] : desc) {
        StringList l = ListOf({"f", "d", "b"}, true);
        int found = 0, insert = 0;
        EXPECT_FALSE(l.FindOrInsert(s, found, insert, false));
        EXPECT_EQ(insert, want) << s;
    }
    StringList l = ListOf({"b", "d", "f"});
    int found = 0, insert = 0;
    EXPECT_TRUE(l.FindOrInsert("D", found, insert, true));
    EXPECT_EQ(found, 1);
    EXPECT_EQ(insert, -1);
    EXPECT_EQ(l.Count(), 3);
}

TEST(StringListFindOrInsert, BuildsAnOrderedListInEitherDirection) {
    for (bool descending : {false, true}) {
        StringList l;
        l.Descending = descending;
        int found = 0, insert = 0;
        for (const char* s : {"m", "c", "x", "C", "a", "zz", "b", "n", "abc", "ab"})
            l.FindOrInsert(s, found, insert, true);
        std::vector<std::string> want{"a", "ab", "abc", "b", "c", "m", "n", "x", "zz"};
        if (descending) std::reverse(want.begin(), want.end());
        EXPECT_EQ(Strings(l), want) << descending;
    }
}

TEST(StringListSort, EqualKeysLandWhereTheHoleMovingQuicksortPutsThem) {
    // Worked by hand: the pivot "ab" goes to index 0, then "AB" to index 1.
    StringList l = ListOf({"aB", "ab", "AB", "Ab"});
    l.Sort();
    EXPECT_EQ(Strings(l), (std::vector<std::string>{"ab", "AB", "aB", "Ab"}));

    StringList m = ListOf({"c", "B", "a", "b", "A"});
    m.Sort();
    EXPECT_EQ(Strings(m), (std::vector<std::string>{"a", "A", "B", "b", "c"}));

    StringList d = ListOf({"a", "c", "B", "b"}, true);
    d.Sort();
    EXPECT_EQ(Strings(d), (std::vector<std::string>{"c", "B", "b", "a"}));
}

TEST(StringListSort, ObjectsTravelWithTheirStrings) {
    StringList l;
    l.Add("pear", 3);
    l.Add("Apple", 1);
    l.Add("fig", 2);
    l.Sort();
    ASSERT_EQ(Strings(l), (std::vector<std::string>{"Apple", "fig", "pear"}));
    EXPECT_EQ(l.Object(0), 1);
    EXPECT_EQ(l.Object(1), 2);
    EXPECT_EQ(l.Object(2), 3);
}

TEST(StringListSort, BlankLinesOfATextAssignment) {
    StringList l;
    l.SetText("track\r\nhitbox\n\nreferer\rstat\ncount\n");
    EXPECT_EQ(l.Count(), 6); // the final line break adds no entry, the empty line does
    l.Sort();
    EXPECT_EQ(Strings(l),
              (std::vector<std::string>{"count", "hitbox", "referer", "stat", "track"}));
    EXPECT_EQ(l.Text(), "count\r\nhitbox\r\nreferer\r\nstat\r\ntrack\r\n");

    StringList keep;
    keep.RemoveBlankLines = false;
    keep.SetText("b\n\na\n");
    keep.Sort();
    EXPECT_EQ(Strings(keep), (std::vector<std::string>{"", "a", "b"}));
}

TEST(UrlQueue, AddDeleteAndClear) {
    UrlQueue q;
    q.AddUrl("http://h/1", {.DepthSearchLevel = 2,
                            .Priority = true,
                            .CountArea = 5,
                            .HrefOrSrc = 'S',
                            .GetAction = BodyHandling::STORE_TO_FILE,
                            .ReferringUrl = "http://h/",
                            .EntryValue = 9});
    q.AddUrl("http://h/2", {.DepthSearchLevel = 3, .HrefOrSrc = 'H', .RetryNumber = 2});
    q.AddUrl("http://h/1", {.GetAction = BodyHandling::HEAD_ONLY}); // no duplicate test
    ASSERT_EQ(q.Count(), 3);
    const QueuedRequest& o = q.Urls[0].Request;
    EXPECT_EQ(o.DepthSearchLevel, 2);
    EXPECT_EQ(o.RetryNumber, 1);
    EXPECT_EQ(o.HrefOrSrc, 'S');
    EXPECT_EQ(o.GetAction, BodyHandling::STORE_TO_FILE);
    EXPECT_EQ(o.CountArea, 5);
    EXPECT_TRUE(o.Priority);
    EXPECT_EQ(o.EntryValue, 9);
    EXPECT_EQ(o.ReferringUrl, "http://h/");

    q.DeleteUrl(0);
    ASSERT_EQ(q.Count(), 2);
    EXPECT_EQ(q.Urls[0].Url, "http://h/2");
    EXPECT_EQ(q.Urls[0].Request.RetryNumber, 2);
    EXPECT_EQ(q.Urls[1].Request.GetAction, BodyHandling::HEAD_ONLY);
    q.ClearUrls();
    EXPECT_EQ(q.Count(), 0);
}

TEST(UrlSet, EntriesMarksAndForgetting) {
    UrlSet set;
    EXPECT_FALSE(set.FindOrInsert("http://h.com/pics/a.jpg", true));
    EXPECT_TRUE(set.FindOrInsert("http://h.com/pics/a.jpg", false));
    EXPECT_FALSE(set.FindOrInsert("http://h.com/pics/b.jpg", false)); // not added
    EXPECT_EQ(set.Count(), 1);

    set.FindOrInsert("http://h.com/page.htm", true);
    set.SetMark("http://H.com/page.htm", 1);
    set.SetMark("http://h.com/absent.htm", 1); // nothing to mark
    EXPECT_EQ(set.Mark("http://h.com/page.htm"), 1);
    EXPECT_EQ(set.Mark("http://h.com/pics/a.jpg"), 0);
    EXPECT_FALSE(set.Contains("http://h.com/absent.htm"));

    // Files are forgotten so that a later page may take them again; pages stay.
    set.ForgetUnmarked();
    EXPECT_EQ(set.Count(), 1);
    EXPECT_TRUE(set.Contains("http://h.com/page.htm"));
    EXPECT_FALSE(set.Contains("http://h.com/pics/a.jpg"));
}

TEST(UrlSet, OnlySchemeAndHostAreCaseBlind) {
    UrlSet set;
    ASSERT_FALSE(set.FindOrInsert("http://h.com/okA.jpg?Size=Big", true));
    EXPECT_TRUE(set.Contains("HTTP://H.COM/okA.jpg?Size=Big"));
    for (const char* other : {"http://h.com/oka.jpg?Size=Big", "http://h.com/OKA.JPG?Size=Big",
                              "http://h.com/okA.jpg?size=big", "http://Jo@h.com/okA.jpg?Size=Big"})
        EXPECT_FALSE(set.FindOrInsert(other, true)) << other;
    EXPECT_EQ(set.Count(), 5);
    // User information counts as written; its host does not.
    EXPECT_TRUE(set.Contains("http://Jo@H.COM/okA.jpg?Size=Big"));
    EXPECT_FALSE(set.Contains("http://jo@h.com/okA.jpg?Size=Big"));

    // Host names and mail addresses, as the scan enters them.
    ASSERT_FALSE(set.FindOrInsert("Pics.Example.com", true));
    EXPECT_TRUE(set.Contains("pics.example.COM"));
    ASSERT_FALSE(set.FindOrInsert("Ann@H.com", true));
    EXPECT_TRUE(set.Contains("Ann@h.COM"));
    EXPECT_FALSE(set.Contains("ann@h.com"));
}

TEST(UrlSet, ManyEntriesStayDistinct) {
    UrlSet set;
    for (int i = 0; i < 50000; ++i)
        ASSERT_FALSE(set.FindOrInsert("http://h.com/p/" + std::to_string(i) + ".jpg", true));
    for (int i = 0; i < 50000; i += 997)
        EXPECT_TRUE(set.Contains("HTTP://H.COM/p/" + std::to_string(i) + ".jpg"));
    EXPECT_EQ(set.Count(), 50000);
}
