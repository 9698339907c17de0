// tessellon-cli get: download a list of addresses into the storage folder.
#include "cli/CliSupport.h"
#include "cli/CookiesFile.h"
#include "cli/ReportFormat.h"
#include "common/StringTools.h"
#include "download/DownloadManager.h"
#include "http/CookieShare.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

const CommandHelp& GetHelp() {
    static const CommandHelp help{
        "get",
        "[options] URL... | -i FILE",
        "Downloads the addresses into the storage folder.",
        {
            {"out", "DIR", "storage folder (default ./Download)"},
            {"concurrency", "N", "parallel transfers (1 to 64)"},
            {"retries", "N", "tries per address (1 to 100)"},
            {"timeout", "S", "seconds without data before a transfer is given up (10 to 86400)"},
            {"polite", "", "respect server rate limits (see scan --help)"},
            {"per-host", "N", "at most N connections to one host (implies --polite)"},
            {"reuse", "", "report a file already stored instead of fetching it"},
            {"user", "U", "Basic credentials' user name, sent to the given addresses' sites"},
            {"password", "P", "Basic credentials' password"},
            {"proxy", "HOST:PORT",
             "use this proxy (default: the usual proxy environment variables)"},
            {"no-proxy", "", "use no proxy"},
            {"proxy-user", "U", "the proxy's user name"},
            {"proxy-password", "P", "the proxy's password"},
            {"referer", "URL", "referring address sent with every request"},
            {"cookies", "FILE", "start with the cookies of a Netscape cookies file"},
            {"no-cookies", "", "send and keep no cookie"},
            {"i", "FILE", "read the addresses from FILE, one a line (# starts a comment)"},
        }};
    return help;
}

int RunGet(std::vector<std::string> argv) {
    ArgReader args(std::move(argv), GetHelp());
    std::vector<std::string> urls;
    StderrMessages messages;
    DownloadManager manager(&messages);
    manager.QuietTicksBeforeIdle = 0; // done as soon as nothing is left
    manager.Tag = 2;
    manager.Agent = kDefaultAgent;
    manager.DownloadPath = CurrentFolder() + "/Download/";
    manager.ConcurrentDownloads = 2;
    std::string referer;
    std::string cookiesFile;
    bool noCookies = false;
    while (!args.Done()) {
        const std::string a = args.Next();
        if (a == "--out") {
            manager.DownloadPath = args.Value(a);
            if (manager.DownloadPath.empty()) throw UsageError{"--out needs a folder"};
        } else if (a == "--concurrency") {
            manager.ConcurrentDownloads = args.IntValue(a, 1, 64);
        } else if (a == "--retries") {
            manager.RetryCount = args.IntValue(a, 1, 100);
        } else if (a == "--timeout") {
            manager.TimeOut = args.IntValue(a, 10, 86400);
        } else if (a == "--polite") {
            manager.RespectRateLimits = true;
        } else if (a == "--per-host") {
            manager.RespectRateLimits = true;
            manager.Limits().Cap = args.IntValue(a, 1, DownloadManager::kMaxConnectionsPerHost);
        } else if (a == "--reuse") {
            manager.ReuseExistingFiles = true;
        } else if (a == "--user") {
            manager.UserName = args.Value(a);
        } else if (a == "--password") {
            manager.Password = args.Value(a);
        } else if (a == "--proxy") {
            ParseProxy(args.Value(a), manager.ProxyAddress, manager.ProxyPort);
            manager.ProxyType = ProxyMode::PROXY_USEPROXY;
        } else if (a == "--no-proxy") {
            manager.ProxyType = ProxyMode::PROXY_DIRECT;
        } else if (a == "--proxy-user") {
            manager.ProxyUser = args.Value(a);
        } else if (a == "--proxy-password") {
            manager.ProxyPassword = args.Value(a);
        } else if (a == "--cookies") {
            cookiesFile = args.Value(a);
        } else if (a == "--no-cookies") {
            noCookies = true;
        } else if (a == "--referer") {
            referer = args.Value(a);
        } else if (a == "-i") {
            const std::string file = args.Value(a);
            std::ifstream in(file);
            if (!in) throw UsageError{"cannot read the address list " + file};
            std::string line;
            while (std::getline(in, line)) {
                while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                    line.pop_back();
                if (line.empty() || line[0] == '#') continue;
                urls.push_back(line);
            }
        } else if (args.IsOption()) {
            throw UsageError{"unknown option " + a};
        } else {
            urls.push_back(a);
        }
    }
    if (urls.empty()) throw UsageError{"no URL given"};
    if (noCookies && !cookiesFile.empty())
        throw UsageError{"--cookies and --no-cookies exclude each other"};
    std::vector<std::string> cookieLines;
    if (!cookiesFile.empty() && !ReadCookiesFile(cookiesFile, cookieLines)) return 1;
    if (!noCookies) {
        // The downloads keep the cookies their servers set, as a scan does.
        manager.Cookies = std::make_shared<CookieShare>();
        for (const std::string& line : cookieLines)
            manager.Cookies->AddNetscapeLine(line);
    }
    if (const std::string problem = OutFolderProblem(manager.DownloadPath); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    for (const std::string& u : urls) {
        UrlParts parts;
        if (!parts.Split(u, "")) throw UsageError{"Invalid Url : " + u};
        manager.CredentialOrigins.insert(parts.Origin());
    }

    int argc = 1;
    char name[] = "tessellon-cli";
    char* argvQt[] = {name, nullptr};
    QCoreApplication app(argc, argvQt);
    ProgressLine progress;
    bool anyFailed = false;
    DownloadStats stats;
    std::set<std::string> settled; // stored or reported

    manager.OnError = [&](Component*, const DownloadError& error) {
        progress.Clear();
        std::printf("%s\n", FileErrorLine(error).c_str());
        std::fflush(stdout);
        anyFailed = true;
        settled.insert(error.Url);
    };
    manager.OnDataReceived = [&](Component*, RequestSlot* get, bool onDisk) {
        progress.Clear();
        std::printf("%s\n", FileReceivedLine(get->Url.GetUrl(), onDisk).c_str());
        std::fflush(stdout);
        settled.insert(get->Url.GetUrl());
    };
    manager.OnUpdatedStats = [&](Component*, const DownloadStats& now) { stats = now; };
    // A full disk takes no more files: none is started once it was seen.
    std::string diskFull;
    manager.OnDiskFull = [&](Component*, const std::string& why) {
        if (!diskFull.empty()) return;
        diskFull = why;
        progress.Clear();
        std::fprintf(stderr, "disk full: %s (%s): no more files are fetched\n",
                     manager.DownloadPath.c_str(), why.c_str());
    };
    manager.MayStart = [&] { return diskFull.empty(); };

    for (const std::string& u : urls)
        manager.AddDownload(u, {.DepthSearchLevel = -1,
                                .HrefOrSrc = 'H',
                                .GetAction = BodyHandling::STORE_TO_FILE,
                                .ReferringUrl = referer});

    InstallInterruptHandler();
    bool stopRequested = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (InterruptCount() > 0 && !stopRequested) {
            stopRequested = true;
            manager.SetStopping(true);
        }
        // After a full disk what waits is dropped and what runs cut off: each
        // is listed as not stored at the end.
        if (!diskFull.empty() && !manager.Stopping) manager.SetStopping(true);
        if (manager.Working()) {
            manager.Tick();
            if (!manager.UpdateStats()) manager.SetWorking(false);
        }
        if (stopRequested) {
            bool busy = false;
            for (int i = 0; i < manager.SlotCount(); ++i)
                if (manager.Slot(i).Busy) busy = true;
            if (!busy) app.quit();
        } else if (!manager.Working()) {
            app.quit();
        }
        progress.Show("files: " + std::to_string(stats.InQueue) + " in queue, " +
                      std::to_string(stats.Downloading) + " downloading, " +
                      std::to_string(stats.Done) + " done, " + std::to_string(stats.Errors) +
                      " errors");
    });
    timer.start(200);
    app.exec();
    progress.Clear();
    if (stopRequested) {
        std::printf("%s", StatsBlock(stats).c_str());
        return 130;
    }
    // An address the server answered without a file (a server error is
    // dropped without a line of its own) is still a failure: say so.
    for (const std::string& u : urls) {
        UrlParts parts;
        parts.Split(u, "");
        if (settled.count(u) != 0 || settled.count(parts.GetUrl()) != 0) continue;
        std::printf("not stored: %s (%s)\n", u.c_str(),
                    diskFull.empty() ? "the server sent no file" : "disk full");
        anyFailed = true;
        ++stats.Errors;
    }
    std::printf("%s", StatsBlock(stats).c_str());
    return anyFailed ? 1 : 0;
}
