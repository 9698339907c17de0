// Keyword filter and limiter, the site rules, the link-type list and the
// results file.
#include "TempDir.h"
#include "common/StringTools.h"
#include "crawl/PageProcessor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

class RecordingCore : public PageProcessor {
public:
    RecordingCore() {
        OnLinkFound = [this](Component*, FoundLink& lf) {
            Reported.push_back(lf.TypeLink + " " + lf.UrlFound);
            if (Handler) Handler(lf);
        };
        LinkHook = [this](const LinkHookArgs& a) { Hooked.push_back(a.UrlFound); };
        Messages = &Sink;
    }

    void Run(const std::string& url, const std::string& body, int depth = 1,
             const std::string& referrer = {}) {
        PageInfo page;
        page.Url = url;
        page.ReferringUrl = referrer.empty() ? url : referrer;
        page.Body = body;
        page.DepthLevel = depth;
        page.Parts.Split(url, "");
        ProcessPage(page);
    }

    struct Recorder : MessageSink {
        void ShowMessage(std::string_view text) override { Shown.emplace_back(text); }
        std::vector<std::string> Shown;
    } Sink;
    std::vector<std::string> Reported, Queued, Hooked;
    std::function<void(FoundLink&)> Handler;

protected:
    void QueuePage(PageInfo&, const std::string& url, int, int) override { Queued.push_back(url); }
};

using Lines = std::vector<std::string>;

// Runs a test body with the current folder moved to dir.
struct InFolder {
    explicit InFolder(const std::string& dir) : Saved(fs::current_path()) { fs::current_path(dir); }
    ~InFolder() { fs::current_path(Saved); }
    fs::path Saved;
};

const std::string kPage = "http://www.a.com/index.htm";

} // namespace

// --- keyword filter and limiter ---------------------------------------------

TEST(KeywordFilter, DropsLinksContainingAnEntryInAnyCase) {
    const std::string body = "<img src=Counter.jpg> <a href=status.htm> <img src=country.jpg> "
                             "<a href=mailto:stats@a.com> <img src=ok.jpg>";
    RecordingCore on;
    on.KeywordsFilterEnabled = true;
    on.Run(kPage, body);
    EXPECT_EQ(on.Reported, Lines{"jpg http://www.a.com/ok.jpg"});
    EXPECT_EQ(on.Hooked, Lines{"http://www.a.com/ok.jpg"});
    EXPECT_TRUE(on.Queued.empty());

    RecordingCore off;
    off.Run(kPage, body);
    EXPECT_EQ(off.Reported.size(), 5u);

    RecordingCore emptyList;
    emptyList.KeywordsFilterEnabled = true;
    emptyList.SetKeywordsFilter("");
    emptyList.Run(kPage, body);
    EXPECT_EQ(emptyList.Reported.size(), 5u);
}

TEST(KeywordLimiter, KeepsOnlyLinksContainingAnEntryMailIncluded) {
    const std::string body = "<a href=mailto:jo@a.com> <a href=mailto:Gallery@a.com> "
                             "<img src=/gallery/a.jpg> <img src=/b.jpg>";
    RecordingCore core;
    core.KeywordsLimiterEnabled = true;
    core.SetKeywordsLimiter("gallery");
    core.Run(kPage, body);
    EXPECT_EQ(core.Reported, (Lines{"mail Gallery@a.com", "jpg http://www.a.com/gallery/a.jpg"}));

    RecordingCore emptyList;
    emptyList.KeywordsLimiterEnabled = true;
    emptyList.Run(kPage, body);
    EXPECT_EQ(emptyList.Reported.size(), 4u);
}

TEST(FilterLists, AreKeptLowerCaseSortedAndWithoutBlankLines) {
    PageProcessor core;
    EXPECT_EQ(core.GetKeywordsFilter(), "count\r\nhitbox\r\nreferer\r\nstat\r\ntrack\r\n");
    EXPECT_EQ(core.GetKeywordsLimiter(), "");
    EXPECT_EQ(core.HtmlExtensions().Count(), 13);
    core.SetKeywordsFilter("Foo\r\nBAR\n\nbaz\n");
    EXPECT_EQ(core.GetKeywordsFilter(), "bar\r\nbaz\r\nfoo\r\n");
}

TEST(HtmlExtensions, DecideWhatIsFollowed) {
    RecordingCore core;
    core.SetHtmlExtensions("JPG\nphp");
    core.Run(kPage, "<a href=a.htm> <img src=b.jpg> <a href=c.php?x=1> <a href=d.PHP>");
    EXPECT_EQ(core.Queued, (Lines{"http://www.a.com/b.jpg", "http://www.a.com/c.php?x=1",
                                  "http://www.a.com/d.PHP"}));
}

// --- site rules -------------------------------------------------------------

TEST(ReportExternalLinks, OffHidesOtherSitesButStillFollowsAndHandsThemOn) {
    TempDir tmp;
    RecordingCore core;
    core.ReportExternalLinks = false;
    core.SetFileOfResults(tmp.Path() + "/r.txt");
    ASSERT_TRUE(core.OpenResultsFile());
    core.Run(kPage, "<img src=http://pics.a.com/x.jpg> <a href=http://b.com/p.htm> "
                    "<img src=http://b.com/q.jpg> <a href=mailto:jo@b.com>");
    core.CloseResultsFile();
    EXPECT_EQ(core.Reported, (Lines{"jpg http://pics.a.com/x.jpg", "mail jo@b.com"}));
    EXPECT_EQ(core.Queued, Lines{"http://b.com/p.htm"});
    EXPECT_EQ(core.Hooked,
              (Lines{"http://pics.a.com/x.jpg", "http://b.com/p.htm", "http://b.com/q.jpg"}));
    EXPECT_EQ(ReadFile(tmp.Path() + "/r.txt"),
              "\"jpg\";\"http://pics.a.com/x.jpg\"\r\n\"mail\";\"jo@b.com\"\r\n");
}

TEST(StayOnSite, LeavesTheSiteOnlyFromTheStartingPage) {
    RecordingCore core;
    core.StayOnSite = true;
    core.Run("http://a.com/", "<a href=http://b.com/p.htm>");
    EXPECT_EQ(core.Queued, Lines{"http://b.com/p.htm"});

    core.Run("http://b.com/p.htm",
             "<a href=http://c.com/q.htm> <a href=http://www.a.com/back.htm> "
             "<a href=http://b.com/same.htm> <img src=http://c.com/pic.jpg>",
             2, "http://a.com/");
    EXPECT_EQ(core.Queued, (Lines{"http://b.com/p.htm", "http://www.a.com/back.htm"}));
    EXPECT_EQ(core.Reported.size(), 5u); // refused links are still reported
    EXPECT_EQ(core.Hooked.size(), 5u);   // and still handed on

    RecordingCore free;
    free.Run("http://b.com/p.htm", "<a href=http://c.com/q.htm>", 2, "http://a.com/");
    EXPECT_EQ(free.Queued, Lines{"http://c.com/q.htm"});
}

TEST(SiteKey, TheReferringUrlDecidesTheSite) {
    RecordingCore core;
    core.ReportExternalLinks = false;
    core.Run("http://a.com/", "<img src=http://a.com/x.jpg> <img src=http://www.B.com/y.jpg>", 1,
             "http://b.com/start.htm");
    EXPECT_EQ(core.Reported, Lines{"jpg http://www.B.com/y.jpg"});
}

// --- results file -----------------------------------------------------------

TEST(ResultsFile, LineFormatAndHandlerText) {
    TempDir tmp;
    const std::string name = tmp.Path() + "/out.txt";
    std::ofstream(name) << "left over from the last scan\n";
    RecordingCore core;
    core.SetFileOfResults(name);
    EXPECT_EQ(core.FileOfResults(), name);
    core.Handler = [](FoundLink& lf) {
        if (lf.UrlFound.ends_with("b.jpg")) lf.WriteToFile = "custom text";
        if (lf.UrlFound.ends_with("c.jpg")) lf.WriteToFile = "";
    };
    ASSERT_TRUE(core.OpenResultsFile());
    EXPECT_TRUE(core.ResultsOpen());
    EXPECT_EQ(core.ResultsFileName(), name);
    core.Run("http://h.com/",
             "<img src=a.jpg> <img src=b.jpg> <img src=c.jpg> <a href=mailto:x@h.com>");
    core.CloseResultsFile();
    EXPECT_FALSE(core.ResultsOpen());
    EXPECT_EQ(ReadFile(name),
              "\"jpg\";\"http://h.com/a.jpg\"\r\ncustom text\r\n\"mail\";\"x@h.com\"\r\n");
    EXPECT_EQ(ResultsFile::FormatLine("htm", "http://h.com/"), "\"htm\";\"http://h.com/\"");
}

// Without a listener no found-link record is made; the file gets the lines
// a listener would have seen, other sites left out as before.
TEST(ResultsFile, WithoutAListenerTheSameLinesAreWritten) {
    TempDir tmp;
    const std::string body = "<img src=a.jpg> <a href=http://b.com/p.htm> <a href=ftp://f.com/z> "
                             "<a href=mailto:x@h.com> <img src=a.jpg>";
    std::string written[2];
    for (int listen = 0; listen < 2; ++listen) {
        RecordingCore core;
        if (listen == 0) core.OnLinkFound = nullptr;
        core.ReportExternalLinks = false;
        const std::string name = tmp.Path() + "/out" + std::to_string(listen) + ".txt";
        core.SetFileOfResults(name);
        ASSERT_TRUE(core.OpenResultsFile());
        core.Run("http://h.com/", body);
        core.CloseResultsFile();
        EXPECT_EQ(core.Hooked, (Lines{"http://h.com/a.jpg", "http://b.com/p.htm"}));
        written[listen] = ReadFile(name);
    }
    EXPECT_EQ(written[0], "\"jpg\";\"http://h.com/a.jpg\"\r\n\"ftp\";\"ftp://f.com/z\"\r\n"
                          "\"mail\";\"x@h.com\"\r\n");
    EXPECT_EQ(written[0], written[1]);
}

TEST(ResultsFile, ModeZeroWritesNothing) {
    TempDir tmp;
    RecordingCore core;
    core.ResultsMode = 0;
    core.SetFileOfResults(tmp.Path() + "/out.txt");
    ASSERT_TRUE(core.OpenResultsFile());
    EXPECT_FALSE(core.ResultsOpen());
    core.Run("http://h.com/", "<img src=a.jpg>");
    EXPECT_FALSE(fs::exists(tmp.Path() + "/out.txt"));
}

TEST(ResultsFile, UncreatableFileIsReported) {
    TempDir tmp;
    RecordingCore core;
    core.SetFileOfResults(tmp.Path() + "/missing/out.txt");
    EXPECT_FALSE(core.OpenResultsFile());
    EXPECT_FALSE(core.ResultsOpen());
    EXPECT_EQ(core.Sink.Shown, Lines{"unable to create file: " + tmp.Path() + "/missing/out.txt"});
}

TEST(ResultsFile, DatedFilesGoToTheDownloadFolder) {
    TempDir tmp;
    InFolder in(tmp.Path());
    const std::string folder = CurrentFolder();
    RecordingCore core;
    core.ResultsMode = 2;
    EXPECT_FALSE(core.OpenResultsFile()); // no Download folder yet
    ASSERT_EQ(core.Sink.Shown.size(), 1u);
    EXPECT_EQ(core.Sink.Shown[0].rfind("unable to create file: " + folder + "/Download/", 0), 0u);

    fs::create_directory(folder + "/Download");
    ASSERT_TRUE(core.OpenResultsFile());
    const std::string first = core.ResultsFileName();
    core.CloseResultsFile();
    ASSERT_TRUE(core.OpenResultsFile());
    const std::string second = core.ResultsFileName();
    core.CloseResultsFile();
    const std::regex dated(R"(\d{4}-\d\d-\d\d_\d\d\.\d\d\.\d\d( \(\d+\))?\.txt)");
    for (const std::string& name : {first, second}) {
        ASSERT_EQ(name.rfind(folder + "/Download/", 0), 0u) << name;
        EXPECT_TRUE(std::regex_match(name.substr(folder.size() + 10), dated)) << name;
        EXPECT_TRUE(fs::exists(name));
    }
    EXPECT_NE(first, second); // never the same file twice
}

TEST(ResultsFile, ExclusiveOpenNumbersTheNextFreeName) {
    TempDir tmp;
    const std::string name = tmp.Path() + "/2024-03-09_14.05.30.txt";
    std::string used;
    ResultsFile a, b, c, d;
    ASSERT_TRUE(a.OpenExclusive(name, used));
    EXPECT_EQ(used, name);
    a.WriteLine("first");
    a.Close();
    ASSERT_TRUE(b.OpenExclusive(name, used));
    EXPECT_EQ(used, tmp.Path() + "/2024-03-09_14.05.30 (2).txt");
    ASSERT_TRUE(c.OpenExclusive(name, used));
    EXPECT_EQ(used, tmp.Path() + "/2024-03-09_14.05.30 (3).txt");
    EXPECT_EQ(ReadFile(name), "first\r\n"); // the earlier file is left alone
    ASSERT_TRUE(d.OpenExclusive(tmp.Path() + "/noext", used));
    ASSERT_TRUE(d.OpenExclusive(tmp.Path() + "/noext", used));
    EXPECT_EQ(used, tmp.Path() + "/noext (2)");
}

TEST(FileOfResults, BareNamesGoToTheDownloadFolder) {
    TempDir tmp;
    InFolder in(tmp.Path());
    const std::string folder = CurrentFolder();
    PageProcessor core;
    EXPECT_EQ(core.FileOfResults(), folder + "/Download/results.txt");
    core.SetFileOfResults("out.txt");
    EXPECT_EQ(core.FileOfResults(), folder + "/Download/out.txt");
    core.SetFileOfResults("/var/tmp/r.txt");
    EXPECT_EQ(core.FileOfResults(), "/var/tmp/r.txt");
    core.SetFileOfResults("");
    EXPECT_EQ(core.FileOfResults(), "");
}

TEST(ResultsFile, PadRightCountsCharacters) {
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"htm", 5, "htm  "},
        {"caf\xC3\xA9", 5, "caf\xC3\xA9 "},
        {"\xE2\x82\xAC\xF0\x9F\x98\x80", 3, "\xE2\x82\xAC\xF0\x9F\x98\x80 "},
        {"longer than", 4, "longer than"},
        {"", 2, "  "},
        {"\xFFx", 3, "\xFFx "}, // a stray byte counts as one
    };
    for (const auto& [text, width, padded] : cases)
        EXPECT_EQ(ResultsFile::PadRight(text, width), padded) << text;
}
