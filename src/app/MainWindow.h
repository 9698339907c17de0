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
class TActivityLight;
class TAppMessageFilter;
class TEditCombobox;
class TOKBottomDlg;
class TGVViewer;
class TPagesDlg;
class TMemoLines;

// A panel holding a caption and a light, clickable as a whole.
class TLightPanel;

class TForm1 : public QMainWindow {
public:
    // messages: where the core's texts go (the GUI's dialog sink).
    explicit TForm1(IMessageSink* messages, QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up after construction: applies the gallery variant once, then
    // reads the settings that need the other windows.
    void AfterCreate();
    void ApplyVariant(TAppli appli);

    // --- commands ---
    void Button1Click();  // Start
    void Button3Click();  // Reload
    void Button9Click();  // page stop
    void Button10Click(); // file stop
    void StartFromAddress(const QString& address, bool reuse, bool keepMark);
    // The reload check: Reload when the page is stored, else a start.
    void ReloadCheck();
    // Reload when the page is stored; never a start.
    void ReloadAvailability();
    void PasteAndStart();
    void CleanStorageFolders();
    // "#" + the context, or empty for none.
    static QString HelpTopic(int context);
    void ShowHelpTopic(int context);
    // F1: the help topic of the focused control in the status bar, and its
    // hint beside it.
    void FormHelp(QWidget* focused);

    // --- handlers of the controller's events ---
    void LinkFound(TLinkFound& link);
    void MailLinkFound(TLinkFound& link);
    void UpdatedStats(int tag, int inQueue, int downloading, int toAnalyze, int done, int retries,
                      int errors, int alreadyOnDisk);
    void PageActivity(bool working);
    void FileActivity(bool working);
    void PageDownloadError(std::uint32_t code, const std::string& url,
                           const std::string& referringUrl);
    void FileDownloadError(std::uint32_t code, const std::string& url, const std::string& message,
                           const std::string& referringUrl);
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
    TGVThumb& Gallery() { return *ThumbScan1; }
    bool Exiting() const { return Exiting_; }
    int LinkCount = 0;
    bool BlinkPhase = false;
    bool WelcomeChecked = false;
    bool VariantApplied = false;
    // Whether the window counts as shown for handlers that act only then;
    // tests may replace it.
    std::function<bool()> IsShown;
    // What the tick navigates the browser to once, unless disabled.
    QString WelcomePage() const;
    std::function<void(const QString& url)> OnNavigate;
    // A tab's page address was clicked: the browser opens it in a window.
    std::function<void(const QString& url)> OnOpenInNewWindow;
    // Capture on or off, and the capture light with it.
    void SetCapture(bool on);
    // After a variant was applied: the preferences dialog follows it.
    std::function<void(TAppli appli)> OnVariantApplied;
    // The browser's step of the tick.
    std::function<void()> OnBrowserTick;

    // --- controls (names as users and tests know them) ---
    QTabWidget* PageControl1;
    QWidget* TabSheet1; // "Home" / "Main"
    QWidget* TabSheet2; // "Html page analysis"
    QWidget* TabSheet3; // "Log", never shown
    QWidget* TabSheet4; // "Mail progress"
    QWidget* TabSheet5; // "Files downloads"
    QGroupBox* ScannerGroup;
    QGroupBox* GroupBox1; // embedded browser
    QGroupBox* GroupBox7; // html pages analysis
    QGroupBox* GroupBox3; // files downloads
    TEditCombobox* EditCombobox1;
    QPushButton* Button1; // Start
    QPushButton* Button3; // Reload
    QSpinBox* Edit1;      // depth
    QLabel* SearchLabel;
    QLabel* DepthLabel;
    TLightPanel* Panel6;    // browser capture
    TLightPanel* Panel2;    // getting pages
    TLightPanel* Panel3;    // getting pics
    TActivityLight* Shape1; // page light
    TActivityLight* Shape2; // capture light
    TActivityLight* Shape3; // file light
    QPushButton* Button9;   // page stop
    QPushButton* Button10;  // file stop
    QCheckBox* CheckBox1;   // stay on site
    QPushButton* Button2;   // close tabs
    QPushButton* Button4;   // throw tabs
    QPlainTextEdit* Memo1;  // page statistics
    QPlainTextEdit* Memo5;  // page errors
    QPlainTextEdit* Memo4;  // links found
    QPlainTextEdit* Memo2;  // file statistics
    QPlainTextEdit* Memo9;  // file errors
    QPlainTextEdit* Memo8;  // files received
    QPlainTextEdit* Memo6;  // mail addresses
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QLabel* StatusPanel2;
    QMenu* FileMenu;
    QAction* Exit1;
    QAction* Viewer1; // "List"
    QMenu* OptionsMenu;
    QAction* Preferences1;
    QAction* CleanFolders1;
    QMenu* HelpMenu;
    QAction* Overview1;
    QAction* Userguide1;
    QAction* About1;
    TOKBottomDlg* AboutBox;
    // The library window and the preferences dialog, made with the window.
    TGVViewer* Viewer() const { return Viewer_.get(); }
    TPagesDlg* Prefs() const { return Prefs_.get(); }

    int ReloadMark = 0; // 1 while a Reload or a tab's reload runs
    bool StayOnSiteWarned = false;
    bool CaptureOn = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void BuildStatusBar();
    void MakeOtherWindows();
    void FormCreate();
    void LayoutScannerRow();
    void WireVariant(TAppli appli);
    void HistorySave();
    void SetCaptureLight();
    void StayOnSiteClicked(bool checked);

    IMessageSink* Messages_;
    std::unique_ptr<TGVThumb> ThumbScan1;
    std::unique_ptr<TAppMessageFilter> AppMessage_;
    std::unique_ptr<TGVViewer> Viewer_;
    std::unique_ptr<TPagesDlg> Prefs_;
    bool Exiting_ = false;
    // The lists, filled in batches.
    std::unique_ptr<TMemoLines> Links_, Mails_, Received_, PageErrors_, FileErrors_;
    QString LastAnnounced_;
    // Where the address box ends: 6 pixels before this button.
    QPushButton* AddressRightOf_ = nullptr;
    bool AddressAfterCapture_ = true;
};
