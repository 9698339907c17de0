// The main window's scan commands and the handlers of the controller's
// events: lists, statistics, lights, status texts and the exit sequence.
#include "app/MainWindow.h"

#include "app/ActivityLight.h"
#include "app/BatchedLines.h"
#include "app/EditComboBox.h"
#include "app/StorageCleanup.h"
#include "crawl/UrlParts.h"
#include "gallery/HelpContext.h"
#include "gallery/ScreenCursor.h"
#include "settings/SettingsTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QUrl>
#include <QWhatsThis>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr int kHistoryLimit = 16381;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// printf-style padding: "%-Ns".
QString PadRight(const std::string& s, int width) {
    QString q = Q(s);
    if (q.size() < width) q += QString(width - q.size(), ' ');
    return q;
}

// A typed address without a scheme ("host", "host:port/path") is taken as
// http://, as browsers take it; anything else is left as it is.
QString WithScheme(const QString& typed) {
    static const QRegularExpression kBareHost(QStringLiteral("^[^/:?#\\s]+(:[0-9]+)?([/?#].*)?$"));
    if (typed.contains(QLatin1String("://")) || !kBareHost.match(typed).hasMatch()) return typed;
    return QStringLiteral("http://") + typed;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// --- commands ---

void MainWindow::StartClicked() {
    StartButton->setEnabled(false);
    ReloadMark = 0;
    StartFromAddress(ScanAddressBox->currentText(), false, true);
    StartButton->setEnabled(true);
}

void MainWindow::ReloadClicked() {
    ReloadMark = 1;
    StartFromAddress(ScanAddressBox->currentText(), true, true);
}

void MainWindow::StopPagesClicked() {
    if (!Gallery_->FileDownloader.Working()) SetStatusText(ActivityStatusLabel, "stopping...");
    Tabs->setTabIcon(Tabs->indexOf(PageAnalysisTab), style()->standardIcon(QStyle::SP_BrowserStop));
    Gallery_->StopPages();
}

void MainWindow::StopFilesClicked() {
    if (!Gallery_->FileDownloader.Working()) return;
    if (!Gallery_->PageDownloader.Working()) SetStatusText(ActivityStatusLabel, "stopping...");
    // The panel's count comes back when the files have stopped.
    if (StorageStatusLabel->text() != "stopping...")
        StorageBeforeStop_ = StorageStatusLabel->text();
    SetStatusText(StorageStatusLabel, "stopping...");
    Tabs->setTabIcon(Tabs->indexOf(FileDownloadsTab),
                     style()->standardIcon(QStyle::SP_BrowserStop));
    Gallery_->StopFiles();
    Gallery_->CancelFullSizedRequests();
}

void MainWindow::StartFromAddress(const QString& typed, bool reuse, bool keepMark) {
    // The address is checked before anything of the last scan is cleared: a
    // refused one leaves the window as it was.
    const QString address = WithScheme(typed.trimmed());
    if (!address.isEmpty()) {
        UrlParts parts;
        if (!parts.Split(address.toStdString(), Gallery_->DownloadPath())) {
            // Other schemes (the browser's about:, data:, ...) are not scanned.
            if (address.contains(QLatin1String("://")) && Messages_ != nullptr)
                Messages_->ShowMessage("Invalid Url : " + address.toStdString());
            return;
        }
    }
    const bool schemeAdded = address != typed.trimmed();
    if (schemeAdded && ScanAddressBox->currentText() == typed) ScanAddressBox->setEditText(address);
    if (BeforeScan && !address.isEmpty()) BeforeScan(address);
    HomeTab->setEnabled(false);
    if (!keepMark) ReloadMark = 0;
    if (!Gallery_->IsWorking()) {
        Links_->SetText(QStringLiteral("searching..."));
        Searching_ = true;
        // The marks of the last scan's stops go with it.
        Tabs->setTabIcon(Tabs->indexOf(PageAnalysisTab), QIcon());
        Tabs->setTabIcon(Tabs->indexOf(FileDownloadsTab), QIcon());
        PageErrors_->SetText(QString());
        Received_->SetText(QString());
        FileErrors_->SetText(QString());
        SetStatusText(StorageStatusLabel, QString());
        SetStatusText(DetailStatusLabel, QString());
        SetStatusText(ActivityStatusLabel, " GET: " + ScanAddressBox->currentText());
        Gallery_->PageDownloader.Reinit();
        Gallery_->FileDownloader.Reinit();
    }
    if (schemeAdded) SetStatusText(DetailStatusLabel, "no scheme given: taken as " + address);
    const bool resume = std::exchange(ResumeNext_, false);
    // A new scan replaces the unfinished one of the storage folder, once the user agrees.
    if (!resume && !Gallery_->IsWorking() &&
        !ScanJournal::UnfinishedAddress(Gallery_->DownloadPath()).empty()) {
        if (Messages_ == nullptr ||
            !Messages_->Confirm("The storage folder holds an unfinished scan. Discard it and "
                                "start a new scan?"))
            return;
        ScanJournal::Discard(Gallery_->DownloadPath());
    }
    ReloadButton->setEnabled(false);
    Gallery_->SetReuseHtmlFiles(reuse);
    if (resume ? Gallery_->ResumeScan(address.toStdString())
               : Gallery_->StartScan(address.toStdString())) {
        using namespace LightColour;
        const QColor page = PageLight->Colour();
        if (page != Yellow && page != Olive)
            PageLight->SetColour(Maroon);
        else
            PageLight->SetColour(Gallery_->PageDownloader.Working() ? Red : Gray);
        const QColor file = FileLight->Colour();
        if (file == Yellow || file == Olive)
            FileLight->SetColour(Gallery_->FileDownloader.Working() ? Lime : Gray);
        ScanAddressBox->AddItem(ScanAddressBox->currentText());
        LinkCount = 0;
    }
    HomeTab->setEnabled(true);
}

void MainWindow::ReloadCheck() {
    UrlParts parts;
    if (!parts.Split(ScanAddressBox->currentText().toStdString(), Gallery_->DownloadPath())) return;
    if (FileExists(parts.LocalFileName())) {
        ReloadButton->setEnabled(true);
    } else {
        ReloadButton->setEnabled(false);
        StartClicked();
    }
}

// Only enables or disables Reload: a start page that failed or was not kept
// must not start the scan again by itself.
void MainWindow::ReloadAvailability() {
    UrlParts parts;
    if (!parts.Split(ScanAddressBox->currentText().toStdString(), Gallery_->DownloadPath())) return;
    ReloadButton->setEnabled(FileExists(parts.LocalFileName()));
}

void MainWindow::HistorySave() {
    if (!ScanAddressBox->currentText().contains("://"))
        ScanAddressBox->setEditText("http://" + ScanAddressBox->currentText());
    std::string text;
    for (int i = 0; i < ScanAddressBox->count(); ++i) {
        const std::string item = ScanAddressBox->itemText(i).toStdString();
        if (int(item.size() + text.size()) > kHistoryLimit) break;
        text += item + "\r\n";
    }
    Gallery_->SetHistoryScanner(text);
    ReloadCheck();
}

void MainWindow::PasteAndStart() {
    if (!IsShown()) return;
    ScanAddressBox->PasteItem();
    ReloadCheck();
    if (!ReloadButton->isEnabled()) StartFromAddress(ScanAddressBox->currentText(), false, false);
}

void MainWindow::StayOnSiteClicked(bool checked) {
    if (!IsShown()) return;
    Gallery_->SetStayOnSite(checked);
    if (!checked && !StayOnSiteWarned) {
        StayOnSiteWarned = true;
        if (Messages_ != nullptr)
            Messages_->ShowMessage(
                "disabling this option may produce interminable searches in any directions");
    }
}

// The desktop's own folders (the home folder and the user folders such as
// Music or Templates): empty or not, they are never cleaned away.
std::set<std::string> MainWindow::DesktopFolders() {
    std::set<std::string> folders{QDir::homePath().toStdString()};
    for (const auto location :
         {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
          QStandardPaths::DownloadLocation, QStandardPaths::MusicLocation,
          QStandardPaths::PicturesLocation, QStandardPaths::MoviesLocation,
          QStandardPaths::TemplatesLocation, QStandardPaths::PublicShareLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (!path.isEmpty()) folders.insert(QFile::encodeName(path).toStdString());
    }
    return folders;
}

void MainWindow::CleanStorageFolders() {
    const std::string storage = Gallery_->DownloadPath();
    const std::set<std::string> keep = DesktopFolders();
    setScreenCursor(ScreenCursor::Hourglass);
    const std::vector<std::string> found = EmptyFolders(storage, keep);
    restoreSavedCursor();
    if (found.empty()) {
        SetStatusText(ActivityStatusLabel, QStringLiteral("No empty folder to remove."));
        return;
    }
    // Asked first, with the folders the user is most likely to recognise:
    // the outermost ones come last in the list.
    std::string question = "Remove " + std::to_string(found.size()) + " empty folder" +
                           (found.size() == 1 ? "" : "s") + " from " + storage + "?\n";
    const std::size_t shown = std::min<std::size_t>(found.size(), 5);
    for (std::size_t i = found.size() - shown; i < found.size(); ++i)
        question += "\n" + found[i];
    if (found.size() > shown) question += "\n...";
    if (Messages_ == nullptr || !Messages_->Confirm(question)) {
        SetStatusText(ActivityStatusLabel, QStringLiteral("No folder removed."));
        return;
    }
    setScreenCursor(ScreenCursor::Hourglass);
    CleanEmptyFolders(
        storage,
        [this](const std::string& path) {
            SetStatusText(ActivityStatusLabel, Q(path));
            statusBar()->repaint();
        },
        keep);
    restoreSavedCursor();
    SetStatusText(ActivityStatusLabel, QStringLiteral("Done."));
}

QString MainWindow::HelpTopic(int context) {
    return context > 0 ? "#" + QString::number(context) : QString();
}

void MainWindow::ShowHelpTopic(int context) {
    const QString topic = HelpTopic(context);
    SetStatusText(DetailStatusLabel, topic);
    OpenUserGuide(topic.mid(1));
}

void MainWindow::OpenUserGuide(const QString& section) {
    if (!OnNavigate) return;
    QUrl url = QUrl::fromLocalFile(UserGuidePage());
    if (!section.isEmpty()) url.setFragment(section);
    Tabs->setCurrentWidget(HomeTab);
    OnNavigate(url.toString());
}

// --- lists ---

void MainWindow::FlushLists() {
    for (BatchedLines* lines :
         {Links_.get(), Mails_.get(), Received_.get(), PageErrors_.get(), FileErrors_.get()})
        lines->Flush();
}

void MainWindow::LinkFound(FoundLink& link) {
    // Columns are counted in characters: an address with accented letters
    // lines up with the others.
    link.WriteToFile = ResultsFile::PadRight(link.TypeLink, 5) + " " +
                       ResultsFile::PadRight(link.UrlFound, 80) + " " + link.FromUrl;
    ++LinkCount;
    Searching_ = false;
    Links_->Add(PadRight(link.TypeLink, 4) + " " + Q(link.UrlFound));
    SetStatusText(StorageStatusLabel, " Links found: " + QString::number(LinkCount));
}

void MainWindow::MailLinkFound(FoundLink& link) {
    if (link.TypeLink == "mail") {
        link.WriteToFile = link.UrlFound + ";" + link.HostName + ";" + link.FromUrl;
        ++LinkCount;
        Mails_->Add(PadRight(link.UrlFound, 40) + "  " + Q(link.FromUrl));
    }
    SetStatusText(StorageStatusLabel, " Mail addresses found: " + QString::number(LinkCount));
}

void MainWindow::SaveMailAddressesClicked() {
    const QString path =
        ChooseSaveFile ? ChooseSaveFile(QStringLiteral("Save mail addresses")) : QString();
    if (!path.isEmpty()) SaveMailAddresses(path);
}

bool MainWindow::SaveMailAddresses(const QString& path) {
    // The list shows the last lines only; the engine keeps every address.
    const MailAddressSet& addresses = Gallery_->MailAddresses;
    std::string error;
    if (!addresses.SaveTo(QFile::encodeName(path).toStdString(), error)) {
        if (Messages_ != nullptr)
            Messages_->ShowMessage("unable to save the mail addresses to " + path.toStdString() +
                                   ": " + error);
        return false;
    }
    SetStatusText(DetailStatusLabel,
                  QString::number(addresses.Count()) + " mail addresses saved to " + path);
    return true;
}

void MainWindow::UpdatedStats(const DownloadStats& stats) {
    QPlainTextEdit* box = stats.Tag == 1 ? PageStatsText : FileStatsText;
    const auto line = [](const char* label, int value) {
        return QString::fromLatin1(label) + QString::number(value);
    };
    box->setPlainText(QStringList{
        line("       in queue: ", stats.InQueue), line("    downloading: ", stats.Downloading),
        line("     to process: ", stats.ToAnalyze), line("           done: ", stats.Done),
        line("        retries: ", stats.Retries), line("         errors: ", stats.Errors),
        line("already on disk: ", stats.AlreadyOnDisk)}
                          .join('\n'));
}

void MainWindow::PageDownloadError(const DownloadError& error) {
    // The reason, as the command line prints it, when there is one.
    const QString reason = error.Message.empty() ? QString() : " " + Q(error.Message);
    PageErrors_->Add(QString::number(error.Code) + ": " + Q(error.Url) + reason + "   (" +
                     Q(error.ReferringUrl) + ")");
}

void MainWindow::FileDownloadError(const DownloadError& error) {
    FileErrors_->Add("Error " + QString::number(error.Code) + ": " + Q(error.Url) + " " +
                     Q(error.Message) + "  (" + Q(error.ReferringUrl) + ")");
}

void MainWindow::FileReceived(const std::string& url, bool alreadyOnDisk) {
    Received_->Add((alreadyOnDisk ? "on disk: " : "   done: ") + Q(url));
}

void MainWindow::PageAnalysing(const std::string& url, bool mail) {
    SetStatusText(ActivityStatusLabel, "ANALYSING: " + Q(url));
    if (mail) {
        Searching_ = false;
        Links_->Add(Q(url), false);
    }
}

// --- activity ---

void MainWindow::PageActivity(bool working) {
    if (working) {
        SetStatusText(ActivityStatusLabel, QStringLiteral(" Working..."));
        OptionsMenu->setEnabled(false);
        if (PageLight->Colour() == LightColour::Gray) PageLight->SetColour(LightColour::Maroon);
        return;
    }
    // Nothing was found: the list no longer says it is searching.
    if (Searching_) {
        Links_->SetText(QString());
        Searching_ = false;
    }
    // Links left out for a full page queue are told once, with their count.
    if (const int dropped = Gallery_->PagesNotQueued(); dropped > 0) {
        const QString told =
            QString::number(dropped) + " pages were not followed: the page queue was full";
        PageErrors_->Add(told);
        SetStatusText(DetailStatusLabel, told);
    }
    if (!Gallery_->FileDownloader.Working()) {
        Gallery_->PurgeTabs();
        SetStatusText(ActivityStatusLabel, QStringLiteral("Done."));
        OptionsMenu->setEnabled(true);
        if (Gallery_->SearchThumbs() && !Gallery_->ThumbsFound() && ReloadMark == 0)
            SetStatusText(ActivityStatusLabel,
                          QStringLiteral("NO JPEG THUMBNAILS FOUND ON THESE PAGES."));
    }
    ReloadAvailability();
    PageLight->SetColour(LightColour::Gray);
}

void MainWindow::FileActivity(bool working) {
    if (working) {
        SetStatusText(ActivityStatusLabel, QStringLiteral(" Working..."));
        OptionsMenu->setEnabled(false);
        FileLight->SetColour(LightColour::Green);
        return;
    }
    if (!Gallery_->PageDownloader.Working()) {
        Gallery_->PurgeTabs();
        SetStatusText(ActivityStatusLabel, QStringLiteral(" Done."));
        OptionsMenu->setEnabled(true);
    }
    if (StorageStatusLabel->text() == "stopping...")
        SetStatusText(StorageStatusLabel, StorageBeforeStop_);
    FileLight->SetColour(LightColour::Gray);
}

void MainWindow::TabsVisible(bool visible) {
    CloseTabsButton->setEnabled(visible);
    ThrowTabsButton->setEnabled(visible);
}

void MainWindow::ResumeClicked() {
    const std::string address = ScanJournal::UnfinishedAddress(Gallery_->DownloadPath());
    if (address.empty() || Gallery_->IsWorking()) return;
    ScanAddressBox->setEditText(QString::fromStdString(address));
    ResumeNext_ = true;
    StartFromAddress(QString::fromStdString(address), false, false);
    ResumeNext_ = false;
    UpdateResumeAction();
}

void MainWindow::UpdateResumeAction() {
    ResumeAction->setEnabled(
        !Gallery_->IsWorking() &&
        QFileInfo::exists(QString::fromStdString(ScanJournal::PathIn(Gallery_->DownloadPath()))));
}

void MainWindow::UserTick(bool) {
    if (OnBrowserTick) OnBrowserTick();
    UpdateResumeAction();
    if (BlinkPhase) {
        BlinkPhase = false;
        PageLight->Blink();
        FileLight->Blink();
    } else {
        BlinkPhase = true;
    }
    if (!WelcomeChecked) {
        WelcomeChecked = true;
        const QString welcome = WelcomePage();
        if (!welcome.isEmpty() &&
            !Gallery_->Store().ReadBool(Setting::DisableWelcomeMessage.Entry, false) && OnNavigate)
            OnNavigate(welcome);
    }
}

QString MainWindow::WelcomePage() const {
    if (WelcomeFile_.isEmpty()) return {};
    return QCoreApplication::applicationDirPath() + "/" + WelcomeFile_;
}

QString MainWindow::UserGuidePage() const {
    return QCoreApplication::applicationDirPath() + "/userguide.htm";
}

// --- exit ---

void MainWindow::closeEvent(QCloseEvent* event) {
    // Exiting ends with the controller's countdown, whose quit closes every
    // window: from then on the close is taken.
    if (Exiting_ && !Gallery_->Closing) {
        event->accept();
        restoreSavedCursor();
        return;
    }
    Tabs->setCurrentWidget(HomeTab);
    Tabs->repaint();
    if (!Gallery_->IsWorking() && !Exiting_) {
        event->accept();
        restoreSavedCursor();
        return;
    }
    event->ignore();
    if (Exiting_) return;
    Exiting_ = true;
    Tabs->hide();
    SetStatusText(ActivityStatusLabel, QStringLiteral("EXITING..."));
    if (Gallery_->PageDownloader.Working()) PageLight->SetColour(LightColour::Olive);
    if (Gallery_->FileDownloader.Working()) FileLight->SetColour(LightColour::Olive);
    Gallery_->Shutdown();
}
