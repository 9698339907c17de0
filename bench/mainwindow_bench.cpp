// The main window offscreen: how fast the links list takes what a scan
// finds, what it costs in memory over 100 000 links, and how long it takes
// from constructing the window to its first paint.
//
//   ./build-mwbench/bench/bench_mainwindow
//
// Targets: at least 20 000 links a second through the links handler, so
// the window never holds a scan back; the resident set flat over the run
// (the list keeps at most 1000 lines). The machine's other load shows in
// the Time column (wall) against CPU (this thread's).

#include "ProcessStatus.h"
#include "QuietMessages.h"
#include "app/MainWindow.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTabWidget>

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kLinks = 100000;
// Links a page yields at once; the event loop runs between pages as it
// does between the scanner's results.
constexpr int kLinksPerPage = 100;

// Addresses of the lengths galleries use (about 60 to 100 characters),
// each page's links referring to that page.
std::vector<FoundLink> MakeLinks(int count) {
    static const char* const kTypes[] = {"jpg", "htm", "img", "gif", "html"};
    static const char* const kParts[] = {"galleries", "photos/summer", "albums/2024/travel",
                                         "pics/collections/landscape"};
    std::vector<FoundLink> links(static_cast<std::size_t>(count));
    unsigned seed = 7;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int host = int(seed % 400), page = i / kLinksPerPage;
        const std::string site = "http://www.host" + std::to_string(host) + "-gallery.example/";
        const std::string part = kParts[(seed >> 8) % 4];
        FoundLink& link = links[std::size_t(i)];
        link.TypeLink = kTypes[(seed >> 12) % 5];
        link.UrlFound = site + part + "/set-" + std::to_string(page % 997) + "/IMG_" +
                        std::to_string(100000 + i) + "_large." +
                        (link.TypeLink == "htm" ? "htm" : "jpg");
        link.HostName = "www.host" + std::to_string(host) + "-gallery.example";
        link.FromUrl = site + part + "/set-" + std::to_string(page % 997) + "/index.html";
    }
    return links;
}

// Paint events reaching the window or anything in it.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : Window_(window) {}
    bool Painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == Window_)
            Painted = true;
        return false;
    }

private:
    QWidget* Window_;
};

std::string gConfig; // the settings folder every start but a first one shares
std::vector<std::string> gFirstStartFolders;

// From before constructing the window to its first paint, AfterCreate
// included. first_start:1 starts each time on an empty settings folder, as
// on a user's first start (the defaults are written back); first_start:0
// on the settings an earlier start left. The very first repetition also
// pays for the process's cold caches (fonts, media back end).
void BM_StartToFirstPaint(benchmark::State& state) {
    const bool firstStart = state.range(0) != 0;
    if (!firstStart) {
        QuietMessages messages;
        MainWindow earlier(&messages); // leaves its settings behind
        earlier.AfterCreate();
    }
    for (auto _ : state) {
        char fresh[] = "/tmp/tessellon-mwbench-first-XXXXXX";
        if (firstStart && ::mkdtemp(fresh) != nullptr) {
            ::setenv("TESSELLON_CONFIG_DIR", fresh, 1);
            gFirstStartFolders.emplace_back(fresh);
        }
        QuietMessages messages;
        QElapsedTimer clock;
        clock.start();
        MainWindow form(&messages);
        const double constructed = double(clock.nsecsElapsed()) / 1e6;
        PaintWatch watch(&form);
        qApp->installEventFilter(&watch);
        form.resize(1024, 720);
        form.show();
        form.AfterCreate();
        const double afterCreate = double(clock.nsecsElapsed()) / 1e6;
        while (!watch.Painted && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double painted = double(clock.nsecsElapsed()) / 1e6;
        qApp->removeEventFilter(&watch);
        if (!watch.Painted) state.SkipWithError("no paint within 10 s");
        state.SetIterationTime(painted / 1e3);
        state.counters["construct_ms"] = constructed;
        state.counters["show_aftercreate_ms"] = afterCreate - constructed;
        state.counters["first_paint_ms"] = painted;
        form.close();
        QCoreApplication::processEvents();
        if (firstStart) ::setenv("TESSELLON_CONFIG_DIR", gConfig.c_str(), 1);
    }
}
BENCHMARK(BM_StartToFirstPaint)
    ->ArgName("first_start")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(4)
    ->UseManualTime();

// 100 000 links through the link scanner's handler with the analysis tab
// showing, events processed after each page's links: links a second and
// the resident set's growth over the run.
void BM_LinkFound(benchmark::State& state) {
    QuietMessages messages;
    MainWindow form(&messages);
    form.resize(1024, 720);
    form.show();
    form.AfterCreate();
    form.ApplyVariant(APP_SCRIVANE);
    form.Tabs->setCurrentWidget(form.PageAnalysisTab);
    std::vector<FoundLink> links = MakeLinks(kLinks);
    // A first pass brings the list and its caches to their steady size.
    for (int i = 0; i < 2 * kLinksPerPage * 10; ++i) {
        FoundLink link = links[std::size_t(i)];
        form.LinkFound(link);
    }
    QCoreApplication::processEvents();
    ::malloc_trim(0);
    const long rssBefore = StatusKiB("VmRSS");
    const std::size_t heapBefore = mallinfo2().uordblks;
    long rssHalf = 0;
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kLinks; ++i) {
            FoundLink& link = links[std::size_t(i)];
            form.LinkFound(link);
            // The scanner's link dies after the handler, the line for the
            // results file with it.
            std::string().swap(link.WriteToFile);
            if ((i + 1) % kLinksPerPage == 0) QCoreApplication::processEvents();
            if (i + 1 == kLinks / 2) rssHalf = StatusKiB("VmRSS");
        }
        QCoreApplication::processEvents();
        seconds = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
    }
    ::malloc_trim(0);
    const long rssAfter = StatusKiB("VmRSS");
    state.counters["heap_growth_MB"] = double(mallinfo2().uordblks - heapBefore) / 1e6;
    state.counters["links_per_s"] = kLinks / seconds;
    state.counters["rss_before_MB"] = double(rssBefore) / 1024.0;
    state.counters["rss_after_MB"] = double(rssAfter) / 1024.0;
    state.counters["rss_growth_MB"] = double(rssAfter - rssBefore) / 1024.0;
    // A leak grows in both halves; caches filling up only in the first.
    state.counters["rss_growth_2nd_half_MB"] = double(rssAfter - rssHalf) / 1024.0;
    state.counters["links_counted"] = form.LinkCount;
    form.close();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_LinkFound)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char config[] = "/tmp/tessellon-mwbench-config-XXXXXX";
    char work[] = "/tmp/tessellon-mwbench-work-XXXXXX";
    if (!::mkdtemp(config) || !::mkdtemp(work)) return 1;
    ::setenv("TESSELLON_CONFIG_DIR", config, 1);
    gConfig = config;
    if (::chdir(work) != 0) return 1; // the storage folder defaults to ./Download
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessellon"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    std::filesystem::remove_all(config, ec);
    for (const std::string& folder : gFirstStartFolders)
        std::filesystem::remove_all(folder, ec);
    return 0;
}
