// The link scanner's window against the command line on one link-dense
// page: 20 000 links to pages of the same site, served on 127.0.0.1, scanned
// to depth 2 with a page queue of 10 (so 10 pages are followed and 19 990
// left out), offscreen.
//
//   ./build/bench/bench_window_scan
//
// BM_CommandLineScan runs `tessellon-cli scan` on the page in a process of
// its own (wall time, start-up included); BM_WindowScan presses Start in
// the Scrivane face and stops the clock when every link is listed and the
// followed pages are done. Target: the window within twice the command
// line's time.

#include "QuietMessages.h"
#include "ServerThread.h"
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "http/TransferLoop.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

constexpr int kLinks = 20000;
constexpr int kQueue = 10;

// The page server, on a port of its own, for the whole run.
class PageServer {
public:
    PageServer() {
        std::string page = "<html><body>\n";
        for (int i = 0; i < kLinks; ++i)
            page += "<a href=\"/pages/p" + std::to_string(i) + ".htm\">page " + std::to_string(i) +
                    "</a>\n";
        page += "</body></html>\n";
        // One request a connection, as the test servers answer.
        Server_.set_keep_alive_max_count(1);
        // Given with its length through a provider, the page goes out as it
        // is: a body set whole would be compressed first, which costs this
        // server more than the scan costs the client.
        Server_.Get("/", [page](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                page.size(), "text/html",
                [page](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    return sink.write(page.data() + offset, length);
                });
        });
        Server_.Get("/pages/.*", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>a page</body></html>", "text/html");
        });
        Running_.emplace(Server_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(Running_->Port()) + "/"; }

private:
    httplib::Server Server_;
    std::optional<ServerThread> Running_; // started once the routes are set
};

PageServer* gServer = nullptr;
std::string gWork;

void BM_CommandLineScan(benchmark::State& state) {
    int run = 0;
    for (auto _ : state) {
        const QString out = QString::fromStdString(gWork + "/cli-" + std::to_string(run++));
        QProcess cli;
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(TESSELLON_CLI),
                  {"scan", "--depth", "2", "--max-queue", QString::number(kQueue), "--out", out,
                   QString::fromStdString(gServer->Url())});
        if (!cli.waitForFinished(120000)) state.SkipWithError("the command line took over 2 min");
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_CommandLineScan)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime();

void BM_WindowScan(benchmark::State& state) {
    QuietMessages messages;
    MainWindow form(&messages);
    form.IsShown = [] { return true; };
    form.resize(1024, 720);
    form.show();
    form.AfterCreate();
    form.ApplyVariant(APP_SCRIVANE);
    form.Gallery().SetMaxQueueSize(kQueue);
    form.DepthSpinBox->setValue(2);
    DownloadStats pages;
    GalleryController& gallery = form.Gallery();
    const auto shown = gallery.StatsHook;
    gallery.StatsHook = [&](ScanEngine& engine, const DownloadStats& stats) {
        if (stats.Tag == 1) pages = stats;
        shown(engine, stats);
    };
    const auto finished = [&] {
        return form.LinkCount >= kLinks && pages.Done + pages.Errors >= kQueue + 1 &&
               pages.InQueue == 0 && pages.Downloading == 0 && pages.ToAnalyze == 0;
    };
    for (auto _ : state) {
        pages = {};
        form.ScanAddressBox->setEditText(QString::fromStdString(gServer->Url()));
        QElapsedTimer clock;
        clock.start();
        form.StartButton->click();
        while (!finished() && clock.elapsed() < 600000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!finished()) state.SkipWithError("the window's scan took over 10 min");
        state.SetIterationTime(seconds);
        state.counters["links_per_s"] = form.LinkCount / seconds;
        state.counters["pages_not_followed"] = gallery.PagesNotQueued();
        // The next run starts on an idle window.
        while (gallery.IsWorking())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    form.close();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_WindowScan)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    KeepTransferMemory(); // as the programs do
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char config[] = "/tmp/tessellon-scanbench-config-XXXXXX";
    char work[] = "/tmp/tessellon-scanbench-work-XXXXXX";
    if (!::mkdtemp(config) || !::mkdtemp(work)) return 1;
    ::setenv("TESSELLON_CONFIG_DIR", config, 1);
    gWork = work;
    if (::chdir(work) != 0) return 1; // the storage folder defaults to ./Download
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessellon"));
    {
        PageServer server;
        gServer = &server;
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        gServer = nullptr;
    }
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    std::filesystem::remove_all(config, ec);
    return 0;
}
