// tessellon-cli scan: one scan without a screen.
#include "cli/CliSupport.h"
#include "cli/ReportFormat.h"
#include "common/StringTools.h"
#include "engine/Grabber.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {} // namespace

int RunScan(std::vector<std::string> argv, const ScanDefaults& defaults) {
    ArgReader args(std::move(argv));
    StderrMessages messages;
    int argc = 1;
    char name[] = "tessellon-cli";
    char* argvQt[] = {name, nullptr};
    QCoreApplication app(argc, argvQt);

    Grabber grab(&messages);
    grab.ResultsMode = 0; // a results file only when asked for
    // Without a screen to watch, the scan ends as soon as nothing is left to
    // do, not after the quiet ticks a window waits before it says "Done.".
    grab.PageDownloader.QuietTicksBeforeIdle = 0;
    grab.FileDownloader.QuietTicksBeforeIdle = 0;
    std::string out = CurrentFolder() + "/Download/";
    std::string url;
    bool printLinks = false;
    bool resume = false;
    ApplyScanDefaults(grab, defaults);

    while (!args.Done()) {
        const std::string a = args.Next();
        if (a == "--out") {
            out = args.Value(a);
            if (out.empty()) throw UsageError{"--out needs a folder"};
        } else if (a == "--depth") {
            grab.SetDepthSearchLevel(args.IntValue(a, 1, 100));
        } else if (a == "--concurrency") {
            grab.SetHtmlConcurrentDownloads(args.IntValue(a, 1, 64));
        } else if (a == "--file-concurrency") {
            grab.SetFilesConcurrentDownloads(args.IntValue(a, 1, 64));
        } else if (a == "--retries") {
            grab.SetRetries(args.IntValue(a, 1, 100));
        } else if (a == "--timeout") {
            grab.SetTimeOut(args.IntValue(a, 10, 86400));
        } else if (a == "--types") {
            grab.SetFileTypes(CommaListToLines(args.Value(a)));
        } else if (a == "--download") {
            const std::string v = args.Value(a);
            if (v == "src")
                grab.SetDownloadType(DownloadFilter::DOWNLOAD_SRC);
            else if (v == "href")
                grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF);
            else if (v == "both")
                grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
            else
                throw UsageError{"--download takes src, href or both, not \"" + v + "\""};
        } else if (a == "--thumbs") {
            grab.SetSearchThumbs(true);
        } else if (a == "--modern-markup") {
            grab.SetModernMarkup(true);
        } else if (a == "--polite") {
            grab.SetRespectRateLimits(true);
        } else if (a == "--per-host") {
            grab.SetRespectRateLimits(true);
            grab.SetConnectionsPerHost(
                args.IntValue(a, 1, DownloadManager::kMaxConnectionsPerHost));
        } else if (a == "--stay-on-site") {
            grab.StayOnSite = true;
        } else if (a == "--no-external") {
            grab.ReportExternalLinks = false;
        } else if (a == "--filter") {
            grab.KeywordsFilterEnabled = true;
            std::string words;
            if (args.OptionalValue(words)) grab.SetKeywordsFilter(CommaListToLines(words));
        } else if (a == "--limiter") {
            grab.KeywordsLimiterEnabled = true;
            grab.SetKeywordsLimiter(CommaListToLines(args.Value(a)));
        } else if (a == "--html-ext") {
            grab.SetHtmlExtensions(CommaListToLines(args.Value(a)));
        } else if (a == "--results") {
            grab.ResultsMode = 1;
            grab.SetFileOfResults(args.Value(a));
        } else if (a == "--dated-results") {
            grab.ResultsMode = 2;
        } else if (a == "--referer") {
            grab.InitialReferringUrl = args.Value(a);
        } else if (a == "--no-store-pages") {
            grab.SetDownloadHtmlPages(false);
        } else if (a == "--reuse-pages") {
            grab.SetReuseHtmlFiles(true);
        } else if (a == "--robots") {
            grab.SeekRobots = true;
        } else if (a == "--max-queue") {
            grab.SetMaxQueueSize(args.IntValue(a, 10, 10000000));
        } else if (a == "--max-file-queue") {
            grab.SetMaxDownloadQueueSize(args.IntValue(a, 10, 10000000));
        } else if (a == "--leaves-first") {
            grab.SetLeavesFirst(true);
        } else if (a == "--user") {
            grab.SetUserName(args.Value(a));
        } else if (a == "--password") {
            grab.SetPassword(args.Value(a));
        } else if (a == "--proxy") {
            std::string host;
            int port = 80;
            ParseProxy(args.Value(a), host, port);
            grab.SetProxyType(ProxyMode::PROXY_USEPROXY);
            grab.SetProxyAddress(host);
            grab.SetProxyPort(port);
        } else if (a == "--no-proxy") {
            grab.SetProxyType(ProxyMode::PROXY_DIRECT);
        } else if (a == "--proxy-user") {
            grab.SetProxyUser(args.Value(a));
        } else if (a == "--proxy-password") {
            grab.SetProxyPassword(args.Value(a));
        } else if (a == "--links") {
            printLinks = true;
        } else if (a == "--log") {
            grab.SetLogsEnabled(true);
        } else if (a == "--resume") {
            resume = true;
        } else if (a == "--no-xattr") {
            grab.SetRememberOrigins(false);
        } else if (a.starts_with("-")) {
            throw UsageError{"unknown option " + a};
        } else if (defaults.FixedUrl) {
            throw UsageError{"this command takes no URL: it scans " + defaults.Url};
        } else if (url.empty()) {
            url = a;
        } else {
            throw UsageError{"only one URL may be given"};
        }
    }
    if (url.empty() && defaults.Url.empty()) throw UsageError{"no URL given"};
    if (url.empty()) url = defaults.Url;

    if (const std::string problem = OutFolderProblem(out); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    const std::string folder = grab.EnsureDirectory(out);
    if (folder.empty()) return 1;
    grab.SetDownloadPath(folder);

    ProgressLine progress;
    DownloadStats pages, files;
    auto println = [&](const std::string& line) {
        progress.Clear();
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    int errorLines = 0;
    grab.PageDownloader.OnError = [&](Component*, const DownloadError& error) {
        println(PageErrorLine(error));
        ++errorLines;
    };
    grab.OnFileDownloadError = [&](Component*, const DownloadError& error) {
        println(FileErrorLine(error));
        ++errorLines;
    };
    grab.StatsHook = [&](ScanEngine&, const DownloadStats& stats) {
        (stats.Tag == 1 ? pages : files) = stats;
    };
    if (printLinks) {
        grab.OnLinkFound = [&](Component*, FoundLink& lf) {
            char type[64];
            std::snprintf(type, sizeof type, "%-4s", lf.TypeLink.c_str());
            println(std::string(type) + " " + lf.UrlFound);
        };
    }
    grab.OnLog = [&](Component*, const std::string& m) { println(m); };
    if (defaults.OnFileReceived) {
        grab.FileDownloader.OnDataReceived = [&](Component*, RequestSlot* get, bool onDisk) {
            defaults.OnFileReceived(get->Url.GetUrl(), onDisk);
        };
    }

    // The last manager to fall idle ends the run at once.
    auto quitWhenIdle = [&](bool working) {
        if (!working && !grab.IsWorking() && !grab.Closing) app.quit();
    };
    grab.WorkingHook = [&](DownloadManager*, bool working) { quitWhenIdle(working); };
    grab.FileWorkingHook = [&](Component*, bool working) { quitWhenIdle(working); };

    if (!(resume ? grab.ResumeScan(url) : grab.StartScan(url))) return 1;

    InstallInterruptHandler();
    int interruptsSeen = 0;
    bool stopped = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const int n = InterruptCount();
        if (n > interruptsSeen) {
            interruptsSeen = n;
            if (!stopped) {
                stopped = true;
                grab.StopScan();
            } else if (!grab.Closing) {
                grab.Shutdown(); // ends the event loop after its countdown
            }
        }
        if (!grab.IsWorking() && !grab.Closing) app.quit();
        progress.Show("pages: " + std::to_string(pages.InQueue) + " queued, " +
                      std::to_string(pages.Downloading) + " loading, " +
                      std::to_string(pages.Done) + " done, " + std::to_string(pages.Errors) +
                      " errors | files: " + std::to_string(files.InQueue) + " queued, " +
                      std::to_string(files.Downloading) + " loading, " +
                      std::to_string(files.Done) + " done, " + std::to_string(files.Errors) +
                      " errors");
    });
    watch.start(200);
    app.exec();
    progress.Clear();
    std::printf("pages:\n%sfiles:\n%s", StatsBlock(pages).c_str(), StatsBlock(files).c_str());
    std::fflush(stdout);
    // The page queue's limit drops links without an error of its own: say so.
    if (grab.PagesNotQueued() > 0)
        std::fprintf(stderr,
                     "%d pages were not followed: the page queue was full (raise --max-queue)\n",
                     grab.PagesNotQueued());
    if (stopped) return 130;
    if (!defaults.FailuresSetStatus) return 0;
    if (errorLines > 0) return 1;
    if (files.Done + files.AlreadyOnDisk == 0) {
        std::fprintf(stderr, "nothing was stored: no file of the wanted types was found\n");
        return 1;
    }
    return 0;
}
