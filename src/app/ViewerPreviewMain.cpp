// viewer-preview: the library window alone, for trying it before the main
// window opens it from its "List" menu.
//
//   viewer-preview [FOLDER]
//
// Lists FOLDER, or the storage folder the settings hold, at once (as if
// Browse had been chosen). Options > "Preferences" opens the preferences
// dialog over the stored settings.

#include "gallery/ExceptionGuard.h"
#include "gallery/GalleryController.h"
#include "settings/SettingsKey.h"
#include "viewer/PreferencesDialog.h"
#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

class PreviewMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
        QMessageBox::information(nullptr, "viewer-preview", QString::fromUtf8(text));
    }
};

// The storage folder as stored; nothing is written when it is missing.
std::string StoredStorageFolder() {
    SettingsKey reg("Tessellon");
    reg.StoreDefaults = false;
    return reg.ReadString(Setting::StoragePath.Entry, "");
}

} // namespace

int main(int argc, char** argv) {
    GuardedApplication app(argc, argv);
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: viewer-preview [FOLDER]\n");
        return 2;
    }
    PreviewMessages messages;
    app.Messages = &messages;
    const std::string folder = argc == 2 ? std::string(argv[1]) : StoredStorageFolder();

    ViewerWindow viewer(&messages);
    viewer.DownloadPath = [folder] { return folder; };
    // Alone, the library window is the program.
    viewer.setAttribute(Qt::WA_QuitOnClose, true);

    // The dialog edits the settings through a controller of their own,
    // made when first asked for; its comments check box and the viewer's
    // menu item follow each other.
    std::unique_ptr<GalleryController> thumbs;
    std::unique_ptr<PreferencesDialog> dialog;
    const std::function<void()> openPreferences = [&] {
        if (!dialog) {
            thumbs = std::make_unique<GalleryController>(&messages);
            thumbs->SetTimerEnabled(false);
            dialog = std::make_unique<PreferencesDialog>(*thumbs, &messages, &viewer.List());
            dialog->MainWindowVisible = [] { return false; }; // no scan window here
            dialog->OnShowComments = [&viewer](bool on) { viewer.SetShowFullScreenComments(on); };
            viewer.OnShowCommentsChanged = [&dialog](bool on) {
                if (dialog) dialog->SetShowComments(on);
            };
        }
        dialog->show();
        dialog->raise();
    };
    QAction* preferences = viewer.OptionsMenu->addAction(QStringLiteral("Preferences"));
    QObject::connect(preferences, &QAction::triggered,
                     [&openPreferences] { RunGuarded(openPreferences, nullptr); });

    viewer.show();
    QTimer::singleShot(0, &viewer, [&viewer] { viewer.Browse(); });
    return app.exec();
}
