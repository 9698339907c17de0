// The main window's scan commands and the handlers of the controller's
// events: lists, statistics, lights, status texts and the exit sequence.
#include "app/MainWindow.h"

#include "app/ActivityLight.h"
#include "app/EditComboBox.h"
#include "app/MemoLines.h"
#include "app/StorageCleanup.h"
#include "crawl/CrackUrl.h"
#include "gallery/HelpContext.h"
#include "gallery/ScreenCursor.h"
#include "settings/SettingsTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QWhatsThis>

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr int kMemoLines = 1000;
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

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// --- commands ---

void TForm1::Button1Click() {
    Button1->setEnabled(false);
    ReloadMark = 0;
    StartFromAddress(EditCombobox1->currentText(), false, true);
    Button1->setEnabled(true);
}

void TForm1::Button3Click() {
    ReloadMark = 1;
    StartFromAddress(EditCombobox1->currentText(), true, true);
}

void TForm1::Button9Click() {
    if (!ThumbScan1->FileDownloader.Working()) SetStatusText(StatusPanel2, "stopping...");
    PageControl1->setTabIcon(PageControl1->indexOf(TabSheet2),
                             style()->standardIcon(QStyle::SP_BrowserStop));
    ThumbScan1->StopPages();
}

void TForm1::Button10Click() {
    if (!ThumbScan1->FileDownloader.Working()) return;
    if (!ThumbScan1->PageDownloader.Working()) SetStatusText(StatusPanel2, "stopping...");
    SetStatusText(StatusPanel0, "stopping...");
    PageControl1->setTabIcon(PageControl1->indexOf(TabSheet5),
                             style()->standardIcon(QStyle::SP_BrowserStop));
    ThumbScan1->StopFiles();
    ThumbScan1->CancelFullSizedRequests();
}

void TForm1::StartFromAddress(const QString& address, bool reuse, bool keepMark) {
    TabSheet1->setEnabled(false);
    if (!keepMark) ReloadMark = 0;
    if (!ThumbScan1->IsWorking()) {
        Links_->SetText(QStringLiteral("searching..."));
        PageErrors_->SetText(QString());
        Received_->SetText(QString());
        FileErrors_->SetText(QString());
        SetStatusText(StatusPanel0, QString());
        SetStatusText(StatusPanel1, QString());
        SetStatusText(StatusPanel2, " GET: " + EditCombobox1->currentText());
        ThumbScan1->PageDownloader.Reinit();
        ThumbScan1->FileDownloader.Reinit();
    }
    Button3->setEnabled(false);
    ThumbScan1->SetReuseHtmlFiles(reuse);
    if (ThumbScan1->StartScan(address.toStdString())) {
        using namespace LightColour;
        const QColor page = Shape1->Colour();
        if (page != Yellow && page != Olive)
            Shape1->SetColour(Maroon);
        else
            Shape1->SetColour(ThumbScan1->PageDownloader.Working() ? Red : Gray);
        const QColor file = Shape3->Colour();
        if (file == Yellow || file == Olive)
            Shape3->SetColour(ThumbScan1->FileDownloader.Working() ? Lime : Gray);
        EditCombobox1->AddItem(EditCombobox1->currentText());
        LinkCount = 0;
    }
    TabSheet1->setEnabled(true);
}

void TForm1::ReloadCheck() {
    TCrackUrl parts;
    if (!parts.Crack(EditCombobox1->currentText().toStdString(), ThumbScan1->DownloadPath()))
        return;
    if (FileExists(parts.LocalFileName())) {
        Button3->setEnabled(true);
    } else {
        Button3->setEnabled(false);
        Button1Click();
    }
}

// Only enables or disables Reload: a start page that failed or was not kept
// must not start the scan again by itself.
void TForm1::ReloadAvailability() {
    TCrackUrl parts;
    if (!parts.Crack(EditCombobox1->currentText().toStdString(), ThumbScan1->DownloadPath()))
        return;
    Button3->setEnabled(FileExists(parts.LocalFileName()));
}

void TForm1::HistorySave() {
    if (!EditCombobox1->currentText().contains("://"))
        EditCombobox1->setEditText("http://" + EditCombobox1->currentText());
    std::string text;
    for (int i = 0; i < EditCombobox1->count(); ++i) {
        const std::string item = EditCombobox1->itemText(i).toStdString();
        if (int(item.size() + text.size()) > kHistoryLimit) break;
        text += item + "\r\n";
    }
    ThumbScan1->SetHistoryScanner(text);
    ReloadCheck();
}

void TForm1::PasteAndStart() {
    if (!IsShown()) return;
    EditCombobox1->PasteItem();
    ReloadCheck();
    if (!Button3->isEnabled()) StartFromAddress(EditCombobox1->currentText(), false, false);
}

void TForm1::StayOnSiteClicked(bool checked) {
    if (!IsShown()) return;
    ThumbScan1->SetStayOnSite(checked);
    if (!checked && !StayOnSiteWarned) {
        StayOnSiteWarned = true;
        if (Messages_ != nullptr)
            Messages_->ShowMessage(
                "disabling this option may produce interminable searches in any directions");
    }
}

void TForm1::CleanStorageFolders() {
    setScreenCursor(TScreenCursor::Hourglass);
    CleanEmptyFolders(ThumbScan1->DownloadPath(), [this](const std::string& path) {
        SetStatusText(StatusPanel2, Q(path));
        statusBar()->repaint();
    });
    restoreSavedCursor();
    SetStatusText(StatusPanel2, QStringLiteral("Done."));
}

QString TForm1::HelpTopic(int context) {
    return context > 0 ? "#" + QString::number(context) : QString();
}

void TForm1::ShowHelpTopic(int context) {
    SetStatusText(StatusPanel1, HelpTopic(context));
}

// --- lists ---

void TForm1::FlushLists() {
    for (TMemoLines* lines :
         {Links_.get(), Mails_.get(), Received_.get(), PageErrors_.get(), FileErrors_.get()})
        lines->Flush();
}

void TForm1::LinkFound(TLinkFound& link) {
    char line[4096];
    std::snprintf(line, sizeof line, "%-5s %-80s %s", link.TypeLink.c_str(), link.UrlFound.c_str(),
                  link.FromUrl.c_str());
    link.WriteToFile = line;
    ++LinkCount;
    Links_->Add(PadRight(link.TypeLink, 4) + " " + Q(link.UrlFound));
    SetStatusText(StatusPanel0, " Links found: " + QString::number(LinkCount));
}

void TForm1::MailLinkFound(TLinkFound& link) {
    if (link.TypeLink == "mail") {
        link.WriteToFile = link.UrlFound + ";" + link.HostName + ";" + link.FromUrl;
        ++LinkCount;
        Mails_->Add(PadRight(link.UrlFound, 40) + "  " + Q(link.FromUrl));
    }
    SetStatusText(StatusPanel0, " Mail addresses found: " + QString::number(LinkCount));
}

void TForm1::UpdatedStats(int tag, int inQueue, int downloading, int toAnalyze, int done,
                          int retries, int errors, int alreadyOnDisk) {
    QPlainTextEdit* memo = tag == 1 ? Memo1 : Memo2;
    const auto line = [](const char* label, int value) {
        return QString::fromLatin1(label) + QString::number(value);
    };
    memo->setPlainText(
        QStringList{line("       in queue: ", inQueue), line("    downloading: ", downloading),
                    line("     to process: ", toAnalyze), line("           done: ", done),
                    line("        retries: ", retries), line("         errors: ", errors),
                    line("already on disk: ", alreadyOnDisk)}
            .join('\n'));
}

void TForm1::PageDownloadError(std::uint32_t code, const std::string& url,
                               const std::string& referringUrl) {
    PageErrors_->Add(QString::number(code) + ": " + Q(url) + "   (" + Q(referringUrl) + ")");
}

void TForm1::FileDownloadError(std::uint32_t code, const std::string& url,
                               const std::string& message, const std::string& referringUrl) {
    FileErrors_->Add("Error " + QString::number(code) + ": " + Q(url) + " " + Q(message) + "  (" +
                     Q(referringUrl) + ")");
}

void TForm1::FileReceived(const std::string& url, bool alreadyOnDisk) {
    Received_->Add((alreadyOnDisk ? "on disk: " : "   done: ") + Q(url));
}

void TForm1::PageAnalysing(const std::string& url, bool mail) {
    SetStatusText(StatusPanel2, "ANALYSING: " + Q(url));
    if (mail) Links_->Add(Q(url), false);
}

// --- activity ---

void TForm1::PageActivity(bool working) {
    if (working) {
        SetStatusText(StatusPanel2, QStringLiteral(" Working..."));
        OptionsMenu->setEnabled(false);
        if (Shape1->Colour() == LightColour::Gray) Shape1->SetColour(LightColour::Maroon);
        return;
    }
    if (!ThumbScan1->FileDownloader.Working()) {
        ThumbScan1->PurgeTabs();
        SetStatusText(StatusPanel2, QStringLiteral("Done."));
        OptionsMenu->setEnabled(true);
        if (ThumbScan1->SearchThumbs() && !ThumbScan1->ThumbsFound() && ReloadMark == 0)
            SetStatusText(StatusPanel2, QStringLiteral("NO JPEG THUMBNAILS FOUND ON THESE PAGES."));
    }
    ReloadAvailability();
    Shape1->SetColour(LightColour::Gray);
}

void TForm1::FileActivity(bool working) {
    if (working) {
        SetStatusText(StatusPanel2, QStringLiteral(" Working..."));
        OptionsMenu->setEnabled(false);
        Shape3->SetColour(LightColour::Green);
        return;
    }
    if (!ThumbScan1->PageDownloader.Working()) {
        ThumbScan1->PurgeTabs();
        SetStatusText(StatusPanel2, QStringLiteral(" Done."));
        OptionsMenu->setEnabled(true);
    }
    Shape3->SetColour(LightColour::Gray);
}

void TForm1::TabsVisible(bool visible) {
    Button2->setEnabled(visible);
    Button4->setEnabled(visible);
}

void TForm1::UserTick(bool) {
    if (OnBrowserTick) OnBrowserTick();
    if (BlinkPhase) {
        BlinkPhase = false;
        Shape1->Blink();
        Shape3->Blink();
    } else {
        BlinkPhase = true;
    }
    if (!WelcomeChecked) {
        WelcomeChecked = true;
        if (!ThumbScan1->Store().ReadBool(Setting::DisableWelcomeMessage.Entry, false) &&
            OnNavigate)
            OnNavigate(WelcomePage());
    }
}

QString TForm1::WelcomePage() const {
    return QCoreApplication::applicationDirPath() + "/welcome.htm";
}

// --- exit ---

void TForm1::closeEvent(QCloseEvent* event) {
    PageControl1->setCurrentWidget(TabSheet1);
    PageControl1->repaint();
    if (!ThumbScan1->IsWorking() && !Exiting_) {
        event->accept();
        restoreSavedCursor();
        return;
    }
    event->ignore();
    if (Exiting_) return;
    Exiting_ = true;
    PageControl1->hide();
    SetStatusText(StatusPanel2, QStringLiteral("EXITING..."));
    if (ThumbScan1->PageDownloader.Working()) Shape1->SetColour(LightColour::Olive);
    if (ThumbScan1->FileDownloader.Working()) Shape3->SetColour(LightColour::Olive);
    ThumbScan1->Shutdown();
}
