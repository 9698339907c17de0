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

TEST(UrlQueue, AddTakeAndClear) {
    UrlQueue q;
    q.AddUrl("http://h/1",
             {.DepthSearchLevel = 2,
              .Priority = true,
              .CountArea = 5,
              .HrefOrSrc = 'S',
              .GetAction = BodyHandling::STORE_TO_FILE,
              .ReferringUrl = "http://h/",
              .EntryValue = 9},
             "h");
    q.AddUrl("http://h/2", {.DepthSearchLevel = 3, .HrefOrSrc = 'H', .RetryNumber = 2}, "h");
    q.AddUrl("http://h/1", {.GetAction = BodyHandling::HEAD_ONLY}, "h"); // no duplicate test
    ASSERT_EQ(q.Count(), 3);
    EXPECT_EQ(q.PriorityCount(), 1);
    const UrlQueue::Item first = q.Take(UrlQueue::Id(q.Choose({})));
    EXPECT_EQ(first.Url, "http://h/1");
    EXPECT_EQ(first.Lane, "h");
    const QueuedRequest& o = first.Request;
    EXPECT_EQ(o.DepthSearchLevel, 2);
    EXPECT_EQ(o.RetryNumber, 1);
    EXPECT_EQ(o.HrefOrSrc, 'S');
    EXPECT_EQ(o.GetAction, BodyHandling::STORE_TO_FILE);
    EXPECT_EQ(o.CountArea, 5);
    EXPECT_TRUE(o.Priority);
    EXPECT_EQ(o.EntryValue, 9);
    EXPECT_EQ(o.ReferringUrl, "http://h/");

    ASSERT_EQ(q.Count(), 2);
    EXPECT_EQ(q.PriorityCount(), 0);
    const UrlQueue::Item second = q.Take(UrlQueue::Id(q.Choose({})));
    EXPECT_EQ(second.Url, "http://h/2");
    EXPECT_EQ(second.Request.RetryNumber, 2);
    q.ClearUrls();
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.Choose({}), -1);
}

namespace {

// The URLs in the order Choose hands them out.
std::vector<std::string> Drain(UrlQueue& q, const UrlQueue::Order& order,
                               const std::function<bool(const std::string&)>& open = {}) {
    std::vector<std::string> out;
    for (std::int64_t id; (id = q.Choose(order, open)) >= 0;)
        out.push_back(q.Take(UrlQueue::Id(id)).Url);
    return out;
}

} // namespace

// The same orders whether the whole queue is one lane or every lane is open.
TEST(UrlQueue, PriorityThenDeepestOrOldestAcrossLanes) {
    for (const bool lanes : {false, true}) {
        const std::function<bool(const std::string&)> open =
            lanes ? [](const std::string&) { return true; }
                  : std::function<bool(const std::string&)>();
        const auto fill = [](UrlQueue& q) {
            q.AddUrl("a1", {.DepthSearchLevel = 1}, "a");
            q.AddUrl("b3", {.DepthSearchLevel = 3}, "b");
            q.AddUrl("a3", {.DepthSearchLevel = 3}, "a");
            q.AddUrl("bp", {.DepthSearchLevel = 1, .Priority = true}, "b");
            q.AddUrl("ap", {.DepthSearchLevel = 0, .Priority = true}, "a");
            q.AddUrl("c2", {.DepthSearchLevel = 2}, "c");
        };
        UrlQueue q;
        fill(q);
        EXPECT_EQ(Drain(q, {.PriorityFirst = true}, open),
                  (std::vector<std::string>{"bp", "ap", "a1", "b3", "a3", "c2"}));
        fill(q);
        EXPECT_EQ(Drain(q, {.PriorityFirst = true, .DeepestFirst = true}, open),
                  (std::vector<std::string>{"bp", "ap", "b3", "a3", "c2", "a1"}));
        fill(q);
        EXPECT_EQ(Drain(q, {.DeepestFirst = true}, open),
                  (std::vector<std::string>{"b3", "a3", "c2", "a1", "bp", "ap"}));
    }
}

TEST(UrlQueue, WaitingEntriesAndClosedLanesArePassedOver) {
    UrlQueue q;
    for (int i = 0; i < 5000; ++i)
        q.AddUrl("slow" + std::to_string(i), {}, "slow");
    q.AddUrl("later", {.Priority = true, .NotBeforeMs = 1000}, "fast");
    q.AddUrl("now", {}, "fast");
    int asked = 0;
    const auto open = [&](const std::string& lane) {
        ++asked;
        return lane != "slow";
    };
    EXPECT_EQ(q.At(UrlQueue::Id(q.Choose({.PriorityFirst = true, .NowMs = 999}, open))).Url, "now");
    EXPECT_EQ(asked, 2) << "once per lane, not once per entry";
    EXPECT_EQ(q.At(UrlQueue::Id(q.Choose({.PriorityFirst = true, .NowMs = 1000}, open))).Url,
              "later");
    // Without lanes to ask about, the wait still holds.
    EXPECT_EQ(q.At(UrlQueue::Id(q.Choose({.PriorityFirst = true, .NowMs = 999}))).Url, "slow0");
    EXPECT_EQ(Drain(q, {.NowMs = 999}, [](const std::string& l) { return l == "fast"; }),
              std::vector<std::string>{"now"});
    EXPECT_EQ(q.Choose({.NowMs = 999}, [](const std::string& l) { return l == "fast"; }), -1);
    EXPECT_EQ(q.Count(), 5001);
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
