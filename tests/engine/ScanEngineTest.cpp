// End-to-end scans against a local site: depth, dedupe, site rules, robots,
// results files, stop and shutdown.
#include "ScanHarness.h"
#include "common/StringTools.h"

#include <fstream>
#include <sstream>

namespace {

// P -> A, B; A -> C; B -> A; C -> D
void ThreeLevels(SiteServer& s) {
    s.Page("/p.html", "<a href=\"a.html\">a</a> <a href=\"b.html\">b</a>");
    s.Page("/a.html", "<a href=\"c.html\">c</a>");
    s.Page("/b.html", "<a href=\"a.html\">a again</a>");
    s.Page("/c.html", "<a href=\"d.html\">d</a>");
    s.Page("/d.html", "end");
}

} // namespace

TEST(ScanDepth, DepthOneReportsButDoesNotFetchLinks) {
    SiteServer site;
    ThreeLevels(site);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDepthSearchLevel(1);
    ASSERT_TRUE(run.Scan(site.Url("/p.html")));
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/a.html")));
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/b.html")));
    EXPECT_EQ(site.Requests(), std::vector<std::string>{"/p.html"});
}

TEST(ScanDepth, MediaTypesAreCaseBlind) {
    SiteServer site;
    site.File("/p.html", "TEXT/HTML", "<a href=\"q.html\">q</a>");
    site.File("/q.html", "Text/Html; charset=UTF-8", "<a href=\"r.html\">r</a>");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDepthSearchLevel(3);
    ASSERT_TRUE(run.Scan(site.Url("/p.html")));
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/q.html")));
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/r.html"))) << "the second page was not read";
}

// A start page that is not html is told as a page error; a linked file that
// is not html is only passed over.
TEST(ScanDepth, AStartPageThatIsNotHtmlIsAPageError) {
    SiteServer site;
    site.File("/pic.jpg", "image/jpeg", "not a page");
    site.File("/pic.htm", "image/jpeg", "not a page either");
    TempDir dir;
    ScanRun run(dir.Path());
    DownloadStats pages;
    run.Grab.StatsHook = [&](ScanEngine&, const DownloadStats& s) {
        if (s.Tag == 1) pages = s;
    };
    ASSERT_TRUE(run.Scan(site.Url("/pic.jpg")));
    ASSERT_EQ(run.PageErrors.size(), 1u);
    EXPECT_EQ(run.PageErrors[0], "200 not an html page (image/jpeg) : " + site.Url("/pic.jpg"));
    EXPECT_EQ(pages.Errors, 1);

    TempDir dir2;
    ScanRun deeper(dir2.Path());
    site.File("/index.html", "text/html", "<a href=\"pic.htm\">x</a>");
    ASSERT_TRUE(deeper.Scan(site.Url("/index.html")));
    EXPECT_TRUE(deeper.HasLink("htm " + site.Url("/pic.htm")));
    EXPECT_TRUE(deeper.PageErrors.empty());
}

TEST(ScanDepth, DepthThreeFollowsTwoLevelsAndFetchesEachUrlOnce) {
    SiteServer site;
    ThreeLevels(site);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDepthSearchLevel(3);
    ASSERT_TRUE(run.Scan(site.Url("/p.html")));
    EXPECT_EQ(site.Count("/p.html"), 1);
    EXPECT_EQ(site.Count("/a.html"), 1);
    EXPECT_EQ(site.Count("/b.html"), 1);
    EXPECT_EQ(site.Count("/c.html"), 1);
    EXPECT_EQ(site.Count("/d.html"), 0); // reported from level 3, never fetched
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/d.html")));
    // a.html is linked twice but reported once
    EXPECT_EQ(std::count(run.Links.begin(), run.Links.end(), "htm " + site.Url("/a.html")), 1);

    // A second scan of the same address after the first ended works again.
    run.Links.clear();
    ASSERT_TRUE(run.Scan(site.Url("/p.html")));
    EXPECT_EQ(site.Count("/p.html"), 2);
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/a.html")));
}

TEST(ScanDepth, StartScanTwiceWhileRunningQueuesNothingNew) {
    SiteServer site;
    ThreeLevels(site);
    TempDir dir;
    ScanRun run(dir.Path());
    ASSERT_TRUE(run.Grab.StartScan(site.Url("/p.html")));
    EXPECT_TRUE(run.Grab.StartScan(site.Url("/p.html")));
    ASSERT_TRUE(RunUntil([&] { return !run.Grab.IsWorking(); }));
    EXPECT_EQ(site.Count("/p.html"), 1);
}

TEST(ScanDepth, MaxQueueSizeBoundsQueuedPages) {
    SiteServer site;
    std::string html;
    for (int i = 0; i < 40; ++i) {
        html += "<a href=\"p" + std::to_string(i) + ".html\">x</a>\n";
        site.Page("/p" + std::to_string(i) + ".html", "leaf");
    }
    site.Page("/index.html", html);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetHtmlConcurrentDownloads(1);
    run.Grab.SetMaxQueueSize(10);
    ASSERT_TRUE(run.Scan(site.Url("/index.html")));
    // at most 10 wait at once; the rest are reported but not fetched
    EXPECT_LE(site.Requests().size(), 12u);
    EXPECT_EQ(run.Links.size(), 40u);
    // The pages left out are counted, so that the loss can be told.
    EXPECT_EQ(run.Grab.PagesNotQueued(), 40 - int(site.Requests().size() - 1));
}

TEST(ScanSite, StayOnSiteFollowsExternalLinksOnlyFromTheStartPage) {
    SiteServer site;
    // 127.0.0.1 and localhost are two sites for the scan
    site.Page("/start.html", "<a href=\"" + site.Url("/ext1.html", "localhost") + "\">x</a>");
    site.Page("/ext1.html", "<a href=\"" + site.Url("/back.html") + "\">b</a> <a href=\"" +
                                site.Url("/ext2.html", "localhost") + "\">e</a>");
    site.Page("/back.html", "home again");
    site.Page("/ext2.html", "far");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetStayOnSite(true);
    run.Grab.SetDepthSearchLevel(4);
    ASSERT_TRUE(run.Scan(site.Url("/start.html")));
    EXPECT_EQ(site.Count("/ext1.html"), 1); // from the start page: followed
    EXPECT_EQ(site.Count("/back.html"), 1); // back to the starting site: followed
    EXPECT_EQ(site.Count("/ext2.html"), 0); // other site from level 2: not followed
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/ext2.html", "localhost"))); // still reported
}

TEST(ScanSite, HiddenExternalLinksAreStillFollowed) {
    SiteServer site;
    site.Page("/start.html", "<a href=\"" + site.Url("/ext.html", "localhost") + "\">x</a>");
    // Pages of the second site are judged against the site that linked to them.
    site.Page("/ext.html", "<a href=\"" + site.Url("/more.html") + "\">m</a> <a href=\"" +
                               site.Url("/far.jpg", "127.0.0.2") + "\">f</a>");
    site.Page("/more.html", "x");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetReportExternalLinks(false);
    ASSERT_TRUE(run.Scan(site.Url("/start.html")));
    EXPECT_EQ(site.Count("/ext.html"), 1);
    EXPECT_FALSE(run.HasLink("htm " + site.Url("/ext.html", "localhost")));
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/more.html")));
    EXPECT_FALSE(run.HasLink("jpg " + site.Url("/far.jpg", "127.0.0.2")));
}

TEST(ScanSite, InitialReferringUrlDecidesTheStartPageSite) {
    SiteServer site;
    site.Page("/start.html", "<a href=\"" + site.Url("/x.html", "localhost") +
                                 "\">x</a> <a href=\"" + site.Url("/y.html") + "\">y</a>");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetReportExternalLinks(false);
    run.Grab.SetDepthSearchLevel(1);
    run.Grab.SetInitialReferringUrl(site.Url("/", "localhost"));
    ASSERT_TRUE(run.Scan(site.Url("/start.html")));
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/x.html", "localhost")));
    EXPECT_FALSE(run.HasLink("htm " + site.Url("/y.html")));
    EXPECT_EQ(site.LastHeader("Referer"), site.Url("/", "localhost"));
}

TEST(ScanRobots, RobotsTxtIsAskedOfTheLinksServerAndReported) {
    SiteServer site;
    site.Page("/start.html", "<a href=\"" + site.Url("/page.html", "localhost") + "\">x</a>");
    site.Page("/page.html", "p");
    site.File("/robots.txt", "text/plain",
              "User-agent: *\nDisallow: /private/\n<a href=\"listed.html\">l</a>\n");
    site.Page("/listed.html", "l");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetSeekRobots(true);
    ASSERT_TRUE(run.Scan(site.Url("/start.html")));
    EXPECT_EQ(site.Count("/robots.txt"), 1);
    EXPECT_TRUE(run.HasLink("txt " + site.Url("/robots.txt", "localhost")));
    EXPECT_EQ(site.Count("/listed.html"), 1); // links in the file are followed
}

TEST(ScanHandlers, ClearingFollowIfHtmlLinkPreventsTheFetch) {
    SiteServer site;
    site.Page("/start.html",
              "<a href=\"skip.html\">s</a> <a href=\"go.html\">g</a> <a href=\"x.jpg\">j</a>");
    site.Page("/skip.html", "s");
    site.Page("/go.html", "g");
    site.File("/x.jpg", "image/jpeg", "JPEG");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.OnLinkFound = [&](Component*, FoundLink& lf) {
        if (lf.UrlFound.find("skip") != std::string::npos || lf.TypeLink == "jpg")
            lf.FollowIfHtmlLink = false;
    };
    ASSERT_TRUE(run.Scan(site.Url("/start.html")));
    EXPECT_EQ(site.Count("/skip.html"), 0);
    EXPECT_EQ(site.Count("/go.html"), 1);
    EXPECT_EQ(site.Count("/x.jpg"), 0); // nor handed to the grabber
}

TEST(ScanResults, ModesAndWriteToFile) {
    SiteServer site;
    site.Page("/start.html",
              "<a href=\"a.html\">a</a> <a href=\"b.jpg\">b</a> <a href=\"mailto:m@x.org\">m</a>");
    site.Page("/a.html", "a");
    TempDir dir;
    const std::string results = dir.Sub("res.txt");
    {
        ScanRun run(dir.Path());
        run.Grab.SetDepthSearchLevel(1);
        run.Grab.SetResultsMode(1);
        run.Grab.SetFileOfResults(results);
        run.Grab.OnLinkFound = [](Component*, FoundLink& lf) {
            if (lf.TypeLink == "mail") lf.WriteToFile = "custom line";
            if (lf.TypeLink == "jpg") lf.WriteToFile = "";
        };
        ASSERT_TRUE(run.Scan(site.Url("/start.html")));
        EXPECT_FALSE(run.Grab.ResultsOpen()); // closed when the scan ended
    }
    EXPECT_EQ(ReadFile(results), "\"htm\";\"" + site.Url("/a.html") + "\"\r\ncustom line\r\n");

    // Mode 0 writes nothing even with a file name set.
    std::remove(results.c_str());
    {
        ScanRun run(dir.Path());
        run.Grab.SetDepthSearchLevel(1);
        run.Grab.SetResultsMode(0);
        run.Grab.SetFileOfResults(results);
        ASSERT_TRUE(run.Scan(site.Url("/start.html")));
    }
    EXPECT_FALSE(std::filesystem::exists(results));
}

TEST(ScanResults, ScanThatDoesNotStartLeavesTheResultsFileIntact) {
    TempDir dir;
    const std::string results = dir.Sub("res.txt");
    { std::ofstream(results) << "earlier results\n"; }
    ScanRun run(dir.Path());
    run.Grab.SetResultsMode(1);
    run.Grab.SetFileOfResults(results);
    EXPECT_FALSE(run.Grab.StartScan(""));
    EXPECT_EQ(run.Messages.Texts, std::vector<std::string>{"no URL specified"});
    EXPECT_FALSE(run.Grab.StartScan("not a url"));
    EXPECT_EQ(run.Messages.Texts.back(), "Invalid Url : not a url");
    EXPECT_EQ(ReadFile(results), "earlier results\n");
}

TEST(ScanResults, DatedResultsFilesOfOneSecondAreDistinct) {
    SiteServer site;
    site.Page("/start.html", "<a href=\"a.html\">a</a>");
    TempDir dir;
    const std::string cwd = CurrentFolder();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    std::filesystem::create_directory(dir.Sub("Download"));
    {
        ScanRun first(dir.Sub("store"));
        ScanRun second(dir.Sub("store"));
        for (ScanRun* r : {&first, &second}) {
            r->Grab.SetDepthSearchLevel(1);
            r->Grab.SetResultsMode(2);
        }
        ASSERT_TRUE(first.Grab.StartScan(site.Url("/start.html")));
        ASSERT_TRUE(second.Grab.StartScan(site.Url("/start.html")));
        ASSERT_TRUE(RunUntil([&] { return !first.Grab.IsWorking() && !second.Grab.IsWorking(); }));
        EXPECT_NE(first.Grab.ResultsFileName(), second.Grab.ResultsFileName());
    }
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    EXPECT_EQ(FilesUnder(dir.Sub("Download")).size(), 2u);
}

TEST(ScanStop, StopScanEndsAScanMidway) {
    SiteServer site;
    std::string html;
    for (int i = 0; i < 30; ++i)
        html += "<a href=\"slow" + std::to_string(i) + ".html\">x</a>\n";
    site.Page("/start.html", html);
    for (int i = 0; i < 30; ++i)
        site.Custom("/slow" + std::to_string(i) + ".html",
                    [](const httplib::Request&, httplib::Response& res) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(300));
                        res.set_content("slow", "text/html");
                    });
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetHtmlConcurrentDownloads(2);
    ASSERT_TRUE(run.Grab.StartScan(site.Url("/start.html")));
    ASSERT_TRUE(RunUntil([&] { return site.Requests().size() >= 3; }));
    run.Grab.StopScan();
    ASSERT_TRUE(RunUntil([&] { return !run.Grab.IsWorking(); }));
    EXPECT_LT(site.Requests().size(), 10u);
    // no partial page file is left behind
    for (const auto& f : FilesUnder(dir.Path()))
        EXPECT_EQ(f.find(".part-"), std::string::npos) << f;
}

TEST(ScanStop, ShutdownEndsTheEventLoopAfterTenTicks) {
    SiteServer site;
    site.Page("/start.html", "<a href=\"hang.html\">h</a>");
    site.Custom("/hang.html", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        res.set_content("late", "text/html");
    });
    TempDir dir;
    ScanRun run(dir.Path());
    bool terminated = false;
    run.Grab.TerminateApplication = [&] { terminated = true; };
    ASSERT_TRUE(run.Grab.StartScan(site.Url("/start.html")));
    ASSERT_TRUE(RunUntil([&] { return site.Count("/hang.html") == 1; }));
    run.Grab.Shutdown();
    EXPECT_TRUE(run.Grab.Closing);
    ASSERT_TRUE(RunUntil([&] { return terminated; }, 10000));
    EXPECT_FALSE(run.Grab.Closing);
    EXPECT_EQ(run.Grab.ShutdownCountdown, 0);
}
