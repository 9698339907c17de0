// Download throughput: a local server (cpp-httplib on 127.0.0.1, its own
// thread pool) serves 2000 small files of 2-8 KB; a download manager with
// four request slots stores them all into a temporary folder. Reported:
// files per second from the first AddDownload until every file is either
// done or failed (the idle countdown that follows is not counted), and the
// process's CPU time for it.
//
// With --paused N the manager respects rate limits, and N requests to a
// second host (127.0.0.2, which answers every request with 429 and
// "Retry-After: 100") are queued before the files: that host is paused for
// the whole run, and its requests wait in the queue while the files of the
// first host are fetched.
//
//   bench_download [--files N] [--slots N] [--runs N] [--paused N]
#include "download/DownloadManager.h"

#include <httplib.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct RunResult {
    double Seconds = 0;
    double CpuSeconds = 0;
    int Done = 0, Errors = 0, Retries = 0, OnDisk = 0;
};

RunResult RunOnce(int port, int files, int slotCount, int pausedPort, int paused) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tessellon-bench-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::string folder = tmpl;

    RunResult r;
    {
        DownloadManager manager;
        manager.Tag = 2;
        manager.DownloadPath = folder + "/";
        manager.ConcurrentDownloads = slotCount;
        manager.TimeOut = 30;
        manager.RespectRateLimits = paused > 0;
        QEventLoop loop;
        auto check = [&] {
            if (manager.Done() + manager.Errors() >= files) loop.quit();
        };
        manager.OnDataReceived = [&](Component*, RequestSlot*, bool) { check(); };
        manager.OnError = [&](Component*, const DownloadError& e) {
            std::fprintf(stderr, "error %u %s %s\n", e.Code, e.Url.c_str(), e.Message.c_str());
            check();
        };
        // Driven as the scan engine drives it.
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (!manager.Working()) return;
            manager.Tick();
            if (!manager.UpdateStats()) manager.SetWorking(false);
            check();
        });
        tick.start(200);

        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuStart = std::clock();
        char path[64];
        for (int i = 0; i < paused; ++i) {
            std::snprintf(path, sizeof path, "/later/%04d.jpg", i);
            manager.AddDownload("http://127.0.0.2:" + std::to_string(pausedPort) + path,
                                {.DepthSearchLevel = -1,
                                 .HrefOrSrc = 'H',
                                 .GetAction = BodyHandling::STORE_TO_FILE});
        }
        for (int i = 0; i < files; ++i) {
            std::snprintf(path, sizeof path, "/files/%04d.jpg", i);
            manager.AddDownload("http://127.0.0.1:" + std::to_string(port) + path,
                                {.DepthSearchLevel = -1,
                                 .HrefOrSrc = 'H',
                                 .GetAction = BodyHandling::STORE_TO_FILE});
        }
        loop.exec();
        r.Seconds = double(clock.nsecsElapsed()) / 1e9;
        r.CpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        r.Done = manager.Done();
        r.Errors = manager.Errors();
        r.Retries = manager.Retries();
    }
    std::size_t onDisk = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) ++onDisk;
    r.OnDisk = int(onDisk);
    std::filesystem::remove_all(folder);
    return r;
}

int IntArg(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const int files = IntArg(argc, argv, "--files", 2000);
    const int slotCount = IntArg(argc, argv, "--slots", 4);
    const int runs = IntArg(argc, argv, "--runs", 3);
    const int paused = IntArg(argc, argv, "--paused", 0);
    QCoreApplication app(argc, argv);

    // 2-8 KB bodies, the same on every run.
    std::vector<std::string> bodies(static_cast<std::size_t>(files));
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> size(2048, 8192), byte(0, 255);
    for (auto& b : bodies) {
        b.resize(std::size_t(size(rng)));
        for (char& c : b)
            c = char(byte(rng));
    }

    httplib::Server server;
    server.Get(R"(/files/(\d+)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
        const int i = std::atoi(req.matches[1].str().c_str());
        if (i < 0 || i >= files) {
            res.status = 404;
            return;
        }
        res.set_content(bodies[std::size_t(i)], "image/jpeg");
    });
    // Answers leave at once, as from any production server: without this
    // the last small segment of each answer on a kept-alive connection
    // waits for the client's delayed acknowledgement.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // The host that asks every request to wait 100 s.
    httplib::Server pausedServer;
    pausedServer.Get(".*", [](const httplib::Request&, httplib::Response& res) {
        res.status = 429;
        res.set_header("Retry-After", "100");
    });
    int pausedPort = 0;
    std::thread pausedThread;
    if (paused > 0) {
        pausedPort = pausedServer.bind_to_any_port("127.0.0.2");
        pausedThread = std::thread([&] { pausedServer.listen_after_bind(); });
        while (!pausedServer.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::vector<double> rates;
    bool ok = true;
    for (int run = 1; run <= runs; ++run) {
        const RunResult r = RunOnce(port, files, slotCount, pausedPort, paused);
        const double rate = r.Seconds > 0 ? r.Done / r.Seconds : 0;
        rates.push_back(rate);
        std::printf(
            "run %d: %d files done, %d errors, %d retries, %d on disk in %.3f s (CPU %.3f s): "
            "%.0f files/s\n",
            run, r.Done, r.Errors, r.Retries, r.OnDisk, r.Seconds, r.CpuSeconds, rate);
        if (r.Done != files || r.OnDisk != files) ok = false;
    }
    std::sort(rates.begin(), rates.end());
    std::printf("median: %.0f files/s (%d files of 2-8 KB, %d slots, %d runs, %d paused)\n",
                rates[rates.size() / 2], files, slotCount, runs, paused);

    server.stop();
    serverThread.join();
    if (pausedThread.joinable()) {
        pausedServer.stop();
        pausedThread.join();
    }
    return ok ? 0 : 1;
}
