// tessellon-cli scan: one scan without a screen.
#include "cli/CliSupport.h"
#include "cli/CommandApp.h"
#include "cli/CookiesFile.h"
#include "cli/ReportFormat.h"
#include "common/StringTools.h"
#include "engine/Grabber.h"

#include <QTimer>

#include <cstdio>

const std::vector<CommandOption>& ScanOptions() {
    static const std::vector<CommandOption> options{
        {"out", "DIR", "storage folder (default ./Download)"},
        {"depth", "N", "pages followed below the start page, 1 to 100 (1: the start page only)"},
        {"concurrency", "N", "parallel page transfers (1 to 64)"},
        {"file-concurrency", "N", "parallel file transfers (1 to 64)"},
        {"retries", "N", "tries per address (1 to 100)"},
        {"timeout", "S", "seconds without data before a transfer is given up (10 to 86400)"},
        {"types", "LIST", "file types to download, comma-separated (default gif,jpeg,jpg)"},
        {"download", "src|href|both", "take files found through SRC, HREF or both"},
        {"thumbs", "", "take only thumbnail / full-size pairs"},
        {"modern-markup", "",
         "also find pictures in responsive and lazy-loaded markup (srcset, data-src, og:image)"},
        {"render", "",
         "run page scripts before looking for pictures: each page is loaded in the browser "
         "engine (offscreen), scrolled to its end, and read as it then stands"},
        {"polite", "",
         "respect server rate limits: a 429, or a 503 with Retry-After, is waited for (up to "
         "120 s a time) and its host's connections halved, growing back while it answers"},
        {"per-host", "N", "at most N connections to one host (implies --polite)"},
        {"stay-on-site", "", "follow only the start site"},
        {"no-external", "", "do not report links to other sites"},
        {"filter", "[WORDS]",
         "drop links containing any of the words (default: track, hitbox, referer, stat, count)"},
        {"limiter", "WORDS", "keep only links containing one of the words (comma-separated)"},
        {"html-ext", "LIST", "link types that count as html pages"},
        {"results", "FILE", "write the found links to FILE"},
        {"dated-results", "", "write the found links to a results file named by the date"},
        {"referer", "URL", "referring address of the start page"},
        {"no-store-pages", "", "keep pages off the disk"},
        {"reuse-pages", "", "read stored pages instead of fetching them"},
        {"robots", "", "read robots.txt first"},
        {"max-queue", "N", "pages queued at most (default 5000; the rest are counted)"},
        {"max-file-queue", "N", "files queued at most (default 5000; pages wait meanwhile)"},
        {"leaves-first", "", "fetch the deepest pages first"},
        {"user", "U", "Basic credentials' user name, sent to the start site only"},
        {"password", "P", "Basic credentials' password"},
        {"proxy", "HOST:PORT", "use this proxy (default: the usual proxy environment variables)"},
        {"no-proxy", "", "use no proxy"},
        {"proxy-user", "U", "the proxy's user name"},
        {"proxy-password", "P", "the proxy's password"},
        {"cookies", "FILE",
         "start with the cookies of a Netscape cookies file (damaged lines are skipped and "
         "counted)"},
        {"no-cookies", "",
         "send and keep no cookie (by default the sites' cookies are kept and sent back)"},
        {"links", "", "print each reported link"},
        {"log", "", "print the log"},
        {"resume", "", "continue the unfinished scan of URL journaled in the storage folder"},
        {"no-xattr", "", "do not record each file's address and referrer as file attributes"},
    };
    return options;
}

const CommandHelp& ScanHelp() {
    static const CommandHelp help{
        "scan", "[options] URL",
        "Crawls from URL down to the depth and downloads the wanted files into the\n"
        "storage folder.",
        ScanOptions()};
    return help;
}

int RunScan(std::vector<std::string> argv, const ScanDefaults& defaults) {
    ArgReader args(std::move(argv), ScanHelp());
    StderrMessages messages;
    // The browser engine is started only for --render.
    CommandApp command(args.Has("--render"));
    QCoreApplication& app = command.App();

    Grabber grab(&messages);
    grab.ResultsMode = 0; // a results file only when asked for
    // Without a screen to watch, the scan ends as soon as nothing is left to
    // do, not after the quiet ticks a window waits before it says "Done.".
    grab.PageDownloader.QuietTicksBeforeIdle = 0;
    grab.FileDownloader.QuietTicksBeforeIdle = 0;
    std::string out = CurrentFolder() + "/Download/";
    std::string url;
    bool printLinks = false;
    std::string cookiesFile;
    bool noCookies = false;
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
        } else if (a == "--render") {
            grab.Renderer = command.Renderer();
            grab.SetRunPageScripts(true);
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
        } else if (a == "--cookies") {
            cookiesFile = args.Value(a);
        } else if (a == "--no-cookies") {
            noCookies = true;
        } else if (a == "--links") {
            printLinks = true;
        } else if (a == "--log") {
            grab.SetLogsEnabled(true);
        } else if (a == "--resume") {
            resume = true;
        } else if (a == "--no-xattr") {
            grab.SetRememberOrigins(false);
        } else if (args.IsOption()) {
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
    if (noCookies && !cookiesFile.empty())
        throw UsageError{"--cookies and --no-cookies exclude each other"};
    grab.SetKeepCookies(!noCookies);
    if (!cookiesFile.empty() && !ReadCookiesFile(cookiesFile, grab.PresetCookies)) return 1;

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
    if (!grab.DiskFull().empty()) return 1; // said by the engine
    if (!defaults.FailuresSetStatus) return 0;
    if (errorLines > 0) return 1;
    if (files.Done + files.AlreadyOnDisk == 0) {
        std::fprintf(stderr, "nothing was stored: no file of the wanted types was found\n");
        return 1;
    }
    return 0;
}
