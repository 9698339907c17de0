// The four application variants of the main window: titles, what shows,
// and which handlers listen to the controller.
#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "viewer/PreferencesDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

namespace {

const char* Title(AppVariant variant) {
    switch (variant) {
    case APP_SCRIVANE:
        return "Scrivane";
    case APP_HARVELLO:
        return "Harvello";
    case APP_MISSIVANT:
        return "Missivant";
    case APP_TESSELLON:
        return "Tessellon";
    }
    return "Tessellon";
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
    if (!Gallery_->ConfigureFor(variant)) return;
    Gallery_->SetVariant(variant);
    const bool scrivane = variant == APP_SCRIVANE, harvello = variant == APP_HARVELLO;
    const bool missivant = variant == APP_MISSIVANT, tessellon = variant == APP_TESSELLON;

    Tabs->setTabText(Tabs->indexOf(HomeTab), QStringLiteral("Main"));
    // The title first: the settings key and the about box follow it.
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(Title(variant)));
    if (scrivane) About->Version->setText(QStringLiteral("version 3.03"));
    if (harvello) About->Version->setText(QStringLiteral("version 1.21"));
    if (missivant) About->Version->setText(QStringLiteral("version 1.01"));
    if (!tessellon) About->ProductName->setText(QGuiApplication::applicationDisplayName());
    setWindowTitle(QGuiApplication::applicationDisplayName());

    ViewerAction->setVisible(!scrivane);
    StayOnSiteCheckBox->setVisible(!tessellon);
    ShowTab(Tabs, PageAnalysisTab, harvello || missivant);
    ShowTab(Tabs, MailTab, missivant);
    SaveMailAction->setVisible(missivant);
    ShowTab(Tabs, FileDownloadsTab, harvello);
    if (harvello || missivant) PageActivityPanel->hide();
    FileActivityPanel->setVisible(tessellon);
    if (harvello) FileActivityPanel->SetCaption(QStringLiteral("getting files      "));
    if (tessellon) FileActivityPanel->SetCaption(QStringLiteral("getting pics      "));
    CapturePanel->setVisible(tessellon);
    CloseTabsButton->setVisible(tessellon);
    ThrowTabsButton->setVisible(tessellon);
    if (!tessellon) ReloadButton->setVisible(!scrivane);

    // The stop buttons move from their places before the move.
    const int fileStopLeft = StopFilesButton->x();
    StopFilesButton->setVisible(!scrivane);
    if (harvello) {
        StopFilesButton->setText(QStringLiteral("stop file download"));
        StopFilesButton->resize(100, StopFilesButton->height());
    }
    if (harvello || missivant) {
        StopFilesButton->move(ReloadButton->x(), StopFilesButton->y());
        StopPagesButton->setText(QStringLiteral("stop html analysis"));
        StopPagesButton->resize(100, StopPagesButton->height());
        StopPagesButton->move(fileStopLeft, StopPagesButton->y());
    }

    AddressAfterCapture_ = tessellon;
    AddressRightOf_ = scrivane ? StartButton : ReloadButton;
    LayoutScannerRow();

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
