// Rendering speed and memory: the scripted demo gallery (pages whose scripts
// fetch their list of pairs and build the thumbnails, half of them once the
// page is scrolled to its end) is served on 127.0.0.1, each page's HTML is
// fetched, and every page is rendered through WebPageRenderer. At most
// `capacity` renders are under way at once, so that a page's time runs from
// its Render call to its result and holds no wait for a free place.
//
// Reported: the median and 90th percentile milliseconds a page, the total,
// the pairs found in the rendered pages (the stand-in renderer that hands
// pages back as fetched finds none), and the peak memory: this process's
// VmHWM plus the largest sum of VmRSS over its descendants seen by a
// sampler every 50 ms (the browser engine renders in child processes).
//
//   bench_render [--pages N] [--capacity N]
#include "ProcessStatus.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"
#include "render/WebPageRenderer.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

int IntArg(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

// A field of /proc/PID/status in KiB; 0 when the process is gone.
long ProcessKiB(int pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(prefix)) return std::atol(line.c_str() + prefix.size());
    return 0;
}

// The sum of VmRSS over every descendant of this process, in KiB.
long DescendantsRssKiB() {
    std::map<int, std::vector<int>> children;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        std::getline(in, stat);
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size()) continue;
        children[std::atoi(stat.c_str() + close + 4)].push_back(std::atoi(name.c_str()));
    }
    long sum = 0;
    std::vector<int> todo{int(::getpid())};
    std::set<int> seen;
    while (!todo.empty()) {
        const int pid = todo.back();
        todo.pop_back();
        for (const int child : children[pid]) {
            if (!seen.insert(child).second) continue;
            sum += ProcessKiB(child, "VmRSS");
            todo.push_back(child);
        }
    }
    return sum;
}

// The pairs of page whose thumbnail stands inside the link to its full-size
// picture in html, as the plain gallery writes them.
int PairsFound(const DemoOptions& o, int page, const std::string& html) {
    int found = 0;
    for (int k = 1; k <= o.Pairs; ++k) {
        const std::string pair = "<a href=\"" + DemoFullPath(o, page, k).substr(9) +
                                 "\"><img src=\"" + DemoThumbPath(o, page, k).substr(9) + "\"";
        found += html.find(pair) != std::string::npos;
    }
    return found;
}

// The nearest-rank percentile: the smallest value with share of them at or below it.
double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(share * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

} // namespace

int main(int argc, char** argv) {
    const int pages = IntArg(argc, argv, "--pages", 100);
    const int capacity = IntArg(argc, argv, "--capacity", 4);
    // No display needed; as root the browser engine runs without its sandbox.
    WebPageRenderer::PrepareProcess();
    QGuiApplication app(argc, argv);

    // A page loads its thumbnails only: the full-size pictures are made
    // small, so that the gallery is built in a blink and its bytes do not
    // weigh on this process's peak memory. The thumbnails keep their size.
    DemoOptions o;
    o.Pages = pages;
    o.Scripted = true;
    o.FullWidth = 160;
    o.FullHeight = 120;
    std::printf("building the scripted demo gallery: %d pages of %d pairs\n", o.Pages, o.Pairs);
    std::fflush(stdout);
    DemoServer server(BuildDemoSite(o));
    if (!server.Start(0)) {
        std::fprintf(stderr, "cannot start the demo gallery server on 127.0.0.1\n");
        return 1;
    }
    std::vector<std::string> html(std::size_t(pages) + 1);
    {
        httplib::Client client("127.0.0.1", server.Port());
        for (int p = 1; p <= pages; ++p) {
            const auto res = client.Get(DemoPagePath(p));
            if (!res || res->status != 200) {
                std::fprintf(stderr, "cannot fetch %s\n", DemoPagePath(p).c_str());
                return 1;
            }
            html[std::size_t(p)] = res->body;
        }
    }

    std::atomic<bool> sampling{true};
    std::atomic<long> childPeakKiB{0};
    std::thread sampler([&] {
        while (sampling) {
            childPeakKiB = std::max(childPeakKiB.load(), DescendantsRssKiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });

    WebPageRenderer renderer;
    renderer.Prepare(PageRenderer::Setup{.Capacity = capacity});
    std::vector<double> ms;
    int next = 1, finished = 0, pairs = 0, complete = 0, problems = 0;
    QElapsedTimer total;
    std::function<void()> startNext = [&] {
        const int p = next++;
        const std::string url = server.BaseUrl() + DemoPagePath(p).substr(1);
        QElapsedTimer clock;
        clock.start();
        renderer.Render(url, html[std::size_t(p)], [&, p, url, clock](PageRenderer::Result r) {
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
            const int found = PairsFound(o, p, r.Html);
            pairs += found;
            complete += found == o.Pairs;
            if (found != o.Pairs)
                std::fprintf(stderr, "%s: %d of %d pairs, %.0f ms, %zu bytes read\n", url.c_str(),
                             found, o.Pairs, ms.back(), r.Html.size());
            if (!r.Problem.empty() && problems++ < 5)
                std::fprintf(stderr, "%s: %s\n", url.c_str(), r.Problem.c_str());
            if (next <= pages) startNext();
            if (++finished == pages) app.quit();
        });
    };
    QTimer::singleShot(0, [&] {
        total.start();
        for (int i = 0; i < capacity && next <= pages; ++i)
            startNext();
    });
    app.exec();
    const double totalSeconds = double(total.nsecsElapsed()) / 1e9;
    sampling = false;
    sampler.join();
    server.Stop();

    const long selfPeak = StatusKiB("VmHWM");
    std::printf("rendered %d pages, at most %d at once: median %.0f ms, 90th percentile %.0f ms "
                "a page, total %.2f s\n",
                pages, capacity, Percentile(ms, 0.5), Percentile(ms, 0.9), totalSeconds);
    std::printf("pairs found: %d of %d (every pair on %d of %d pages); %d pages with a problem\n",
                pairs, pages * o.Pairs, complete, pages, problems);
    std::printf("peak memory: %.1f MiB (this process %.1f MiB, child processes %.1f MiB at most)\n",
                double(selfPeak + childPeakKiB) / 1024, double(selfPeak) / 1024,
                double(childPeakKiB) / 1024);
    return 0;
}
