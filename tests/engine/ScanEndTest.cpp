// When a scan ends, and what the file queue's limit does to a large site:
// the window waits for its quiet ticks, the command line ends as soon as
// nothing is left, and a full file queue holds pages back instead of losing
// pictures.
#include "ScanHarness.h"

#include <QElapsedTimer>
#include <QProcess>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

namespace {

// A gallery of `pages` pages under /index.html, each linking `pictures`
// pictures of its own.
void Gallery(SiteServer& site, int pages, int pictures) {
    std::string index;
    for (int p = 0; p < pages; ++p) {
        const std::string page = "/p" + std::to_string(p) + ".html";
        index += "<a href=\"" + page + "\">page</a>\n";
        std::string html;
        for (int i = 0; i < pictures; ++i) {
            const std::string pic = "/pics/" + std::to_string(p) + "-" + std::to_string(i) + ".jpg";
            html += "<a href=\"" + pic + "\">picture</a>\n";
            site.File(pic, "image/jpeg", "JPEG " + pic);
        }
        site.Page(page, html);
    }
    site.Page("/index.html", index);
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Latest modification time of the files under root, in ms of the wall clock.
std::int64_t LastWrittenMs(const std::string& root) {
    std::int64_t last = 0;
    for (const auto& f : FilesUnder(root)) {
        struct stat st {};
        if (::stat((root + "/" + f).c_str(), &st) != 0) continue;
        last = std::max<std::int64_t>(last, std::int64_t(st.st_mtim.tv_sec) * 1000 +
                                                st.st_mtim.tv_nsec / 1000000);
    }
    return last;
}

} // namespace

TEST(FileQueueLimit, HoldsPagesBackAndLosesNoPicture) {
    SiteServer site;
    Gallery(site, 4, 40);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.SetDepthSearchLevel(2);
    run.Grab.SetHtmlConcurrentDownloads(1);
    run.Grab.SetFilesConcurrentDownloads(1);
    run.Grab.SetMaxDownloadQueueSize(10);
    int most = 0;
    run.Grab.OnLinkFound = [&](Component*, FoundLink&) {
        most = std::max(most, run.Grab.FileDownloader.QueueCount());
    };
    ASSERT_TRUE(run.Scan(site.Url("/index.html"), 120000));
    const auto stored = FilesUnder(dir.Sub(site.HostFolder() + "/pics"));
    EXPECT_EQ(stored.size(), 160u);
    EXPECT_TRUE(run.FileErrors.empty());
    // Pages wait while the queue is full: it never holds more than its limit
    // and the links of the one page that was on its way.
    EXPECT_LE(most, 10 + 40);
    EXPECT_GE(most, 10); // the limit was reached, so pages were held back
}

TEST(ScanEnd, WithoutQuietTicksTheScanEndsWithinATickOfItsLastFile) {
    SiteServer site;
    Gallery(site, 2, 5);
    TempDir dir;
    ScanRun run(dir.Path());
    run.Grab.PageDownloader.QuietTicksBeforeIdle = 0;
    run.Grab.FileDownloader.QuietTicksBeforeIdle = 0;
    std::int64_t lastFile = 0, ended = 0;
    int files = 0;
    run.Grab.FileDownloader.OnDataReceived = [&](Component*, RequestSlot*, bool) {
        ++files;
        lastFile = NowMs();
    };
    auto noteEnd = [&](bool working) {
        if (!working && !run.Grab.IsWorking()) ended = NowMs();
    };
    run.Grab.WorkingHook = [&](DownloadManager*, bool w) { noteEnd(w); };
    run.Grab.FileWorkingHook = [&](Component*, bool w) { noteEnd(w); };
    ASSERT_TRUE(run.Scan(site.Url("/index.html")));
    EXPECT_EQ(files, 10);
    ASSERT_NE(ended, 0);
    // One 200 ms tick, and room for a loaded machine's late timer.
    EXPECT_LT(ended - lastFile, 200 + 250);
}

TEST(ScanEnd, TheDefaultWaitsElevenQuietTicks) {
    SiteServer site;
    Gallery(site, 1, 3);
    TempDir dir;
    ScanRun run(dir.Path());
    std::int64_t lastFile = 0;
    run.Grab.FileDownloader.OnDataReceived = [&](Component*, RequestSlot*, bool) {
        lastFile = NowMs();
    };
    ASSERT_TRUE(run.Scan(site.Url("/index.html")));
    ASSERT_NE(lastFile, 0);
    // Eleven quiet ticks of 200 ms after the tick that saw the last change.
    EXPECT_GE(NowMs() - lastFile, 2000);
}

TEST(ScanEnd, TheCommandLineExitsRightAfterItsLastStoredFile) {
    SiteServer site;
    Gallery(site, 3, 10);
    TempDir dir;
    QProcess cli;
    cli.start(TESSELLON_CLI, {"scan", QString::fromStdString(site.Url("/index.html")), "--out",
                              QString::fromStdString(dir.Path())});
    ASSERT_TRUE(cli.waitForStarted(10000));
    // Watch for the exit without a fixed wait: the event loop runs until the
    // process has ended.
    ASSERT_TRUE(RunUntil([&] { return cli.state() == QProcess::NotRunning; }, 60000));
    const auto exited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(FilesUnder(dir.Sub(site.HostFolder() + "/pics")).size(), 30u);
    // Less than one tick, the statistics printed and the process gone; a
    // run that waited for quiet ticks would take 2.2 s more.
    EXPECT_LT(exited - LastWrittenMs(dir.Path()), 1000);
}
