#pragma once

// The "Preferences" window: seven tabs through which the user edits every
// stored setting. There is no Cancel: each control applies its change at
// once through the gallery controller's setters (which store it) or writes
// its plain stored value; OK only closes the window. Created once at
// start-up and shown without being modal; the main window hides the tabs and
// controls that do not belong to the current variant (ApplyVariant).

#include "gallery/GalleryController.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class ViewList;

// The results file that goes with a storage folder: the folder, a separator
// when it has none at its end, then "results.txt".
std::string ResultsFileIn(const std::string& folder);

class PreferencesDialog : public QDialog {
public:
    // The viewer's list model, when given, receives the listed file types
    // (it may also be given later, before the dialog is shown).
    PreferencesDialog(GalleryController& gallery, MessageSink* messages,
                      ViewList* viewList = nullptr, QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    // Shows and hides the tabs and controls that belong to a variant. Items
    // a variant leaves alone keep the state the previous call gave them.
    void ApplyVariant(AppVariant variant);

    void SetViewList(ViewList* viewList);

    // "show picture comments in full screen display", kept in step with the
    // library viewer's "Show infos on full screen display" menu item: the
    // viewer calls SetShowComments (nothing is stored or called back), and a
    // click on the check box stores the value and calls OnShowComments.
    void SetShowComments(bool on);
    bool ShowComments() const;
    std::function<void(bool on)> OnShowComments;

    // Whether the welcome page is switched off, as the check box shows it.
    bool WelcomeDisabled() const;

    // --- what the main window connects ---
    // Whether the main window is on screen. The tab limit, the two
    // concurrency fields and "get thumbnails videos" apply only while it
    // is, so filling the dialog at start-up leaves them alone. By default:
    // the parent window is visible.
    std::function<bool()> MainWindowVisible;
    // The browser address box's history flag (true: typed addresses are
    // added to the history).
    std::function<void(bool add)> AddToHistoryHook;
    // The main window's third status-bar panel; set on closing.
    std::function<void(const QString& text)> StatusText;

    // --- replaceable for tests ---
    // The folder chooser: the chosen folder, or empty when the user gave up.
    std::function<QString(const QString& caption, const QString& start)> ChooseFolder;
    // The Yes/Cancel question; true for Yes.
    std::function<bool(const QString& question)> ConfirmReset;

    void done(int result) override;

    // --- the handlers of the buttons, also reached by keyboard ---
    void ChooseStorageFolder();
    void ResetAllParameters();

private:
    // Building (PreferencesPages.cpp).
    void BuildPages();
    QWidget* BuildGeneralPage();
    QWidget* BuildThumbsPage();
    QWidget* BuildViewerPage();
    QWidget* BuildHtmlScanningPage();
    QWidget* BuildFilesPage();
    QWidget* BuildProxyPage();
    QWidget* BuildConnectionPage();
    QWidget* BuildBottomPanel();

    // Filling and handlers (PreferencesDialog.cpp).
    void Connect();
    void Fill();
    void RefillTextBoxes();
    bool MainVisible() const;
    void ShowMessage(const std::string& text);
    void ShowProxyParameters(int proxyType);
    void StorePagesClicked();

    GalleryController& Gallery_;
    std::unique_ptr<MessageSink> OwnMessages_; // message boxes, when no sink is given
    MessageSink* Messages_;
    ViewList* ViewList_;
    bool Filling_ = false;

    QTabWidget* Pages_ = nullptr;
    QWidget* GeneralTab_ = nullptr;
    QWidget* ThumbsTab_ = nullptr;
    QWidget* ViewerTab_ = nullptr;
    QWidget* HtmlTab_ = nullptr;
    QWidget* FilesTab_ = nullptr;
    QWidget* ProxyTab_ = nullptr;
    QWidget* ConnectionTab_ = nullptr;

    // General
    QCheckBox* DisableWelcome_ = nullptr;
    QCheckBox* AddToHistory_ = nullptr;
    // Thumbs
    QCheckBox* AutoGetFullSized_ = nullptr;
    QCheckBox* FullSizeFirst_ = nullptr;
    QSpinBox* MaxTabs_ = nullptr;
    QCheckBox* GetVideos_ = nullptr;
    QCheckBox* DisableNoPicsWarning_ = nullptr;
    // Viewer
    QCheckBox* ShowComments_ = nullptr;
    QGroupBox* ListedTypesGroup_ = nullptr;
    QPlainTextEdit* ListedTypes_ = nullptr;
    // HTML Scanning
    QGroupBox* ResultFileGroup_ = nullptr;
    QButtonGroup* ResultFile_ = nullptr;
    QCheckBox* FilterEnabled_ = nullptr;
    QPlainTextEdit* KeywordsFilter_ = nullptr;
    QLineEdit* HtmlQueueSize_ = nullptr;
    QSpinBox* HtmlConcurrent_ = nullptr;
    QPushButton* HtmlConcurrentDefault_ = nullptr;
    QGroupBox* HtmlExtensionsGroup_ = nullptr;
    QPlainTextEdit* HtmlExtensions_ = nullptr;
    QCheckBox* StorePages_ = nullptr;
    QCheckBox* ReusePages_ = nullptr;
    QCheckBox* SearchThumbs_ = nullptr;
    QCheckBox* ModernMarkup_ = nullptr;
    QCheckBox* RunPageScripts_ = nullptr;
    QCheckBox* KeepCookies_ = nullptr;
    QCheckBox* UseBrowserLogins_ = nullptr;
    QCheckBox* FindTextAddresses_ = nullptr; // the mail face's
    QCheckBox* RememberOrigins_ = nullptr;
    QCheckBox* LimiterEnabled_ = nullptr;
    QPlainTextEdit* KeywordsLimiter_ = nullptr;
    QLineEdit* ReferringUrl_ = nullptr;
    // Files downloads
    QLineEdit* StorageFolder_ = nullptr;
    QPushButton* ChooseFolderButton_ = nullptr;
    QGroupBox* FilterDownloadsGroup_ = nullptr;
    QButtonGroup* DownloadType_ = nullptr;
    QSpinBox* FilesConcurrent_ = nullptr;
    QPushButton* FilesConcurrentDefault_ = nullptr;
    QGroupBox* FileTypesGroup_ = nullptr;
    QPlainTextEdit* FileTypes_ = nullptr;
    QLineEdit* FilesQueueSize_ = nullptr;
    QCheckBox* RespectRateLimits_ = nullptr;
    QSpinBox* ConnectionsPerHost_ = nullptr;
    // Proxy
    QButtonGroup* ProxyOptions_ = nullptr;
    QGroupBox* ProxyParameters_ = nullptr;
    QLineEdit* ProxyAddress_ = nullptr;
    QLineEdit* ProxyPort_ = nullptr;
    QLineEdit* ProxyUser_ = nullptr;
    QLineEdit* ProxyPassword_ = nullptr;
    QLabel* BrowserProxyNote_ = nullptr;
    // Connection
    QLineEdit* SiteUser_ = nullptr;
    QLineEdit* SitePassword_ = nullptr;
    QLineEdit* RetryCount_ = nullptr;
    QLineEdit* TimeOut_ = nullptr;
    // Bottom panel
    QPushButton* OkButton_ = nullptr;
    QPushButton* ResetButton_ = nullptr;
};
