// tessellon: the windowed program.
//
//   tessellon [--demo] [--variant scrivane|harvello|missivant|tessellon]
//
// --demo serves the built-in demo gallery on 127.0.0.1 at the address the
// default settings name and puts it on top of the scan address box.
// --variant applies another application variant after start-up.

#include "app/BrowserPanel.h"
#include "app/BrowserWiring.h"
#include "app/DialogMessages.h"
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "demo/DemoOnDemand.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"
#include "gallery/ExceptionGuard.h"
#include "http/TransferLoop.h"
#include "settings/SettingsTable.h"

#include <QLabel>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

std::optional<AppVariant> VariantNamed(const std::string& name) {
    if (name == "scrivane") return APP_SCRIVANE;
    if (name == "harvello") return APP_HARVELLO;
    if (name == "missivant") return APP_MISSIVANT;
    if (name == "tessellon") return APP_TESSELLON;
    return std::nullopt;
}

const char* const kUsage =
    "usage: tessellon [--demo] [--variant scrivane|harvello|missivant|tessellon]\n"
    "   or: tessellon --help | --version\n"
    "\n"
    "The picture-gallery web crawler's window.\n"
    "\n"
    "  --demo       serve the built-in demo gallery on 127.0.0.1 and put its address\n"
    "               on top of the scan address box\n"
    "  --variant V  switch to another face of the program after start-up\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before any window system is needed.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::puts("tessellon " TESSELLON_VERSION); // defined by packaging/CMakeLists.txt
            return 0;
        }
    }
    KeepTransferMemory();
    // The web engine's sandbox cannot run as root; it must know before it starts.
    if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    GuardedApplication app(argc, argv);
    // The settings folder's name; the title the windows show is the
    // display name, which follows the variant.
    QCoreApplication::setApplicationName(QStringLiteral("Tessellon"));
    // Ties the windows to the menu entry (the icon on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tessellon.Tessellon"));

    bool demo = false;
    std::optional<AppVariant> variant;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--demo") {
            demo = true;
        } else if (a == "--variant" && i + 1 < argc) {
            variant = VariantNamed(argv[++i]);
            if (!variant) return Usage();
        } else {
            return Usage();
        }
    }

    DialogMessages messages;
    app.Messages = &messages;
    MainWindow form(&messages);
    form.resize(1024, 720);
    form.show();
    form.AfterCreate();
    BrowserPanel* browser = AttachBrowser(form, &messages);
    if (variant) form.ApplyVariant(*variant);

    // The demo gallery is also served, without --demo, as soon as one of its
    // addresses is scanned or loaded in the browser: a first start offers
    // them in the scan box and as the browser's page.
    DemoOnDemand onDemand(kDemoGalleryHome);
    const auto serveDemoFor = [&onDemand](const QString& address) {
        onDemand.ServeFor(address.toStdString());
    };
    std::unique_ptr<DemoServer> server;
    if (!demo) {
        form.BeforeScan = serveDemoFor;
        browser->BeforeLoad = serveDemoFor;
    } else {
        server = std::make_unique<DemoServer>(BuildDemoSite(DemoOptions{}));
        const int port = QUrl(QString::fromLatin1(kDemoGalleryHome)).port();
        if (server->Start(port)) {
            // On top of the box without going through the history: a new
            // top entry would be scanned at once, and the user is to press Start.
            form.ScanAddressBox->insertItem(0, QString::fromLatin1(kDemoGalleryHome));
            form.ScanAddressBox->setCurrentIndex(0);
            form.SetStatusText(form.ActivityStatusLabel,
                               QStringLiteral("The demo gallery is served at ") + kDemoGalleryHome +
                                   ": press Start to scan it.");
        } else {
            messages.ShowMessage("The demo gallery cannot be served: port " + std::to_string(port) +
                                 " of 127.0.0.1 is taken by another program. Close it (or the "
                                 "other Tessellon) and start again.");
            server.reset();
        }
    }
    const int code = app.exec();
    if (server) server->Stop();
    return code;
}
