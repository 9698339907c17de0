// The preferences dialog's seven tabs and its bottom panel: controls,
// captions, hints and help contexts, all placed by layouts so that larger
// fonts grow the window instead of clipping its texts.

#include "PreferencesDialog.h"

#include "gallery/HelpContext.h"
#include "http/HttpTypes.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The hint for both concurrency fields.
const char* const kRestartHint =
    "if increasing the value, the application must be restarted for the change to be effective";
const char* const kConcurrencyDefaultHint = "Reset concurrent downloads to the default value";

QCheckBox* NewCheck(const QString& caption, const char* name, QWidget* parent,
                    const QString& hint = {}) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) box->setToolTip(hint);
    return box;
}

QLineEdit* NewField(const char* name, QWidget* parent, const QString& hint = {}) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) edit->setToolTip(hint);
    return edit;
}

// A label that names its field: screen readers announce the field by it.
QLabel* NewLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// A memo in a group box titled caption; the memo is named by that caption.
QPlainTextEdit* NewTextBox(QGroupBox* group, const char* name, const QString& hint = {}) {
    auto* memo = new QPlainTextEdit(group);
    memo->setObjectName(QLatin1String(name));
    memo->setAccessibleName(group->title());
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setTabChangesFocus(true);
    memo->setMinimumHeight(60);
    if (!hint.isEmpty()) memo->setToolTip(hint);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(memo);
    return memo;
}

// An up-down number field whose text cannot be typed: only its buttons and
// the arrow keys change it.
class ReadOnlySpinBox : public QSpinBox {
public:
    explicit ReadOnlySpinBox(QWidget* parent) : QSpinBox(parent) { lineEdit()->setReadOnly(true); }
};

QSpinBox* NewReadOnlySpinBox(const char* name, int minimum, int maximum, QWidget* parent,
                             const QString& hint = {}) {
    auto* spin = new ReadOnlySpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(minimum, maximum);
    if (!hint.isEmpty()) spin->setToolTip(hint);
    return spin;
}

// A titled group of radio buttons, one per item; the group's ids are the
// item positions.
QButtonGroup* NewRadioGroup(QGroupBox* box, const QStringList& items, const char* name) {
    auto* group = new QButtonGroup(box);
    group->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setObjectName(QLatin1String(name) + QString::number(i));
        group->addButton(radio, i);
        layout->addWidget(radio);
    }
    return group;
}

QGroupBox* NewGroup(const QString& title, QWidget* parent, const char* name = nullptr) {
    auto* group = new QGroupBox(title, parent);
    if (name != nullptr) group->setObjectName(QLatin1String(name));
    return group;
}

} // namespace

void PreferencesDialog::BuildPages() {
    Pages_ = new QTabWidget(this);
    Pages_->setObjectName(QStringLiteral("pages"));
    GeneralTab_ = BuildGeneralPage();
    ThumbsTab_ = BuildThumbsPage();
    ViewerTab_ = BuildViewerPage();
    HtmlTab_ = BuildHtmlScanningPage();
    FilesTab_ = BuildFilesPage();
    ProxyTab_ = BuildProxyPage();
    ConnectionTab_ = BuildConnectionPage();
    Pages_->addTab(GeneralTab_, QStringLiteral("General"));
    Pages_->addTab(ThumbsTab_, QStringLiteral("Thumbs"));
    Pages_->addTab(ViewerTab_, QStringLiteral("Viewer"));
    Pages_->addTab(HtmlTab_, QStringLiteral("HTML Scanning"));
    Pages_->addTab(FilesTab_, QStringLiteral("Files downloads"));
    Pages_->addTab(ProxyTab_, QStringLiteral("Proxy"));
    Pages_->addTab(ConnectionTab_, QStringLiteral("Connection"));
    SetHelpContext(GeneralTab_, 6800);
    SetHelpContext(ThumbsTab_, 6300);
    SetHelpContext(HtmlTab_, 6400);
    SetHelpContext(FilesTab_, 6500);
    SetHelpContext(ProxyTab_, 6600);
    SetHelpContext(ConnectionTab_, 6700);
    Pages_->setCurrentWidget(HtmlTab_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pages_, 1);
    layout->addWidget(BuildBottomPanel());
}

QWidget* PreferencesDialog::BuildGeneralPage() {
    auto* page = new QWidget;
    DisableWelcome_ = NewCheck(QStringLiteral("disable the \"Welcome to Tessellon\" initial page"),
                               "disableWelcome", page);
    AddToHistory_ = NewCheck(QStringLiteral("add visited links to the typed-address history"),
                             "addToHistory", page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(DisableWelcome_);
    layout->addWidget(AddToHistory_);
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildThumbsPage() {
    auto* page = new QWidget;
    AutoGetFullSized_ =
        NewCheck(QStringLiteral("get all full-sized pics automatically when opening tabs"),
                 "autoGetFullSized", page);
    FullSizeFirst_ = NewCheck(QStringLiteral("First get full-sized pictures (before thumbs)"),
                              "fullSizeFirst", page);
    MaxTabs_ = NewReadOnlySpinBox("maxTabs", 5, 9999, page);
    MaxTabs_->setValue(5);
    GetVideos_ = NewCheck(QStringLiteral("get thumbnails videos (mpeg, avi)"), "getVideos", page);
    DisableNoPicsWarning_ =
        NewCheck(QStringLiteral("disable \"no pictures found...works only on galleries\"  warning"),
                 "disableNoPicsWarning", page);
    DisableNoPicsWarning_->setVisible(false);

    auto* tabsRow = new QHBoxLayout;
    tabsRow->addWidget(MaxTabs_);
    tabsRow->addWidget(NewLabel(QStringLiteral("max number of tabs opened"), MaxTabs_, page));
    tabsRow->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(AutoGetFullSized_);
    layout->addWidget(FullSizeFirst_);
    layout->addLayout(tabsRow);
    layout->addWidget(GetVideos_);
    layout->addWidget(DisableNoPicsWarning_);
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildViewerPage() {
    auto* page = new QWidget;
    ShowComments_ = NewCheck(QStringLiteral("show picture comments in full screen display"),
                             "showComments", page);
    ListedTypesGroup_ = NewGroup(QStringLiteral("listed file types"), page, "listedTypesGroup");
    ListedTypes_ = NewTextBox(ListedTypesGroup_, "listedTypes");
    auto* layout = new QGridLayout(page);
    layout->addWidget(ShowComments_, 0, 0, 1, 2);
    layout->addWidget(ListedTypesGroup_, 1, 0);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    return page;
}

QWidget* PreferencesDialog::BuildHtmlScanningPage() {
    auto* page = new QWidget;

    ResultFileGroup_ = NewGroup(QStringLiteral("result file"), page, "resultFileGroup");
    ResultFileGroup_->setToolTip(
        QStringLiteral("result file generated in the storage directory (specified in \"Files "
                       "downloads\")"));
    ResultFile_ =
        NewRadioGroup(ResultFileGroup_,
                      {QStringLiteral("no result file"), QStringLiteral("\"results.txt\" file"),
                       QStringLiteral("create date/time based txt file")},
                      "resultFile");

    auto* notContain = NewGroup(QStringLiteral("URL must NOT contain"), page);
    FilterEnabled_ = NewCheck(QStringLiteral("enabled"), "filterEnabled", notContain,
                              QStringLiteral("enable keyword filtering"));
    KeywordsFilter_ = NewTextBox(
        notContain, "keywordsFilter",
        QStringLiteral("keyword filter: one keyword per line, at least a word (just a letter can "
                       "eliminate all the links found)"));
    static_cast<QVBoxLayout*>(notContain->layout())->insertWidget(0, FilterEnabled_);

    auto* contain = NewGroup(QStringLiteral("URL must contain"), page);
    LimiterEnabled_ = NewCheck(QStringLiteral("enabled"), "limiterEnabled", contain);
    KeywordsLimiter_ = NewTextBox(contain, "keywordsLimiter");
    static_cast<QVBoxLayout*>(contain->layout())->addWidget(LimiterEnabled_);

    auto* htmlDownloads = NewGroup(QStringLiteral("Html pages downloads"), page);
    HtmlQueueSize_ =
        NewField("htmlQueueSize", htmlDownloads, QStringLiteral("Limit the html pages queue size"));
    HtmlConcurrent_ = NewReadOnlySpinBox("htmlConcurrent", 1, kMaxConcurrentDownloads,
                                         htmlDownloads, QLatin1String(kRestartHint));
    HtmlConcurrent_->setAccessibleName(QStringLiteral("concurrent html pages download"));
    HtmlConcurrentDefault_ = new QPushButton(QStringLiteral("default"), htmlDownloads);
    HtmlConcurrentDefault_->setObjectName(QStringLiteral("htmlConcurrentDefault"));
    HtmlConcurrentDefault_->setToolTip(QLatin1String(kConcurrencyDefaultHint));
    HtmlConcurrentDefault_->setAutoDefault(false);
    {
        auto* grid = new QGridLayout(htmlDownloads);
        grid->addWidget(NewLabel(QStringLiteral("max queue size for html pages downloads"),
                                 HtmlQueueSize_, htmlDownloads),
                        0, 0, 1, 3);
        grid->addWidget(HtmlQueueSize_, 1, 0, 1, 3);
        auto* captions = new QVBoxLayout;
        captions->setSpacing(0);
        captions->addWidget(
            NewLabel(QStringLiteral("concurrent html"), HtmlConcurrent_, htmlDownloads));
        captions->addWidget(new QLabel(QStringLiteral("pages download"), htmlDownloads));
        grid->addLayout(captions, 2, 0);
        grid->addWidget(HtmlConcurrent_, 2, 1);
        grid->addWidget(HtmlConcurrentDefault_, 2, 2);
    }

    HtmlExtensionsGroup_ = NewGroup(QStringLiteral("html extensions"), page, "htmlExtensionsGroup");
    HtmlExtensions_ = NewTextBox(HtmlExtensionsGroup_, "htmlExtensions",
                                 QStringLiteral("These extensions are treated as html pages"));

    auto* stored = NewGroup(QString(), page);
    StorePages_ = NewCheck(QStringLiteral("store pages on disk"), "storePages", stored,
                           QStringLiteral("Html pages are stored on disk to be reloaded later "
                                          "instead of downloading them again"));
    ReusePages_ = NewCheck(QStringLiteral("reuse stored pages from disk"), "reusePages", stored);
    {
        auto* column = new QVBoxLayout(stored);
        column->addWidget(StorePages_);
        column->addWidget(ReusePages_);
    }
    SearchThumbs_ = NewCheck(QStringLiteral("SEARCH THUMBS"), "searchThumbs", page);
    ModernMarkup_ = NewCheck(QStringLiteral("Find pictures in responsive and lazy-loaded markup"),
                             "modernMarkup", page);
    RunPageScripts_ = NewCheck(
        QStringLiteral("Run page scripts before looking for pictures"), "runPageScripts", page,
        QStringLiteral("each page is loaded in the browser engine, its scripts run and "
                       "it is scrolled to its end before its links are read"));
    RunPageScripts_->setAccessibleName(
        QStringLiteral("run page scripts before looking for pictures"));
    KeepCookies_ = NewCheck(QStringLiteral("Keep cookies during a scan"), "keepCookies", page,
                            QStringLiteral("cookies the sites set are sent back to them for the "
                                           "rest of the scan"));
    UseBrowserLogins_ =
        NewCheck(QStringLiteral("Use the browser's logins"), "useBrowserLogins", page,
                 QStringLiteral("scans send the cookies of the embedded browser to the same "
                                "sites (needs cookies kept during a scan)"));
    KeepCookies_->setAccessibleName(KeepCookies_->text());
    UseBrowserLogins_->setAccessibleName(UseBrowserLogins_->text());
    FindTextAddresses_ =
        NewCheck(QStringLiteral("Also find addresses in the page text"), "findTextAddresses", page);
    FindTextAddresses_->setAccessibleName(FindTextAddresses_->text());
    RememberOrigins_ =
        NewCheck(QStringLiteral("Remember where each file came from"), "rememberOrigins", page,
                 QStringLiteral("Each stored file keeps its address and the page "
                                "that linked it as file attributes"));

    ReferringUrl_ = NewField("referringUrl", page);

    auto* grid = new QGridLayout(page);
    grid->addWidget(ResultFileGroup_, 0, 0);
    grid->addWidget(notContain, 0, 1);
    grid->addWidget(contain, 0, 2);
    grid->addWidget(htmlDownloads, 1, 0);
    grid->addWidget(HtmlExtensionsGroup_, 1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(stored);
    right->addWidget(SearchThumbs_);
    right->addWidget(ModernMarkup_);
    right->addWidget(RunPageScripts_);
    right->addWidget(KeepCookies_);
    right->addWidget(UseBrowserLogins_);
    right->addWidget(FindTextAddresses_);
    right->addWidget(RememberOrigins_);
    right->addStretch(1);
    grid->addLayout(right, 1, 2);
    auto* referring = NewLabel(QStringLiteral("initial referring URL (needed for sites that check "
                                              "where the starting URL is coming from"),
                               ReferringUrl_, page);
    referring->setWordWrap(true);
    grid->addWidget(referring, 2, 0, 1, 3);
    grid->addWidget(ReferringUrl_, 3, 0, 1, 3);
    for (int c = 0; c < 3; ++c)
        grid->setColumnStretch(c, 1);
    return page;
}

QWidget* PreferencesDialog::BuildFilesPage() {
    auto* page = new QWidget;

    auto* storage = NewGroup(QStringLiteral("storage folder"), page);
    StorageFolder_ = NewField("storageFolder", storage,
                              QStringLiteral("The folder where the downloaded files are stored"));
    StorageFolder_->setReadOnly(true);
    StorageFolder_->setAccessibleName(QStringLiteral("storage folder"));
    ChooseFolderButton_ = new QPushButton(QStringLiteral("..."), storage);
    ChooseFolderButton_->setObjectName(QStringLiteral("chooseFolder"));
    ChooseFolderButton_->setToolTip(QStringLiteral("choose storage directory"));
    ChooseFolderButton_->setAccessibleName(QStringLiteral("choose storage directory"));
    ChooseFolderButton_->setAutoDefault(false);
    {
        auto* row = new QHBoxLayout(storage);
        row->addWidget(StorageFolder_, 1);
        row->addWidget(ChooseFolderButton_);
    }

    auto* files = NewGroup(QStringLiteral("files download"), page);
    FilterDownloadsGroup_ = NewGroup(QStringLiteral("filter downloads"), files, "filterDownloads");
    FilterDownloadsGroup_->setToolTip(
        QStringLiteral("e.g: SRC = the thumb    HREF = the full sized picture"));
    DownloadType_ =
        NewRadioGroup(FilterDownloadsGroup_,
                      {QStringLiteral("SRC    links only (thumbs)"),
                       QStringLiteral("HREF links only (full sized)"), QStringLiteral("both")},
                      "downloadType");

    auto* concurrent = NewGroup(QStringLiteral("concurrent downloads"), files);
    FilesConcurrent_ = NewReadOnlySpinBox("filesConcurrent", 1, kMaxConcurrentDownloads, concurrent,
                                          QLatin1String(kRestartHint));
    FilesConcurrent_->setAccessibleName(QStringLiteral("concurrent downloads"));
    FilesConcurrentDefault_ = new QPushButton(QStringLiteral("reset to default value"), concurrent);
    FilesConcurrentDefault_->setObjectName(QStringLiteral("filesConcurrentDefault"));
    FilesConcurrentDefault_->setToolTip(QLatin1String(kConcurrencyDefaultHint));
    FilesConcurrentDefault_->setAutoDefault(false);
    {
        auto* grid = new QGridLayout(concurrent);
        auto* captions = new QVBoxLayout;
        captions->setSpacing(0);
        captions->addWidget(NewLabel(QStringLiteral("concurrent"), FilesConcurrent_, concurrent));
        captions->addWidget(new QLabel(QStringLiteral("downloads"), concurrent));
        grid->addLayout(captions, 0, 0);
        grid->addWidget(FilesConcurrent_, 0, 1);
        grid->addWidget(FilesConcurrentDefault_, 1, 0, 1, 2);
    }

    FileTypesGroup_ = NewGroup(QStringLiteral("download these files"), files, "fileTypesGroup");
    FileTypes_ =
        NewTextBox(FileTypesGroup_, "fileTypes",
                   QStringLiteral("type of file to download (e.g : jpg, jpeg, mp3, mpeg, etc...)"));

    auto* queue = NewGroup(QStringLiteral("queue size limit"), files);
    FilesQueueSize_ =
        NewField("filesQueueSize", queue, QStringLiteral("Limit the files download queue size"));
    {
        auto* column = new QVBoxLayout(queue);
        column->addWidget(
            NewLabel(QStringLiteral("max queue size for files downloads"), FilesQueueSize_, queue));
        column->addWidget(FilesQueueSize_);
        column->addStretch(1);
    }

    {
        auto* grid = new QGridLayout(files);
        grid->addWidget(FilterDownloadsGroup_, 0, 0);
        grid->addWidget(concurrent, 1, 0);
        grid->addWidget(FileTypesGroup_, 0, 1, 2, 1);
        grid->addWidget(queue, 0, 2, 2, 1);
        grid->setColumnStretch(1, 1);
    }

    // Pages and files alike: servers that ask to slow down are waited for.
    auto* polite = NewGroup(QStringLiteral("server rate limits"), page);
    RespectRateLimits_ = NewCheck(
        QStringLiteral("Respect server rate limits"), "respectRateLimits", polite,
        QStringLiteral("a server that answers \"too many requests\" is waited for as long as it "
                       "asks (up to 2 minutes); its connections are halved and grow back while it "
                       "answers"));
    ConnectionsPerHost_ =
        NewReadOnlySpinBox("connectionsPerHost", 0, DownloadManager::kMaxConnectionsPerHost, polite,
                           QStringLiteral("pages and files together; 0: no limit"));
    ConnectionsPerHost_->setSpecialValueText(QStringLiteral("no limit"));
    ConnectionsPerHost_->setAccessibleName(QStringLiteral("connections per host"));
    {
        auto* row = new QHBoxLayout(polite);
        row->addWidget(RespectRateLimits_);
        row->addStretch(1);
        row->addWidget(
            NewLabel(QStringLiteral("connections per host"), ConnectionsPerHost_, polite));
        row->addWidget(ConnectionsPerHost_);
    }

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(storage);
    layout->addWidget(files, 1);
    layout->addWidget(polite);
    return page;
}

QWidget* PreferencesDialog::BuildProxyPage() {
    auto* page = new QWidget;
    auto* options = NewGroup(QStringLiteral("proxy options"), page, "proxyOptionsGroup");
    options->setToolTip(QStringLiteral(
        "System defaults: the http_proxy, https_proxy and no_proxy environment variables"));
    ProxyOptions_ =
        NewRadioGroup(options,
                      {QStringLiteral("direct to internet"), QStringLiteral("use proxy"),
                       QStringLiteral("use system defaults")},
                      "proxyOptions");

    ProxyParameters_ = NewGroup(QStringLiteral("proxy parameters"), page, "proxyParameters");
    ProxyAddress_ = NewField("proxyAddress", ProxyParameters_,
                             QStringLiteral("ip address of the proxy server"));
    ProxyPort_ =
        NewField("proxyPort", ProxyParameters_, QStringLiteral("port of the proxy server"));
    ProxyUser_ = NewField("proxyUser", ProxyParameters_,
                          QStringLiteral("user name to use for authenticate on the proxy server"));
    ProxyPassword_ =
        NewField("proxyPassword", ProxyParameters_,
                 QStringLiteral("password to use for authenticate on the proxy server"));
    ProxyPassword_->setEchoMode(QLineEdit::Password);
    {
        auto* form = new QFormLayout(ProxyParameters_);
        form->addRow(NewLabel(QStringLiteral("proxy ip address"), ProxyAddress_, ProxyParameters_),
                     ProxyAddress_);
        form->addRow(NewLabel(QStringLiteral("port"), ProxyPort_, ProxyParameters_), ProxyPort_);
        form->addRow(NewLabel(QStringLiteral("user name"), ProxyUser_, ProxyParameters_),
                     ProxyUser_);
        form->addRow(NewLabel(QStringLiteral("password"), ProxyPassword_, ProxyParameters_),
                     ProxyPassword_);
    }

    BrowserProxyNote_ =
        new QLabel(QStringLiteral("The embedded browser uses the system proxy settings"), page);
    BrowserProxyNote_->setObjectName(QStringLiteral("browserProxyNote"));
    BrowserProxyNote_->setWordWrap(true);
    auto* notApply =
        new QLabel(QStringLiteral("THESE OPTIONS DO NOT APPLY TO THE EMBEDDED BROWSER"), page);
    notApply->setWordWrap(true);

    auto* grid = new QGridLayout(page);
    grid->addWidget(options, 0, 0);
    grid->addWidget(ProxyParameters_, 0, 1);
    grid->addWidget(BrowserProxyNote_, 1, 0, 1, 2);
    grid->addWidget(notApply, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget* PreferencesDialog::BuildConnectionPage() {
    auto* page = new QWidget;
    auto* site = NewGroup(QStringLiteral("if site authentication needed"), page);
    SiteUser_ =
        NewField("siteUser", site, QStringLiteral("user name if authentication needed on a site"));
    SitePassword_ = NewField("sitePassword", site,
                             QStringLiteral("password if authentication needed on a site"));
    SitePassword_->setEchoMode(QLineEdit::Password);
    {
        auto* form = new QFormLayout(site);
        form->addRow(NewLabel(QStringLiteral("user"), SiteUser_, site), SiteUser_);
        form->addRow(NewLabel(QStringLiteral("password"), SitePassword_, site), SitePassword_);
    }

    auto* connecting = NewGroup(QStringLiteral("connecting"), page);
    RetryCount_ = NewField("retryCount", connecting,
                           QStringLiteral("number of retries when an error occurs"));
    TimeOut_ = NewField("timeOut", connecting,
                        QStringLiteral("number of seconds to wait for connecting to a server"));
    // Digits only (and their deletion) can be typed into these two.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    RetryCount_->setValidator(new QRegularExpressionValidator(digits, RetryCount_));
    TimeOut_->setValidator(new QRegularExpressionValidator(digits, TimeOut_));
    {
        auto* form = new QFormLayout(connecting);
        form->addRow(NewLabel(QStringLiteral("retry count"), RetryCount_, connecting), RetryCount_);
        form->addRow(NewLabel(QStringLiteral("timeout"), TimeOut_, connecting), TimeOut_);
    }

    auto* layout = new QGridLayout(page);
    layout->addWidget(site, 0, 0);
    layout->addWidget(connecting, 0, 1);
    layout->setRowStretch(1, 1);
    return page;
}

QWidget* PreferencesDialog::BuildBottomPanel() {
    auto* panel = new QWidget(this);
    OkButton_ = new QPushButton(QStringLiteral("OK"), panel);
    OkButton_->setObjectName(QStringLiteral("ok"));
    OkButton_->setDefault(true);
    ResetButton_ = new QPushButton(QStringLiteral("Reset all parameters to default values"), panel);
    ResetButton_->setObjectName(QStringLiteral("resetAll"));
    ResetButton_->setToolTip(
        QStringLiteral("if something goes wrong, first try to reset to default parameters"));
    ResetButton_->setAutoDefault(false);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(ResetButton_);
    row->addStretch(1);
    row->addWidget(OkButton_);
    return panel;
}
