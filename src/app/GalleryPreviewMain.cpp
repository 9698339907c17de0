// gallery-preview: a page control driven by the gallery controller, for
// trying the gallery before the main window exists. Without an address it
// serves the built-in demo gallery in-process and scans its index, two
// levels deep.
//
//   gallery-preview [URL] [--depth N] [--quit-when-done] [--report]
//                   [--screenshot DIR]
//
// --quit-when-done ends the program once both download managers are idle;
// --report then prints one line per tab and per tile; --screenshot saves
// the window as DIR/tab.png before quitting.

#include "demo/DemoServer.h"
#include "demo/DemoSite.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/GalleryController.h"
#include "gallery/GalleryTabPage.h"

#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Messages go to a dialog, or to the terminal when nobody watches.
class PreviewMessages : public MessageSink {
public:
    bool Quiet = false;
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
        if (!Quiet) QMessageBox::information(nullptr, "gallery-preview", QString::fromUtf8(text));
    }
};

struct PreviewOptions {
    std::string Url;
    int Depth = 2;
    bool QuitWhenDone = false;
    bool Report = false;
    QString ScreenshotDir;
};

bool ParseArguments(int argc, char** argv, PreviewOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--depth" && i + 1 < argc) {
            options.Depth = std::atoi(argv[++i]);
            if (options.Depth < 1 || options.Depth > 100) return false;
        } else if (a == "--quit-when-done") {
            options.QuitWhenDone = true;
        } else if (a == "--report") {
            options.Report = true;
        } else if (a == "--screenshot" && i + 1 < argc) {
            options.ScreenshotDir = QString::fromLocal8Bit(argv[++i]);
        } else if (!a.empty() && a[0] != '-' && options.Url.empty()) {
            options.Url = a;
        } else {
            return false;
        }
    }
    return true;
}

void PrintReport(GalleryController& gallery, QTabWidget& pages) {
    for (int i = 0; i < pages.count(); ++i) {
        auto* page = dynamic_cast<GalleryTabPage*>(pages.widget(i));
        if (page == nullptr) continue;
        std::printf("tab %s caption %s tiles %d\n", page->PageAddress().toUtf8().constData(),
                    pages.tabText(i).toUtf8().constData(), page->TileCount());
        GalleryTab* tab = gallery.Model().FindTab(page->TabId());
        for (int p = 0; tab != nullptr && p < tab->Thumbs.Count(); ++p) {
            if (ThumbTile* tile = page->Tile(p))
                std::printf("tile %s: %s\n", tile->accessibleName().toUtf8().constData(),
                            tile->accessibleDescription().toUtf8().constData());
        }
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    GuardedApplication app(argc, argv);
    PreviewOptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "usage: gallery-preview [URL] [--depth N] [--quit-when-done] "
                             "[--report] [--screenshot DIR]\n");
        return 2;
    }
    PreviewMessages messages;
    messages.Quiet = options.QuitWhenDone;
    app.Messages = &messages;

    std::unique_ptr<DemoServer> demo;
    if (options.Url.empty()) {
        demo = std::make_unique<DemoServer>(BuildDemoSite(DemoOptions{}));
        if (!demo->Start()) {
            std::fprintf(stderr, "gallery-preview: the demo gallery could not be served\n");
            return 1;
        }
        options.Url = demo->BaseUrl();
    }

    QMainWindow window;
    window.setWindowTitle("Tessellon gallery preview");
    auto* pages = new QTabWidget;
    pages->setAccessibleName("gallery tabs");
    window.setCentralWidget(pages);
    auto* status = new QLabel(" Working...");
    status->setAccessibleName("status");
    window.statusBar()->addWidget(status, 1);
    window.resize(1024, 700);

    GalleryController gallery(&messages);
    gallery.SetTabWidget(pages);
    if (!gallery.ConfigureFor(APP_TESSELLON)) return 1;
    gallery.Grabber::SetDepthSearchLevel(options.Depth);
    window.show();

    bool started = false;
    gallery.OnUserTimer = [&](Component*, bool aborting) {
        if (aborting || !started || gallery.IsWorking()) return;
        started = false;
        status->setText(gallery.ThumbsFound() ? " Done."
                                              : "NO JPEG THUMBNAILS FOUND ON THESE PAGES.");
        if (!options.QuitWhenDone) return;
        if (options.Report) PrintReport(gallery, *pages);
        if (!options.ScreenshotDir.isEmpty()) {
            QDir().mkpath(options.ScreenshotDir);
            window.grab().save(options.ScreenshotDir + "/tab.png");
        }
        app.quit();
    };
    QTimer::singleShot(0, [&] {
        started = gallery.StartScan(options.Url);
        if (!started) {
            status->setText("the scan could not start");
            if (options.QuitWhenDone) app.exit(1);
        }
    });
    const int code = app.exec();
    gallery.Shutdown();
    return code;
}
