// The gallery window against the command line on the same demo gallery:
// 100 pages of 40 thumbnail / full-size pairs, served in this process on
// 127.0.0.1 (or by any server given with --url), scanned to depth 2 with
// 4 page and 8 file slots. The server here answers every connection on a
// thread of its own, keeps connections open and sends bodies as they are:
// the demo server's few threads would leave a slot's connection waiting for
// another's keep-alive time-out, and its compression would cost more than
// the scan. It runs in a child process, so that its CPU time is counted
// neither for the window nor for the command line.
//
//   ./build/bench/bench_gallery_window [--runs N] [--pages N] [--full-width N]
//                                      [--url URL] [--full] [--window-only]
//
// The command line runs `tessellon-cli scan --download src` (pages and
// thumbnails, what the gallery face takes) in a process of its own, start-up
// included. The window is the gallery face offscreen: Start pressed, tabs
// made, thumbnails decoded; its clock stops when neither manager has work
// left and the picture decoders have nothing pending (the quiet ticks the
// window waits before it says "Done." are not counted; that time is printed
// apart). --full has the window get the full-size pictures too, against
// `--download both`. Runs alternate between the two; medians are printed with
// the ratio window / command line, and the CPU time (user + system) of
// each: less skewed than wall time when the machine is loaded. Target: at most 1.5. --window-only
// leaves the command line out, for a profile of the window alone.

#include "QuietMessages.h"
#include "ServerThread.h"
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "demo/DemoSite.h"
#include "gallery/PictureDecodePool.h"
#include "http/TransferLoop.h"

#include <httplib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kPageSlots = 4;
constexpr int kFileSlots = 8;

struct Options {
    int Runs = 3;
    int Pages = 100;
    int FullWidth = 1024;
    std::string Url; // empty: the demo gallery served here
    bool Full = false;
    bool WindowOnly = false; // for profiling the window alone
};

class SiteServer {
public:
    explicit SiteServer(std::map<std::string, DemoFile> files) : Files_(std::move(files)) {
        Server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
        Server_.set_keep_alive_max_count(1000000);
        Server_.set_tcp_nodelay(true); // headers and body go out in separate writes
        Server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            auto it = Files_.find(req.path);
            if (it == Files_.end() && !req.path.empty() && req.path.back() == '/')
                it = Files_.find(req.path + "index.html");
            if (it == Files_.end()) {
                res.status = 404;
                return;
            }
            const std::string& body = it->second.Bytes;
            res.set_content_provider(
                body.size(), it->second.ContentType.c_str(),
                [&body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    return sink.write(body.data() + offset, length);
                });
        });
        Running_.emplace(Server_);
    }
    int Port() const { return Running_->Port(); }

private:
    const std::map<std::string, DemoFile> Files_;
    httplib::Server Server_;
    std::optional<ServerThread> Running_; // started once the route is set
};

// The site made and served by a child process, which ends when Hold is
// closed. The site's files never live in this process: memory shared with a
// child after a fork costs a copy-on-write fault at each first write to a
// page, and the window would pay for the server's memory.
struct ServerProcess {
    pid_t Pid = -1;
    int Port = 0;
    int Hold = -1;
};

ServerProcess ServeInChild(const DemoOptions& demo) {
    int portPipe[2], holdPipe[2];
    if (::pipe2(portPipe, O_CLOEXEC) != 0 || ::pipe2(holdPipe, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(portPipe[0]);
        ::close(holdPipe[1]);
        {
            SiteServer server(BuildDemoSite(demo));
            const int port = server.Port();
            if (::write(portPipe[1], &port, sizeof port) != sizeof port) ::_exit(1);
            char c;
            while (::read(holdPipe[0], &c, 1) > 0) {
            }
        }
        ::_exit(0);
    }
    ::close(portPipe[1]);
    ::close(holdPipe[0]);
    ServerProcess server{pid, 0, holdPipe[1]};
    if (::read(portPipe[0], &server.Port, sizeof server.Port) != sizeof server.Port)
        server.Port = 0;
    ::close(portPipe[0]);
    return server;
}

double CpuSeconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds (user + system, all its threads) of process pid so far; 0 when
// there is none to read (a server given with --url).
double ProcessCpuSeconds(pid_t pid) {
    if (pid <= 0) return 0;
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (file == nullptr) return 0;
    char text[1024] = {0};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    // The fields after the name in parentheses: state is the 3rd field,
    // utime and stime the 14th and 15th.
    const char* rest = std::strrchr(text, ')');
    if (n == 0 || rest == nullptr) return 0;
    unsigned long long user = 0, system = 0;
    if (std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                    &system) != 2)
        return 0;
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

// Nanoseconds on a CPU of each of this process's threads, by tid, with the
// thread's name (the kernel's schedstat: finer than the ticks of stat).
struct ThreadTime {
    std::string Name;
    double Seconds = 0;
};
std::map<int, ThreadTime> ThreadTimes() {
    std::map<int, ThreadTime> times;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::FILE* stat = std::fopen((task.path() / "schedstat").c_str(), "r");
        std::FILE* comm = std::fopen((task.path() / "comm").c_str(), "r");
        unsigned long long ns = 0;
        char name[64] = {0};
        if (stat != nullptr && comm != nullptr && std::fscanf(stat, "%llu", &ns) == 1 &&
            std::fgets(name, sizeof name, comm) != nullptr) {
            std::string n(name);
            while (!n.empty() && n.back() == '\n')
                n.pop_back();
            times[std::atoi(task.path().filename().c_str())] = {n, double(ns) / 1e9};
        }
        if (stat != nullptr) std::fclose(stat);
        if (comm != nullptr) std::fclose(comm);
    }
    return times;
}

// The CPU seconds each thread (threads of one name summed) spent from before
// to after; the window's own thread is "gui".
std::string ThreadShares(const std::map<int, ThreadTime>& before,
                         const std::map<int, ThreadTime>& after) {
    std::map<std::string, double> byName;
    for (const auto& [tid, t] : after) {
        const auto was = before.find(tid);
        const double spent = t.Seconds - (was == before.end() ? 0 : was->second.Seconds);
        byName[tid == ::getpid() ? std::string("gui") : t.Name] += spent;
    }
    std::string text;
    for (const auto& [name, seconds] : byName) {
        if (seconds < 0.005) continue;
        char part[96];
        std::snprintf(part, sizeof part, "%s%s %.2f", text.empty() ? "" : ", ", name.c_str(),
                      seconds);
        text += part;
    }
    return text;
}

long FilesUnder(const std::string& folder) {
    long files = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) ++files;
    return files;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Timing {
    double Seconds = -1;
    double Cpu = 0;
};

// One scan by the command line into folder.
Timing CommandLineScan(const Options& o, const std::string& url, const std::string& folder) {
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(TESSELLON_CLI),
              {"scan", "--out", QString::fromStdString(folder), "--depth", "2", "--download",
               o.Full ? "both" : "src", "--stay-on-site", "--no-external", "--filter",
               "localhost:1", "--concurrency", QString::number(kPageSlots), "--file-concurrency",
               QString::number(kFileSlots), QString::fromStdString(url)});
    if (!cli.waitForFinished(600000) || cli.exitCode() != 0) {
        std::fprintf(stderr, "the command line failed: %s\n",
                     cli.readAllStandardError().toStdString().c_str());
        return {};
    }
    return {double(clock.nsecsElapsed()) / 1e9, CpuSeconds(RUSAGE_CHILDREN) - cpu};
}

struct WindowRun {
    double Seconds = -1; // to the end of the work
    double Cpu = 0;
    double DoneSeconds = -1; // to the window's idle state, quiet ticks included
    int Tabs = 0;
    std::string Threads; // CPU seconds by thread, to the end of the work
};

// One scan by a fresh gallery window whose storage folder is folder.
WindowRun WindowScan(const Options& o, const std::string& url, const std::string& folder) {
    std::filesystem::create_directories(folder);
    if (::chdir(folder.c_str()) != 0) return {}; // the storage folder defaults to ./Download
    QuietMessages messages;
    MainWindow form(&messages);
    form.IsShown = [] { return true; };
    form.resize(1024, 720);
    form.show();
    form.AfterCreate();
    form.ApplyVariant(APP_TESSELLON);
    GalleryController& gallery = form.Gallery();
    gallery.SetHtmlConcurrentDownloads(kPageSlots);
    gallery.SetFilesConcurrentDownloads(kFileSlots);
    gallery.SetAutoGetFullSized(o.Full);
    form.DepthSpinBox->setValue(2);
    form.ScanAddressBox->setEditText(QString::fromStdString(url));
    QCoreApplication::processEvents();

    PictureDecodePool& decoders = PictureDecodePool::Shared();
    const auto busy = [&] {
        return gallery.PageDownloader.HasWork() || gallery.FileDownloader.HasWork() ||
               decoders.Pending() > 0;
    };
    WindowRun run;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    double lastCpu = cpu;
    const auto threadsBefore = ThreadTimes();
    auto threadsAfter = threadsBefore;
    QElapsedTimer clock;
    clock.start();
    form.StartButton->click();
    // The work may seem over between two events and go on: the clock stops
    // at the last moment it was seen to end before the window went idle.
    double lastEnd = -1;
    bool wasBusy = true;
    while (gallery.IsWorking() && clock.elapsed() < 600000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const bool now = busy();
        if (wasBusy && !now) {
            lastEnd = double(clock.nsecsElapsed()) / 1e9;
            lastCpu = CpuSeconds(RUSAGE_SELF);
            threadsAfter = ThreadTimes();
        }
        wasBusy = now;
    }
    run.DoneSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (!gallery.IsWorking() && !busy()) run.Seconds = lastEnd;
    run.Cpu = lastCpu - cpu;
    run.Threads = ThreadShares(threadsBefore, threadsAfter);
    run.Tabs = form.Tabs->count();
    form.close();
    QCoreApplication::processEvents();
    return run;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_gallery_window [--runs N] [--pages N] [--full-width N] "
                         "[--url URL] [--full] [--window-only]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    KeepTransferMemory(); // as the programs do
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--full")
            o.Full = true;
        else if (a == "--window-only")
            o.WindowOnly = true;
        else if (a == "--runs" && hasValue)
            o.Runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--pages" && hasValue)
            o.Pages = std::atoi(argv[++i]);
        else if (a == "--full-width" && hasValue)
            o.FullWidth = std::atoi(argv[++i]);
        else if (a == "--url" && hasValue)
            o.Url = argv[++i];
        else
            return Usage();
    }

    ServerProcess server;
    std::string url = o.Url;
    if (url.empty()) {
        DemoOptions demo;
        demo.Pages = o.Pages;
        demo.Pairs = 40;
        demo.FullWidth = o.FullWidth;
        demo.FullHeight = o.FullWidth * 3 / 4;
        std::printf("making the demo gallery: %d pages of %d pairs, full size %dx%d\n", demo.Pages,
                    demo.Pairs, demo.FullWidth, demo.FullHeight);
        std::fflush(stdout);
        server = ServeInChild(demo); // before any Qt thread exists
        if (server.Port == 0) return 1;
        url = "http://127.0.0.1:" + std::to_string(server.Port) + "/";
    }

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char config[] = "/tmp/tessellon-gallerybench-config-XXXXXX";
    // The scans write to memory when they can: on a disk, what one run's
    // files cost depends on what was removed before (ext4 without a journal
    // skips the inodes of files removed in the last minutes, one by one).
    const bool shm = std::filesystem::is_directory("/dev/shm");
    std::string workTemplate =
        std::string(shm ? "/dev/shm" : "/tmp") + "/tessellon-gallerybench-work-XXXXXX";
    char* const work = workTemplate.data();
    if (!::mkdtemp(config) || !::mkdtemp(work)) return 1;
    ::setenv("TESSELLON_CONFIG_DIR", config, 1);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessellon"));

    std::printf("gallery %s; %d page + %d file slots; %s; nproc %ld\n", url.c_str(), kPageSlots,
                kFileSlots, o.Full ? "thumbnails and full-size pictures" : "thumbnails",
                ::sysconf(_SC_NPROCESSORS_ONLN));

    std::vector<double> cli, window, done, cliCpu, windowCpu;
    for (int run = 1; run <= o.Runs; ++run) {
        const std::string tag = std::to_string(run);
        const std::string cliFolder = std::string(work) + "/cli-" + tag;
        const double server0 = ProcessCpuSeconds(server.Pid);
        const Timing c = o.WindowOnly ? Timing{1, 1} : CommandLineScan(o, url, cliFolder);
        const double server1 = ProcessCpuSeconds(server.Pid);
        const long cliFiles = FilesUnder(cliFolder);
        std::filesystem::remove_all(cliFolder);

        const std::string winFolder = std::string(work) + "/window-" + tag;
        const WindowRun w = WindowScan(o, url, winFolder);
        const double server2 = ProcessCpuSeconds(server.Pid);
        if (::chdir(work) != 0) return 1;
        const long winFiles = FilesUnder(winFolder + "/Download");
        std::filesystem::remove_all(winFolder);
        if (c.Seconds < 0 || w.Seconds < 0) {
            std::fprintf(stderr, "run %d failed\n", run);
            return 1;
        }
        std::printf("run %d: command line %.2f s, %.2f s cpu (%ld files); window %.2f s, %.2f s "
                    "cpu (%ld files, %d tabs, idle after %.2f s)\n",
                    run, c.Seconds, c.Cpu, cliFiles, w.Seconds, w.Cpu, winFiles, w.Tabs,
                    w.DoneSeconds);
        std::printf("  window cpu s by thread: %s\n", w.Threads.c_str());
        if (server.Pid > 0) {
            // The least wall time the CPU time of scan and server allows on
            // this machine's cores.
            const double cores = double(::sysconf(_SC_NPROCESSORS_ONLN));
            std::printf(
                "  server cpu s: command line %.2f, window %.2f; bound (cpu + server) / %.0f "
                "cores: command line %.2f s, window %.2f s\n",
                server1 - server0, server2 - server1, cores, (c.Cpu + server1 - server0) / cores,
                (w.Cpu + server2 - server1) / cores);
        }
        std::fflush(stdout);
        cli.push_back(c.Seconds);
        cliCpu.push_back(c.Cpu);
        window.push_back(w.Seconds);
        windowCpu.push_back(w.Cpu);
        done.push_back(w.DoneSeconds);
    }
    const double c = Median(cli), w = Median(window);
    std::printf("medians of %d: command line %.2f s, %.2f s cpu; window %.2f s, %.2f s cpu "
                "(idle after %.2f s); cpu window / command line %.2f; wall window / command line "
                "%.2f (target <= 1.50) %s\n",
                o.Runs, c, Median(cliCpu), w, Median(windowCpu), Median(done),
                Median(windowCpu) / Median(cliCpu), w / c, w / c <= 1.5 ? "PASS" : "FAIL");

    if (server.Pid > 0) {
        ::close(server.Hold);
        ::waitpid(server.Pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    std::filesystem::remove_all(config, ec);
    return 0;
}
