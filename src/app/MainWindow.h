#pragma once

// The application shell: the window that owns the gallery controller, shows
// its work (lists, statistics, lights, status bar) and turns the user's
// commands into calls on it. One window serves the four application
// variants; ApplyVariant decides what shows and which handlers are wired.

#include "gallery/GalleryController.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <set>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class ActivityLight;
class AppMessageFilter;
class EditComboBox;
class AboutBox;
class ViewerWindow;
class PreferencesDialog;
class BatchedLines;

// A panel holding a caption and a light, clickable as a whole.
class LightPanel;

class MainWindow : public QMainWindow {
public:
    // messages: where the core's texts go (the GUI's dialog sink).
    explicit MainWindow(MessageSink* messages, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up after construction: applies the gallery variant once, then
    // reads the settings that need the other windows.
    void AfterCreate();
    void ApplyVariant(AppVariant variant);

    // --- commands ---
    void StartClicked();     // Start
    // File > "Resume unfinished scan": continues the scan journaled in the
    // storage folder; enabled while there is one and nothing runs.
    void ResumeClicked();
    void UpdateResumeAction();
    void ReloadClicked();    // Reload
    void StopPagesClicked(); // page stop
    void StopFilesClicked(); // file stop
    bool ResumeNext_ = false; // the next StartFromAddress resumes the journaled scan
    void StartFromAddress(const QString& address, bool reuse, bool keepMark);
    // The reload check: Reload when the page is stored, else a start.
    void ReloadCheck();
    // Reload when the page is stored; never a start.
    void ReloadAvailability();
    void PasteAndStart();
    // Asks before removing the empty folders of the storage folder; the
    // desktop's own folders stay.
    void CleanStorageFolders();
    static std::set<std::string> DesktopFolders();
    // "#" + the context, or empty for none.
    static QString HelpTopic(int context);
    void ShowHelpTopic(int context);
    // F1: the help topic of the focused control in the status bar, and its
    // hint beside it.
    void ShowContextHelp(QWidget* focused);

    // --- handlers of the controller's events ---
    void LinkFound(FoundLink& link);
    void MailLinkFound(FoundLink& link);
    // File > "Save mail addresses…": every address of the scan, one a line.
    void SaveMailAddressesClicked();
    bool SaveMailAddresses(const QString& path);
    void UpdatedStats(const DownloadStats& stats);
    void PageActivity(bool working);
    void FileActivity(bool working);
    void PageDownloadError(const DownloadError& error);
    void FileDownloadError(const DownloadError& error);
    void FileReceived(const std::string& url, bool alreadyOnDisk);
    void PageAnalysing(const std::string& url, bool mail);
    void UserTick(bool aborting);
    void TabsVisible(bool visible);
    // Shows the list lines added so far (they are shown once per turn of
    // the event loop).
    void FlushLists();
    // A status panel's text, which screen readers get as its description.
    void SetStatusText(QLabel* panel, const QString& text);

    // --- state for tests and the other windows ---
    GalleryController& Gallery() { return *Gallery_; }
    bool Exiting() const { return Exiting_; }
    int LinkCount = 0;
    bool BlinkPhase = false;
    bool WelcomeChecked = false;
    bool VariantApplied = false;
    // Whether the window counts as shown for handlers that act only then;
    // tests may replace it.
    std::function<bool()> IsShown;
    // What the tick navigates the browser to once, unless disabled; empty
    // for a face without one.
    QString WelcomePage() const;
    QString UserGuidePage() const;
    // Shows the user guide in the browser, at the section with that id
    // (none: its beginning).
    void OpenUserGuide(const QString& section);
    std::function<void(const QString& url)> OnNavigate;
    // Told the address of a scan about to start (checked, with its scheme).
    std::function<void(const QString& address)> BeforeScan;
    // Asks where to save a file; an empty answer cancels (tests answer here).
    std::function<QString(const QString& caption)> ChooseSaveFile;
    // A tab's page address was clicked: the browser opens it in a window.
    std::function<void(const QString& url)> OnOpenInNewWindow;
    // Capture on or off, and the capture light with it.
    void SetCapture(bool on);
    // After a variant was applied: the preferences dialog follows it.
    std::function<void(AppVariant variant)> OnVariantApplied;
    // The browser's step of the tick.
    std::function<void()> OnBrowserTick;

    // --- controls (names as users and tests know them) ---
    QTabWidget* Tabs;
    QWidget* HomeTab;          // "Home" / "Main"
    QWidget* PageAnalysisTab;  // "Html page analysis"
    QWidget* LogTab;           // "Log", never shown
    QWidget* MailTab;          // "Mail progress"
    QWidget* FileDownloadsTab; // "Files downloads"
    QGroupBox* ScannerGroup;
    QGroupBox* BrowserGroup;       // embedded browser
    QGroupBox* PageAnalysisGroup;  // html pages analysis
    QGroupBox* FileDownloadsGroup; // files downloads
    EditComboBox* ScanAddressBox;
    QPushButton* StartButton;  // Start
    QPushButton* ReloadButton; // Reload
    QSpinBox* DepthSpinBox;    // depth
    QLabel* SearchLabel;
    QLabel* DepthLabel;
    LightPanel* CapturePanel;          // browser capture
    LightPanel* PageActivityPanel;     // getting pages
    LightPanel* FileActivityPanel;     // getting pics
    ActivityLight* PageLight;          // page light
    ActivityLight* CaptureLight;       // capture light
    ActivityLight* FileLight;          // file light
    QPushButton* StopPagesButton;      // page stop
    QPushButton* StopFilesButton;      // file stop
    QCheckBox* StayOnSiteCheckBox;     // stay on site
    QPushButton* CloseTabsButton;      // close tabs
    QPushButton* ThrowTabsButton;      // throw tabs
    QPlainTextEdit* PageStatsText;     // page statistics
    QPlainTextEdit* PageErrorsList;    // page errors
    QPlainTextEdit* LinksList;         // links found
    QPlainTextEdit* FileStatsText;     // file statistics
    QPlainTextEdit* FileErrorsList;    // file errors
    QPlainTextEdit* ReceivedFilesList; // files received
    QPlainTextEdit* MailAddressesList; // mail addresses
    QLabel* StorageStatusLabel;
    QLabel* DetailStatusLabel;
    QLabel* ActivityStatusLabel;
    QMenu* FileMenu;
    QAction* SaveMailAction; // "Save mail addresses…", the mail face's
    QAction* ResumeAction; // "Resume unfinished scan"
    QAction* ExitAction;
    QAction* ViewerAction; // "List"
    QMenu* OptionsMenu;
    QAction* PreferencesAction;
    QAction* CleanFoldersAction;
    QMenu* HelpMenu;
    QAction* OverviewAction;
    QAction* UserGuideAction;
    QAction* AboutAction;
    AboutBox* About;
    // The library window and the preferences dialog, made with the window.
    ViewerWindow* Viewer() const { return Viewer_.get(); }
    PreferencesDialog* Prefs() const { return Prefs_.get(); }

    int ReloadMark = 0; // 1 while a Reload or a tab's reload runs
    bool StayOnSiteWarned = false;
    bool CaptureOn = false;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void BuildStatusBar();
    void MakeOtherWindows();
    void SetUpFromGallery();
    // The controls that show stored values (scan history, depth, stay on
    // site, storage folder) take them from the controller.
    void ShowStoredSettings();
    void LayOutScanner();
    void WireVariant(AppVariant variant);
    void HistorySave();
    void SetCaptureLight();
    void StayOnSiteClicked(bool checked);

    MessageSink* Messages_;
    std::unique_ptr<GalleryController> Gallery_;
    std::unique_ptr<AppMessageFilter> AppMessage_;
    std::unique_ptr<ViewerWindow> Viewer_;
    std::unique_ptr<PreferencesDialog> Prefs_;
    bool Exiting_ = false;
    // The lists, filled in batches.
    std::unique_ptr<BatchedLines> Links_, Mails_, Received_, PageErrors_, FileErrors_;
    QString LastAnnounced_;
    // The links list says "searching..." and nothing was listed since.
    bool Searching_ = false;
    // What the first status panel said before "stopping...".
    QString StorageBeforeStop_;
    // The face's welcome page beside the program; empty: none.
    QString WelcomeFile_ = QStringLiteral("welcome.htm");
};
