// The four application variants of the main window: titles, what shows,
// and which handlers listen to the controller.
#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "viewer/PreferencesDialog.h"
#include "viewer/ViewerWindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

namespace {

// What each face calls itself and how it describes itself to its users.
struct FaceTexts {
    const char* Title;
    const char* Version;
    const char* Description;
    const char* WelcomeFile; // beside the program; none: no welcome page
};

FaceTexts TextsOf(AppVariant variant) {
    switch (variant) {
    case APP_SCRIVANE:
        return {"Scrivane", "version 3.03", "A web link scanner for Linux", nullptr};
    case APP_HARVELLO:
        return {"Harvello", "version 1.21", "A web file grabber for Linux", "welcome-harvello.htm"};
    case APP_MISSIVANT:
        return {"Missivant", "version 1.01", "A mail address collector for Linux",
                "welcome-missivant.htm"};
    case APP_TESSELLON:
        break;
    }
    return {"Tessellon", "version 1.04 rev b", "A picture-gallery web crawler for Linux",
            "welcome.htm"};
}

void ShowTab(QTabWidget* pages, QWidget* sheet, bool show) {
    const int index = pages->indexOf(sheet);
    if (index >= 0) pages->setTabVisible(index, show);
}

// Moves a group into another parent's layout.
void PlaceGroup(QGroupBox* group, QWidget* sheet) {
    if (group->parentWidget() == sheet) return;
    if (QLayout* old = group->parentWidget() != nullptr ? group->parentWidget()->layout() : nullptr)
        old->removeWidget(group);
    group->setParent(sheet);
    if (sheet->layout() != nullptr) sheet->layout()->addWidget(group);
    group->show();
}

} // namespace

void MainWindow::ApplyVariant(AppVariant variant) {
    // The title first: the settings key follows it, so that the face's
    // settings are read from the key it writes them to.
    const FaceTexts texts = TextsOf(variant);
    const QString title = QString::fromLatin1(texts.Title);
    const QString before = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(title);
    if (!Gallery_->ConfigureFor(variant)) {
        QGuiApplication::setApplicationDisplayName(before);
        return;
    }
    Gallery_->SetVariant(variant);
    ShowStoredSettings();
    const bool scrivane = variant == APP_SCRIVANE, harvello = variant == APP_HARVELLO;
    const bool missivant = variant == APP_MISSIVANT, tessellon = variant == APP_TESSELLON;

    Tabs->setTabText(Tabs->indexOf(HomeTab), QStringLiteral("Main"));
    About->setWindowTitle("About " + title);
    About->ProductName->setText(title);
    About->Version->setText(QString::fromLatin1(texts.Version));
    About->WebReference->setText(QString::fromLatin1(texts.Description));
    WelcomeFile_ =
        texts.WelcomeFile != nullptr ? QString::fromLatin1(texts.WelcomeFile) : QString();
    setWindowTitle(title);
    Viewer_->setWindowTitle(title + " Viewer");

    ViewerAction->setVisible(!scrivane);
    StayOnSiteCheckBox->setVisible(!tessellon);
    ShowTab(Tabs, PageAnalysisTab, harvello || missivant);
    ShowTab(Tabs, MailTab, missivant);
    SaveMailAction->setVisible(missivant);
    ShowTab(Tabs, FileDownloadsTab, harvello);
    // Each face shows the lights and stop buttons of the work it does; the
    // scanner group's layout closes the gaps of what is hidden.
    PageActivityPanel->setVisible(tessellon || scrivane);
    FileActivityPanel->setVisible(tessellon);
    FileActivityPanel->SetCaption(harvello ? QStringLiteral("getting files      ")
                                           : QStringLiteral("getting pics      "));
    CapturePanel->setVisible(tessellon);
    CloseTabsButton->setVisible(tessellon);
    ThrowTabsButton->setVisible(tessellon);
    ReloadButton->setVisible(!scrivane);
    StopFilesButton->setVisible(tessellon || harvello);
    StopFilesButton->setText(harvello ? QStringLiteral("stop file download")
                                      : QStringLiteral("stop"));
    StopPagesButton->setText(harvello || missivant ? QStringLiteral("stop html analysis")
                                                   : QStringLiteral("stop"));

    CleanFoldersAction->setVisible(!scrivane);
    StorageStatusLabel->setMinimumWidth(tessellon ? 500 : 300);
    BrowserGroup->setVisible(!scrivane);
    PlaceGroup(PageAnalysisGroup, scrivane ? HomeTab : PageAnalysisTab);
    Prefs_->ApplyVariant(variant);
    if (OnVariantApplied) OnVariantApplied(variant);
    WireVariant(variant);
}

void MainWindow::WireVariant(AppVariant variant) {
    GalleryController& c = *Gallery_;
    c.SetTabWidget(variant == APP_TESSELLON ? Tabs : nullptr);
    c.OnUserTimer = [this](Component*, bool aborting) { UserTick(aborting); };
    // The activity hooks serve every variant: they leave the managers' own
    // working notifications to the engine, which ends the scan on them.
    c.WorkingHook = [this](DownloadManager*, bool working) { PageActivity(working); };
    c.FileWorkingHook = [this](Component*, bool working) { FileActivity(working); };

    c.OnLinkFound = nullptr;
    if (variant == APP_SCRIVANE || variant == APP_HARVELLO)
        c.OnLinkFound = [this](Component*, FoundLink& link) { LinkFound(link); };
    if (variant == APP_MISSIVANT)
        c.OnLinkFound = [this](Component*, FoundLink& link) { MailLinkFound(link); };

    if (variant == APP_TESSELLON) {
        c.PageDownloader.OnError = nullptr;
        c.FileDownloader.OnError = nullptr;
        c.StatsHook = nullptr;
    } else {
        c.PageDownloader.OnError = [this](Component*, const DownloadError& error) {
            PageDownloadError(error);
        };
        c.StatsHook = [this](ScanEngine&, const DownloadStats& stats) { UpdatedStats(stats); };
    }
    if (variant == APP_HARVELLO || variant == APP_MISSIVANT) {
        c.FileDownloader.OnError = [this](Component*, const DownloadError& error) {
            FileDownloadError(error);
        };
        c.FileDownloader.OnDataReceived = [this](Component*, RequestSlot* get, bool onDisk) {
            FileReceived(get->Url.GetUrl(), onDisk);
        };
    }
    const bool mail = variant == APP_MISSIVANT;
    c.OnPageReceived = [this, mail](Component*, const std::string&, const std::string& url,
                                    const std::string&,
                                    const std::string&) { PageAnalysing(url, mail); };
}
