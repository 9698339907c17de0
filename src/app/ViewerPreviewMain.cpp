// viewer-preview: the library window alone, for trying it before the main
// window opens it from its "List" menu.
//
//   viewer-preview [FOLDER]
//
// Lists FOLDER, or the storage folder the settings hold, at once (as if
// Browse had been chosen). Options > "Preferences" stays disabled until a
// preferences dialog is connected to openPreferences below.

#include "gallery/ExceptionGuard.h"
#include "settings/SettingsKey.h"
#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>

namespace {

class TPreviewMessages : public IMessageSink {
public:
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
        QMessageBox::information(nullptr, "viewer-preview", QString::fromUtf8(text));
    }
};

// The storage folder as stored; nothing is written when it is missing.
std::string StoredStorageFolder() {
    TGVReg reg("Tessellon");
    reg.StoreDefaults = false;
    return reg.ReadString(Setting::StoragePath.Entry, "");
}

} // namespace

int main(int argc, char** argv) {
    TGuardedApplication app(argc, argv);
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: viewer-preview [FOLDER]\n");
        return 2;
    }
    TPreviewMessages messages;
    app.Messages = &messages;
    const std::string folder = argc == 2 ? std::string(argv[1]) : StoredStorageFolder();

    TGVViewer viewer(&messages);
    viewer.DownloadPath = [folder] { return folder; };
    // Alone, the library window is the program.
    viewer.setAttribute(Qt::WA_QuitOnClose, true);

    // Where the preferences dialog opens; its "show picture comments in full
    // screen display" check box is to follow viewer.OnShowCommentsChanged
    // and to call viewer.SetShowFullScreenComments.
    std::function<void()> openPreferences;
    QAction* preferences = viewer.Options1->addAction(QStringLiteral("Preferences"));
    preferences->setEnabled(bool(openPreferences));
    QObject::connect(preferences, &QAction::triggered, [&openPreferences] {
        if (openPreferences) openPreferences();
    });

    viewer.show();
    QTimer::singleShot(0, &viewer, [&viewer] { viewer.Browse(); });
    return app.exec();
}
