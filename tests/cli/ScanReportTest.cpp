// What a scan on the command line reports: one line for each failed page or
// file, saying what failed and why, counted in the statistics.
#include "CliRun.h"
#include "ScriptedServer.h"
#include "TempDir.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

// The "errors:" figure of the statistics block under heading ("pages:" or
// "files:"); -1 when there is none.
int ErrorsIn(const std::string& out, const std::string& heading) {
    const auto block = out.rfind("\n" + heading + "\n");
    if (block == std::string::npos) return -1;
    const std::string key = "errors: ";
    const auto at = out.find(key, block);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
}

} // namespace

TEST(ScanReport, EveryFailedPageAndFileHasOneLineWithItsReason) {
    TestHttpServer closed; // a port where nothing listens any more
    const std::string refused = closed.Url("/gone.html");
    closed.Stop();
    ScriptedServer shortPage([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n\r\nshort");
    });
    TestHttpServer site;
    const std::string index = site.Url("/index.html");
    site.Serve("/index.html", "text/html",
               "<a href=\"p404.html\">a</a> <a href=\"p503.html\">b</a> <a href=\"p500.html\">c</a>"
               "<a href=\"" +
                   refused + "\">d</a> <a href=\"" + shortPage.Url("/short.html") +
                   "\">e</a> <img src=\"a.jpg\"> <img src=\"missing.jpg\"> <img src=\"busy.jpg\">");
    site.Serve("/p404.html", "text/plain", "no such page", 404);
    site.Serve("/p503.html", "text/html", "<p>busy</p>", 503);
    site.Serve("/p500.html", "text/plain", "broken", 500);
    site.Serve("/a.jpg", "image/jpeg", "picture a");
    site.Serve("/busy.jpg", "text/html", "busy", 503);
    TempDir dir;
    const CliResult r = RunCli({"scan", index, "--out", dir.Path(), "--depth", "2", "--retries",
                                "2", "--download", "src"});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;

    const std::string from = "   (" + index + ")";
    EXPECT_TRUE(r.Has("404: " + site.Url("/p404.html") + " 404 Not Found" + from)) << r.Out;
    EXPECT_TRUE(r.Has("503: " + site.Url("/p503.html") + " 503 Service Unavailable" + from));
    EXPECT_TRUE(r.Has("500: " + site.Url("/p500.html") + " 500 Internal Server Error" + from));
    EXPECT_EQ(r.CountLines("200: " + shortPage.Url("/short.html") +
                           " body shorter than its length: transfer closed with 995 bytes"),
              1)
        << r.Out;
    EXPECT_EQ(r.CountLines("0: " + refused + " Failed to connect"), 1) << r.Out;
    EXPECT_NE(r.Out.find("(Connection refused)" + from), std::string::npos) << r.Out;
    EXPECT_TRUE(
        r.Has("Error 404: " + site.Url("/missing.jpg") + " 404 Not Found  (" + index + ")"));
    EXPECT_TRUE(
        r.Has("Error 503: " + site.Url("/busy.jpg") + " 503 Service Unavailable  (" + index + ")"));
    // Server errors and broken transfers were given their second try.
    EXPECT_EQ(site.Count("/p503.html"), 2);
    EXPECT_EQ(site.Count("/p500.html"), 2);
    EXPECT_EQ(site.Count("/busy.jpg"), 2);
    EXPECT_EQ(site.Count("/p404.html"), 1);
    EXPECT_EQ(shortPage.Accepted(), 2);

    // The statistics count exactly the lines printed.
    EXPECT_EQ(ErrorsIn(r.Out, "pages:"), 5) << r.Out;
    EXPECT_EQ(ErrorsIn(r.Out, "files:"), 2) << r.Out;
    EXPECT_EQ(r.CountLines("Error "), 2);
}

namespace {

// A gallery page, larger than the disk takes or small, and its pictures.
struct FullDiskSite {
    TestHttpServer Server;
    static constexpr int kPictures = 6;
    explicit FullDiskSite(bool bigPage) {
        std::string html = bigPage ? "<!--" + std::string(100000, '.') + "-->" : "";
        for (int i = 0; i < kPictures; ++i)
            html += "<img src=\"p" + std::to_string(i) + ".jpg\">";
        Server.Serve("/index.html", "text/html", html);
        for (int i = 0; i < kPictures; ++i)
            Server.Serve("/p" + std::to_string(i) + ".jpg", "image/jpeg",
                         std::string(100000, char('a' + i)));
    }
    int PicturesAsked() const {
        int n = 0;
        for (int i = 0; i < kPictures; ++i)
            n += Server.Count("/p" + std::to_string(i) + ".jpg");
        return n;
    }
};

// Scans the site into out, whose disk refuses the bytes with reason: the run
// says why and exits 1, no address is tried twice, and at most one picture
// is fetched. A page the disk refused is processed all the same: its links
// are reported. A page that was stored leaves the first picture to meet
// the full disk: its line gives the reason.
void ExpectTheScanStopsFetchingFiles(FullDiskSite& site, bool pageRefused, const std::string& out,
                                     const std::string& reason,
                                     std::function<void()> childSetUp = nullptr) {
    const CliResult r = RunCli({"scan", site.Server.Url("/index.html"), "--out", out, "--links",
                                "--download", "src", "--file-concurrency", "1", "--retries", "3"},
                               std::move(childSetUp));
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_NE(r.Err.find("disk full: " + out + "/ (" + reason + "): no more files are fetched"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(site.Server.Count("/index.html"), 1);
    EXPECT_EQ(r.CountLines("jpg  " + site.Server.Url("/p")), FullDiskSite::kPictures) << r.Out;
    const std::string page = out + "/" + site.Server.HostFolder() + "/index.html";
    EXPECT_EQ(FileExists(page), !pageRefused);
    const int lines = r.CountLines("Error ");
    if (pageRefused) {
        // The picture under way when the disk refused the page is cut off.
        EXPECT_LE(site.PicturesAsked(), 1) << r.Out;
        EXPECT_LE(lines, 1) << r.Out;
    } else {
        EXPECT_EQ(site.PicturesAsked(), 1) << r.Out;
        EXPECT_EQ(lines, 1) << r.Out;
        EXPECT_EQ(r.CountLines("Error 0: " + site.Server.Url("/p")), 1) << r.Out;
        EXPECT_NE(r.Out.find(" cannot write the file: " + out + "/"), std::string::npos) << r.Out;
        EXPECT_NE(r.Out.find(" (" + reason + ")  ("), std::string::npos) << r.Out;
    }
    EXPECT_EQ(ErrorsIn(r.Out, "pages:"), 0) << r.Out;
    EXPECT_EQ(ErrorsIn(r.Out, "files:"), lines) << r.Out;
    EXPECT_EQ(r.Out.find("        retries: 1"), std::string::npos) << r.Out;
    for (const std::string& f : FilesUnder(out))
        EXPECT_EQ(f.find(".part-"), std::string::npos) << f;
}

} // namespace

// A file size limit (no privileges needed) refuses writes past it as a full
// disk does.
TEST(ScanReport, AFileSizeLimitStopsTheFilesAndTheRunFails) {
    const auto limit = [] {
        const rlimit bytes{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &bytes);
    };
    for (const bool bigPage : {true, false}) {
        FullDiskSite site(bigPage);
        TempDir dir;
        ExpectTheScanStopsFetchingFiles(site, bigPage, dir.Path(), "File too large", limit);
    }
}

// A small file system of its own, where mounting is allowed.
TEST(ScanReport, AFullFileSystemStopsTheFilesAndTheRunFails) {
    FullDiskSite site(false);
    TempDir dir;
    const std::string disk = dir.Sub("disk");
    ::mkdir(disk.c_str(), 0755);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    ExpectTheScanStopsFetchingFiles(site, false, disk, "No space left on device");
    ::umount2(disk.c_str(), MNT_DETACH);
}
