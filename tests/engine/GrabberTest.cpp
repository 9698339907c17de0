// End-to-end grabbing: which files are stored, thumbnail pairing, refusals,
// reloading a stored scan, and the faults a hostile or broken site provokes.
#include "ScanHarness.h"

#include <fstream>
#include <sys/stat.h>

namespace {

const char* const kPairPage = "<a href=\"full/p1.jpg\"><img src=\"th/t1.jpg\"></a>\n"
                              "<a href=\"full/p2.jpg\"><img src=\"th/t2.gif\"></a>\n"
                              "<a href=\"text-only.jpg\">just text</a>\n"
                              "<img src=\"loose.jpg\">\n";

void PairSite(SiteServer& s) {
    s.Page("/g.html", kPairPage);
    for (const char* f : {"/full/p1.jpg", "/th/t1.jpg", "/text-only.jpg", "/loose.jpg"})
        s.File(f, "image/jpeg", std::string("JPEG of ") + f);
    s.File("/full/p2.jpg", "image/jpeg", "JPEG p2");
    s.File("/th/t2.gif", "image/gif", "GIF89a t2");
}

// Promises 1000 bytes, sends a few, and closes the connection.
void CutShort(httplib::Response& res) {
    res.set_content_provider(1000, "text/html", [](size_t offset, size_t, httplib::DataSink& sink) {
        if (offset == 0) sink.write("<a href=\"x.html\">", 17);
        return false;
    });
}

std::vector<std::string> Stored(const TempDir& dir, const SiteServer& site) {
    return FilesUnder(dir.Path() + "/" + site.HostFolder());
}

} // namespace

TEST(GrabKinds, OneTimeOutForPagesAndFiles) {
    Grabber grab;
    grab.SetTimeOut(20);
    EXPECT_EQ(grab.PageDownloader.TimeOut, 20);
    EXPECT_EQ(grab.FileDownloader.TimeOut, 20) << "picture transfers kept their own time-out";
    grab.SetTimeOut(5); // below the least: ignored by both
    EXPECT_EQ(grab.FileDownloader.TimeOut, 20);
}

TEST(GrabKinds, HrefOnlyTakesLinkedFiles) {
    SiteServer site;
    PairSite(site);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(Stored(dir, site),
              (std::vector<std::string>{"full/p1.jpg", "full/p2.jpg", "g.html", "text-only.jpg"}));
}

TEST(GrabKinds, SrcOnlyTakesImages) {
    SiteServer site;
    PairSite(site);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_SRC);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(Stored(dir, site),
              (std::vector<std::string>{"g.html", "loose.jpg", "th/t1.jpg", "th/t2.gif"}));
}

TEST(GrabKinds, BothKindsTakeEverythingWanted) {
    SiteServer site;
    PairSite(site);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    run.Grab.SetDownloadHtmlPages(false);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(Stored(dir, site),
              (std::vector<std::string>{"full/p1.jpg", "full/p2.jpg", "loose.jpg", "text-only.jpg",
                                        "th/t1.jpg", "th/t2.gif"}));
}

TEST(GrabThumbs, SearchThumbsTakesOnlyPairs) {
    SiteServer site;
    PairSite(site);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetSearchThumbs(true);
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(Stored(dir, site), (std::vector<std::string>{"full/p1.jpg", "full/p2.jpg", "g.html",
                                                           "th/t1.jpg", "th/t2.gif"}));
    // thumbnails are left read-only, full-size pictures writable
    struct stat st {};
    ASSERT_EQ(::stat((dir.Sub(site.HostFolder() + "/th/t1.jpg")).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    ASSERT_EQ(::stat((dir.Sub(site.HostFolder() + "/full/p1.jpg")).c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u);
}

// Addresses that differ only in their query, or in the letter case of their
// path, are files of their own: a stored thumbnail is never served again as
// its full-size picture, nor one view of a script as another.
TEST(GrabThumbs, AddressesThatDifferInQueryOrCaseAreFetchedAndStoredApart) {
    SiteServer site;
    site.Page("/g.html", "<a href=\"q.jpg?size=big\"><img src=\"q.jpg?size=small\"></a>\n"
                         "<a href=\"view.jpg?id=2\"><img src=\"view.jpg?id=1\"></a>\n"
                         "<a href=\"okA.jpg\"><img src=\"oka.jpg\"></a>\n");
    for (const char* path : {"/q.jpg", "/view.jpg"})
        site.Custom(path, [path](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(path) + "?" + req.params.begin()->second, "image/jpeg");
        });
    site.File("/okA.jpg", "image/jpeg", "okA");
    site.File("/oka.jpg", "image/jpeg", "oka");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetSearchThumbs(true);
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(Stored(dir, site), (std::vector<std::string>{"g.html", "okA.jpg", "oka.jpg",
                                                           "q%3Fsize=big.jpg", "q%3Fsize=small.jpg",
                                                           "view%3Fid=1.jpg", "view%3Fid=2.jpg"}));
    const std::string host = dir.Sub(site.HostFolder());
    EXPECT_EQ(ReadFile(host + "/q%3Fsize=big.jpg"), "/q.jpg?big");
    EXPECT_EQ(ReadFile(host + "/q%3Fsize=small.jpg"), "/q.jpg?small");
    EXPECT_EQ(ReadFile(host + "/view%3Fid=2.jpg"), "/view.jpg?2");
    EXPECT_EQ(ReadFile(host + "/oka.jpg"), "oka");
    for (const char* asked : {"/q.jpg?size=big", "/q.jpg?size=small", "/okA.jpg", "/oka.jpg"})
        EXPECT_EQ(site.Count(asked), 1) << asked;
}

TEST(GrabRefusals, HtmlAnsweredForAPictureIsSilentButAMissingPictureIsReported) {
    SiteServer site;
    site.Page("/g.html", "<a href=\"html.jpg\">a</a> <a href=\"gone.jpg\">b</a>");
    site.Set("/html.jpg", {200, "text/html", "<html>not a picture</html>", {}});
    site.Set("/gone.jpg", {404, "text/html", "<html>missing</html>", {}});
    TempDir dir;
    ScanRun run(dir.Path());
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(Stored(dir, site), std::vector<std::string>{"g.html"});
    ASSERT_EQ(run.FileErrors.size(), 1u);
    EXPECT_EQ(run.FileErrors[0], "404 " + site.Url("/gone.jpg") + " 404 Not Found");
}

TEST(GrabRefusals, ErrorBodiesAreNotStoredAndAFixedPictureIsTakenNextTime) {
    SiteServer site;
    site.Page("/g.html", "<a href=\"pic.jpg\">a</a>");
    site.Set("/pic.jpg", {503, "text/plain", "busy, come back later", {}});
    TempDir dir;
    {
        ScanRun run(dir.Path());
        ASSERT_TRUE(run.Scan(site.Url("/g.html")));
        // Tried as often as allowed, then reported.
        EXPECT_EQ(run.FileErrors, std::vector<std::string>{"503 " + site.Url("/pic.jpg") +
                                                           " 503 Service Unavailable"});
    }
    EXPECT_EQ(Stored(dir, site), std::vector<std::string>{"g.html"});
    site.File("/pic.jpg", "image/jpeg", "the picture");
    {
        ScanRun run(dir.Path());
        ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    }
    EXPECT_EQ(Stored(dir, site), (std::vector<std::string>{"g.html", "pic.jpg"}));
}

TEST(GrabRefusals, AFileThatCannotBeStoredIsAnError) {
    SiteServer site;
    site.Page("/g.html", "<a href=\"x.php\">page</a>");
    site.Page("/x.php", "<a href=\"x.php/a.jpg\">pic</a>");
    site.File("/x.php/a.jpg", "image/jpeg", "JPEG");
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetHtmlConcurrentDownloads(1);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    ASSERT_EQ(run.FileErrors.size(), 1u);
    EXPECT_NE(run.FileErrors[0].find("unable to create file: " +
                                     dir.Sub(site.HostFolder() + "/x.php/a.jpg")),
              std::string::npos)
        << run.FileErrors[0];
    EXPECT_EQ(run.Grab.FileDownloader.Errors(), 1);
    EXPECT_EQ(run.Grab.FileDownloader.Done(), 0);
}

TEST(GrabReload, AStoredScanReloadsFromDiskInTheSameOrder) {
    TempDir dir;
    std::vector<std::string> networkLinks;
    std::string base;
    {
        SiteServer site;
        base = site.Url("/");
        site.Page("/p.html", "<a href=\"a.html\">a</a> <a href=\"x.html\">x</a>");
        site.Page("/a.html", "<a href=\"x.html\">x</a> <a href=\"a.jpg\">j</a>");
        site.Page("/x.html", "<a href=\"y.html\">y</a>");
        site.Page("/y.html", "<a href=\"z.html\">z</a>");
        site.File("/a.jpg", "image/jpeg", "J");
        ScanRun run(dir.Path());
        run.Grab.SetHtmlConcurrentDownloads(1);
        run.Grab.SetDepthSearchLevel(3);
        ASSERT_TRUE(run.Scan(site.Url("/p.html")));
        networkLinks = run.Links;
        EXPECT_TRUE(run.HasLink("htm " + site.Url("/z.html")));
    } // the server is gone
    ScanRun reload(dir.Path());
    reload.Grab.SetDepthSearchLevel(3);
    reload.Grab.SetReuseHtmlFiles(true);
    int slowHandlerCalls = 0;
    reload.Grab.OnLinkFound = [&](Component*, FoundLink& lf) {
        reload.Links.push_back(lf.TypeLink + " " + lf.UrlFound);
        if (++slowHandlerCalls == 1) {
            // a handler that lets events through for 3 s (longer than the quiet
            // countdown) must not cause duplicates or end the scan early
            RunUntil([] { return false; }, 3000);
        }
    };
    ASSERT_TRUE(reload.Scan(base + "p.html"));
    EXPECT_EQ(reload.Links, networkLinks);
    EXPECT_TRUE(reload.PageErrors.empty());
}

TEST(GrabRetries, APageThatFailsOnceArrivesOnTheSecondAttempt) {
    SiteServer site;
    std::atomic<int> calls{0};
    site.Custom("/flaky.html", [&](const httplib::Request&, httplib::Response& res) {
        if (calls++ == 0) {
            CutShort(res);
            return;
        }
        res.set_content("<a href=\"after.html\">ok</a>", "text/html");
    });
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDepthSearchLevel(1);
    ASSERT_TRUE(run.Scan(site.Url("/flaky.html")));
    EXPECT_EQ(calls.load(), 2);
    EXPECT_TRUE(run.HasLink("htm " + site.Url("/after.html")));
    EXPECT_TRUE(run.PageErrors.empty());
}

TEST(GrabRetries, RetryCountThreeMeansThreeAttempts) {
    SiteServer site;
    std::atomic<int> calls{0};
    site.Custom("/broken.html", [&](const httplib::Request&, httplib::Response& res) {
        ++calls;
        CutShort(res);
    });
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetRetries(3);
    ASSERT_TRUE(run.Scan(site.Url("/broken.html")));
    EXPECT_EQ(calls.load(), 3);
    EXPECT_EQ(run.PageErrors.size(), 1u);
}

TEST(GrabRedirects, ARedirectedPageResolvesAgainstWhereItLanded) {
    SiteServer site;
    site.Set("/g", {301, "text/html", "moved", "/g/"});
    site.Page("/g/", "<a href=\"a.jpg\">a</a>");
    site.File("/g/a.jpg", "image/jpeg", "J");
    TempDir dir;
    ScanRun run(dir.Path());
    ASSERT_TRUE(run.Scan(site.Url("/g")));
    EXPECT_TRUE(run.HasLink("jpg " + site.Url("/g/a.jpg")));
    // the page is stored under the name of the address asked for
    EXPECT_EQ(Stored(dir, site), (std::vector<std::string>{"g/a.jpg", "g/index.html"}));
}

TEST(GrabCredentials, PasswordsGoOnlyToTheStartingSite) {
    SiteServer other;
    other.Custom("/secret.jpg", [](const httplib::Request&, httplib::Response& res) {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"other\"");
        res.set_content("no", "text/plain");
    });
    other.Set("/hop", {302, "text/plain", "", other.Url("/secret.jpg")});
    SiteServer site;
    site.Custom("/g.html", [&](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_header("Authorization")) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"gallery\"");
            return;
        }
        res.set_content("<a href=\"" + other.Url("/secret.jpg", "localhost") +
                            "\">x</a> <a href=\"redir.jpg\">r</a>",
                        "text/html");
    });
    site.Set("/redir.jpg", {302, "text/plain", "", other.Url("/secret.jpg")});
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetUserName("user");
    run.Grab.SetPassword("pass");
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_TRUE(site.SawHeader("Authorization"));
    EXPECT_GE(other.Requests().size(), 2u);
    EXPECT_FALSE(other.SawHeader("Authorization"));
}

TEST(GrabKinds, WantedFilesBeyondTheQueueLimitWaitTheirTurn) {
    SiteServer site;
    std::string html;
    for (int i = 0; i < 30; ++i) {
        html += "<a href=\"p" + std::to_string(i) + ".jpg\">x</a> <a href=\"n" + std::to_string(i) +
                ".zip\">z</a>\n";
        site.File("/p" + std::to_string(i) + ".jpg", "image/jpeg", "J");
    }
    site.Page("/g.html", html);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetFilesConcurrentDownloads(1);
    run.Grab.SetMaxDownloadQueueSize(10);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    // Every wanted file of the page is stored, the page itself beside them;
    // the zip links beside them are not wanted.
    EXPECT_EQ(Stored(dir, site).size(), 31u);
    EXPECT_TRUE(run.FileErrors.empty());
}

// Pages and files of one host share the cap: with six page slots and six
// file slots, never more than two requests reach the server at once; a page
// answered "too many requests" is fetched again after the wait.
TEST(GrabPolite, PagesAndFilesTogetherKeepToTheCapAndWaitWhenAsked) {
    SiteServer site;
    std::atomic<int> now{0}, peak{0}, limited{0};
    const auto slowly = [&](httplib::Response& res, const std::string& type,
                            const std::string& body) {
        const int n = ++now;
        for (int p = peak.load(); n > p && !peak.compare_exchange_weak(p, n);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        res.set_content(body, type);
        --now;
    };
    std::string index;
    for (int i = 0; i < 6; ++i) {
        index += "<a href=\"p" + std::to_string(i) + ".html\">page</a>\n";
        index += "<a href=\"f" + std::to_string(i) + ".jpg\">picture</a>\n";
    }
    site.Custom("/index.html", [&](const httplib::Request&, httplib::Response& res) {
        slowly(res, "text/html", index);
    });
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i);
        site.Custom("/p" + n + ".html", [&, n](const httplib::Request&, httplib::Response& res) {
            if (n == "3" && limited++ == 0) {
                res.status = 429;
                res.set_header("Retry-After", "1");
                return;
            }
            slowly(res, "text/html", "<a href=\"g" + n + ".jpg\">more</a>");
        });
        for (const std::string& f : {"/f" + n + ".jpg", "/g" + n + ".jpg"})
            site.Custom(f, [&, f](const httplib::Request&, httplib::Response& res) {
                slowly(res, "image/jpeg", "JPEG " + f);
            });
    }
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDepthSearchLevel(2);
    run.Grab.SetHtmlConcurrentDownloads(6);
    run.Grab.SetFilesConcurrentDownloads(6);
    run.Grab.SetRespectRateLimits(true);
    run.Grab.SetConnectionsPerHost(2);
    ASSERT_TRUE(run.Scan(site.Url("/index.html")));
    EXPECT_LE(peak.load(), 2);
    EXPECT_EQ(limited.load(), 2) << "asked to wait once, then answered";
    EXPECT_TRUE(run.PageErrors.empty());
    EXPECT_TRUE(run.FileErrors.empty());
    EXPECT_EQ(Stored(dir, site).size(), 19u) << "seven pages, twelve pictures";
    EXPECT_EQ(run.Grab.PageDownloader.Retries(), 1);
    EXPECT_LE(run.Grab.SharedHostLimits.MostOpenTo("127.0.0.1"), 2);
}
