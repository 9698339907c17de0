// A scan's cookies: one a page sets opens the pictures behind it, cookies
// handed in before the scan (a file, the browser's logins) reach its first
// request, and no cookie value shows in what the scan writes or says.
#include "CliRun.h"
#include "ScanHarness.h"
#include "TestHttpServer.h"

#include <fstream>
#include <sstream>

namespace {

const std::string kSecret = "open-sesame-4711";

// A gallery whose pictures answer 403 without the cookie its page sets;
// with loginNeeded the page itself wants the login cookie first.
void GatedSite(TestHttpServer& s, bool loginNeeded = false) {
    s.On("/g.html", [loginNeeded](const httplib::Request& req, httplib::Response& res) {
        if (loginNeeded && req.get_header_value("Cookie").find("login=yes") == std::string::npos) {
            res.status = 403;
            return;
        }
        res.set_header("Set-Cookie", "gate=" + kSecret + "; Path=/pics");
        res.set_content("<img src=\"pics/p1.jpg\"><img src=\"pics/p2.jpg\">", "text/html");
    });
    for (const char* path : {"/pics/p1.jpg", "/pics/p2.jpg"})
        s.On(path, [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Cookie").find("gate=" + kSecret) == std::string::npos) {
                res.status = 403;
                return;
            }
            res.set_content("JPEG", "image/jpeg");
        });
}

// The scan is over as soon as nothing is left to do.
void QuickEnd(ScanRun& run) {
    run.Grab.PageDownloader.QuietTicksBeforeIdle = 0;
    run.Grab.FileDownloader.QuietTicksBeforeIdle = 0;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(ScanCookies, CookieSetByThePageOpensItsPictures) {
    TempDir dir;
    TestHttpServer site;
    GatedSite(site);
    ScanRun run(dir.Path());
    QuickEnd(run);
    std::vector<std::string> log;
    run.Grab.SetLogsEnabled(true);
    run.Grab.OnLog = [&](Component*, const std::string& line) { log.push_back(line); };
    run.Grab.ResultsMode = 1;
    run.Grab.SetFileOfResults(dir.Path() + "/results.txt");
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_TRUE(run.FileErrors.empty()) << run.FileErrors.front();
    EXPECT_EQ(site.Count("/pics/p1.jpg"), 1);
    EXPECT_EQ(site.Count("/pics/p2.jpg"), 1);
    // The cookie went with the pictures only (its path), never back to the page.
    for (const auto& seen : site.Requests())
        EXPECT_EQ(seen.Header("Cookie").empty(), seen.Path == "/g.html") << seen.Path;
    ASSERT_FALSE(log.empty());
    for (const auto& line : log)
        EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
    run.Grab.StopScan(); // closes the results file
    EXPECT_EQ(ReadAll(dir.Path() + "/results.txt").find(kSecret), std::string::npos);
    EXPECT_EQ(FilesUnder(dir.Path() + "/" + site.HostFolder()).size(), 3U);
}

TEST(ScanCookies, WithoutCookiesTheGateStaysShut) {
    TempDir dir;
    TestHttpServer site;
    GatedSite(site);
    ScanRun run(dir.Path());
    QuickEnd(run);
    run.Grab.SetKeepCookies(false);
    run.Grab.PresetCookies = {"127.0.0.1\tFALSE\t/\tFALSE\t0\tgate\t" + kSecret};
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_EQ(run.FileErrors.size(), 2U);
    EXPECT_FALSE(site.EverSaw("Cookie"));
    for (const auto& line : run.FileErrors)
        EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
}

// Cookies handed in before the scan (the browser's logins, a cookies file)
// go with its very first request; each scan starts from them afresh.
TEST(ScanCookies, LoginsHandedInReachTheFirstRequest) {
    TempDir dir;
    TestHttpServer site;
    GatedSite(site, true);
    ScanRun run(dir.Path());
    QuickEnd(run);
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    int asked = 0;
    run.Grab.CookieSource = [&] {
        ++asked;
        return std::vector<std::string>{"127.0.0.1\tFALSE\t/\tFALSE\t0\tlogin\tyes"};
    };
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_TRUE(run.PageErrors.empty());
    EXPECT_EQ(site.Count("/pics/p1.jpg"), 1);
    EXPECT_EQ(asked, 1);

    run.Grab.CookieSource = nullptr;
    run.Grab.PresetCookies = {"127.0.0.1\tFALSE\t/\tFALSE\t0\tlogin\tyes"};
    run.Grab.VisitedUrls.Clear();
    ASSERT_TRUE(run.Scan(site.Url("/g.html")));
    EXPECT_TRUE(run.PageErrors.empty());
    EXPECT_EQ(site.Count("/g.html"), 2);
}

// scan --cookies: the file's good lines log the scan in, its damaged ones
// are counted without being shown; an unreadable file stops before the scan.
TEST(ScanCookies, CommandLineCookiesFile) {
    TempDir dir;
    TestHttpServer site;
    GatedSite(site, true);
    const std::string file = dir.Path() + "/cookies.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "# Netscape HTTP Cookie File\n"
            << "127.0.0.1\tFALSE\t/\tFALSE\t0\tlogin\tyes\n"
            << "127.0.0.1\tFALSE\t/\tFALSE\t0\tbroken\t" << kSecret << "\x01\n"
            << "only\tthree\tfields\n";
    }
    const std::string out = dir.Path() + "/out";
    const std::string url = site.Url("/g.html");
    CliResult r = RunCli({"scan", "--out", out, "--download", "both", "--cookies", file, url});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_NE(r.Err.find("2 damaged lines skipped"), std::string::npos) << r.Err;
    EXPECT_EQ((r.Out + r.Err).find(kSecret), std::string::npos);
    EXPECT_EQ(site.Count("/pics/p2.jpg"), 1);

    r = RunCli({"scan", "--out", out, "--no-cookies", url});
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err; // the page answers 403
    EXPECT_FALSE(site.Requests().back().Has("Cookie"));

    const int before = site.Total();
    r = RunCli({"scan", "--out", out, "--cookies", dir.Path(), url});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("cannot read the cookies file"), std::string::npos) << r.Err;
    r = RunCli({"scan", "--out", out, "--cookies", dir.Path() + "/none", url});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("No such file"), std::string::npos) << r.Err;
    r = RunCli({"scan", "--out", out, "--cookies", file, "--no-cookies", url});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(site.Total(), before);
}

// A page taken as the browser shows it is processed without being fetched;
// the pictures below it are fetched with the browser's cookies.
TEST(ScanCookies, PageAsShownIsScannedWithoutFetchingIt) {
    TempDir dir;
    TestHttpServer site;
    GatedSite(site, true);
    ScanRun run(dir.Path());
    QuickEnd(run);
    run.Grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    run.Grab.CookieSource = [] {
        return std::vector<std::string>{"127.0.0.1\tFALSE\t/\tFALSE\t0\tgate\t" + kSecret};
    };
    // Built by the page's scripts: the server's own answer has no picture.
    const std::string url = site.Url("/shown.html");
    run.Grab.GivenStartPage = Grabber::GivenPage{url, "<img src=\"pics/p1.jpg\">"};
    ASSERT_TRUE(run.Scan(url));
    EXPECT_EQ(site.Count("/shown.html"), 0);
    EXPECT_EQ(site.Count("/pics/p1.jpg"), 1);
    EXPECT_TRUE(run.FileErrors.empty());
    EXPECT_EQ(run.PagesReceived, std::vector<std::string>{url});
    EXPECT_FALSE(run.Grab.GivenStartPage);
}
