// The preferences dialog's filling and handlers: every control applies its
// change at once through the gallery controller's setters, which store it.

#include "PreferencesDialog.h"

#include "common/StringTools.h"
#include "settings/SettingsKey.h"
#include "viewer/ViewList.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>

namespace {

// Message boxes over the dialog, for a dialog built without a sink.
class BoxMessages : public MessageSink {
public:
    explicit BoxMessages(QWidget* owner) : Owner_(owner) {}
    void ShowMessage(std::string_view text) override {
        QMessageBox::information(Owner_, QGuiApplication::applicationDisplayName(),
                                 QString::fromUtf8(text.data(), qsizetype(text.size())));
    }

private:
    QWidget* Owner_;
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Memos show one entry a line; the settings keep their lists with CR LF.
void SetTextBoxText(QPlainTextEdit* memo, const std::string& listText) {
    QString text = Q(listText);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    memo->setPlainText(text);
}

std::string TextBoxText(const QPlainTextEdit* memo) {
    QString text = memo->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text.toStdString();
}

void SetTabVisible(QTabWidget* pages, QWidget* tab, bool visible) {
    pages->setTabVisible(pages->indexOf(tab), visible);
}

} // namespace

std::string ResultsFileIn(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder + "results.txt";
    return folder + "/results.txt";
}

PreferencesDialog::PreferencesDialog(GalleryController& gallery, MessageSink* messages,
                                     ViewList* viewList, QWidget* parent)
    : QDialog(parent), Gallery_(gallery),
      OwnMessages_(messages == nullptr ? std::make_unique<BoxMessages>(this) : nullptr),
      Messages_(messages != nullptr ? messages : OwnMessages_.get()), ViewList_(viewList) {
    setObjectName(QStringLiteral("preferences"));
    setWindowTitle(QStringLiteral("Preferences"));
    BuildPages();
    // At least the designed size; more when the texts need it.
    setMinimumSize(layout()->minimumSize().expandedTo(QSize(575, 416)));
    resize(sizeHint().expandedTo(QSize(575, 416)));

    ChooseFolder = [this](const QString& caption, const QString& start) {
        return QFileDialog::getExistingDirectory(this, caption, start);
    };
    ConfirmReset = [this](const QString& question) {
        return QMessageBox::question(this, QGuiApplication::applicationDisplayName(), question,
                                     QMessageBox::Yes | QMessageBox::Cancel,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };

    Connect();
    Fill();
}

PreferencesDialog::~PreferencesDialog() = default;

bool PreferencesDialog::MainVisible() const {
    if (MainWindowVisible) return MainWindowVisible();
    return parentWidget() != nullptr && parentWidget()->isVisible();
}

void PreferencesDialog::ShowMessage(const std::string& text) {
    Messages_->ShowMessage(text);
}

void PreferencesDialog::SetViewList(ViewList* viewList) {
    ViewList_ = viewList;
    if (ViewList_ != nullptr) {
        const QSignalBlocker block(ListedTypes_);
        SetTextBoxText(ListedTypes_, ViewList_->GetListedTypes());
    }
}

void PreferencesDialog::SetShowComments(bool on) {
    const QSignalBlocker block(ShowComments_);
    ShowComments_->setChecked(on);
}

bool PreferencesDialog::ShowComments() const {
    return ShowComments_->isChecked();
}

bool PreferencesDialog::WelcomeDisabled() const {
    return DisableWelcome_->isChecked();
}

void PreferencesDialog::ShowProxyParameters(int proxyType) {
    ProxyParameters_->setEnabled(proxyType == int(ProxyMode::PROXY_USEPROXY));
}

void PreferencesDialog::StorePagesClicked() {
    Gallery_.SetDownloadHtmlPages(StorePages_->isChecked());
    // Stored pages can only be reused while pages are stored.
    ReusePages_->setEnabled(StorePages_->isChecked());
}

void PreferencesDialog::Connect() {
    SettingsKey& store = Gallery_.Store();
    const auto onClick = [this](QAbstractButton* box, auto apply) {
        connect(box, &QAbstractButton::clicked, this, apply);
    };
    const auto onText = [this](QLineEdit* edit, auto apply) {
        connect(edit, &QLineEdit::textChanged, this,
                [apply](const QString& text) { apply(text.toStdString()); });
    };
    const auto onTextBox = [this](QPlainTextEdit* memo, auto apply) {
        connect(memo, &QPlainTextEdit::textChanged, this,
                [memo, apply] { apply(TextBoxText(memo)); });
    };
    const auto onGroup = [this](QButtonGroup* group, auto apply) {
        connect(group, &QButtonGroup::idClicked, this, apply);
    };

    // General
    onClick(DisableWelcome_,
            [&store](bool on) { store.WriteBool(Setting::DisableWelcomeMessage.Entry, on); });
    // The stored name says the opposite of its use: true means visited
    // addresses are added to the history.
    onClick(AddToHistory_, [this, &store](bool on) {
        store.WriteBool(Setting::AddToAddressHistory.Entry, on);
        if (AddToHistoryHook) AddToHistoryHook(on);
    });

    // Thumbs
    onClick(AutoGetFullSized_, [this](bool on) { Gallery_.SetAutoGetFullSized(on); });
    onClick(FullSizeFirst_, [this](bool on) { Gallery_.SetGetFullSizeFirst(on); });
    connect(MaxTabs_, &QSpinBox::valueChanged, this, [this](int tabs) {
        if (!Filling_ && MainVisible() && tabs > 4) Gallery_.SetMaxNumberOfTabs(tabs);
    });
    onClick(GetVideos_, [this](bool on) {
        if (MainVisible()) Gallery_.SetGetVideos(on);
    });
    onClick(DisableNoPicsWarning_,
            [&store](bool on) { store.WriteBool(Setting::DisableNoPicsWarning.Entry, on); });

    // Viewer
    onClick(ShowComments_, [this, &store](bool on) {
        store.WriteBool(Setting::ViewerShowFullScreenComments.Entry, on);
        if (OnShowComments) OnShowComments(on);
    });
    onTextBox(ListedTypes_, [this, &store](const std::string& text) {
        const std::string types = LowerCase(text);
        if (ViewList_ != nullptr) ViewList_->SetListedTypes(types);
        store.WriteString(Setting::ViewerListedTypes.Entry, types);
    });

    // HTML Scanning
    onGroup(ResultFile_, [this](int mode) { Gallery_.SetResultsMode(std::uint8_t(mode)); });
    onClick(FilterEnabled_, [this](bool on) { Gallery_.SetKeywordsFilterEnabled(on); });
    onTextBox(KeywordsFilter_,
              [this](const std::string& text) { Gallery_.SetKeywordsFilter(text); });
    onText(HtmlQueueSize_, [this](const std::string& text) {
        Gallery_.SetMaxQueueSize(CheckIntegerText(text, true, 10, Messages_));
    });
    connect(HtmlConcurrent_, &QSpinBox::valueChanged, this, [this](int count) {
        if (!Filling_ && MainVisible()) Gallery_.SetHtmlConcurrentDownloads(count);
    });
    connect(HtmlConcurrentDefault_, &QPushButton::clicked, this,
            [this] { HtmlConcurrent_->setValue(2); });
    onTextBox(HtmlExtensions_,
              [this](const std::string& text) { Gallery_.SetHtmlExtensions(text); });
    onClick(StorePages_, [this] { StorePagesClicked(); });
    onClick(ReusePages_, [this](bool on) { Gallery_.SetReuseHtmlFiles(on); });
    onClick(SearchThumbs_, [this](bool on) { Gallery_.SetSearchThumbs(on); });
    onClick(ModernMarkup_, [this](bool on) { Gallery_.SetModernMarkup(on); });
    onClick(RunPageScripts_, [this](bool on) { Gallery_.SetRunPageScripts(on); });
    onClick(KeepCookies_, [this](bool on) { Gallery_.SetKeepCookies(on); });
    onClick(UseBrowserLogins_, [this](bool on) { Gallery_.SetUseBrowserLogins(on); });
    onClick(FindTextAddresses_, [this](bool on) { Gallery_.SetFindTextAddresses(on); });
    onClick(RememberOrigins_, [this](bool on) { Gallery_.SetRememberOrigins(on); });
    onClick(LimiterEnabled_, [this](bool on) { Gallery_.SetKeywordsLimiterEnabled(on); });
    onTextBox(KeywordsLimiter_,
              [this](const std::string& text) { Gallery_.SetKeywordsLimiter(text); });
    onText(ReferringUrl_,
           [this](const std::string& text) { Gallery_.SetInitialReferringUrl(text); });

    // Files downloads
    connect(ChooseFolderButton_, &QPushButton::clicked, this, [this] { ChooseStorageFolder(); });
    onGroup(DownloadType_, [this](int type) { Gallery_.SetDownloadType(DownloadFilter(type)); });
    connect(FilesConcurrent_, &QSpinBox::valueChanged, this, [this](int count) {
        if (!Filling_ && MainVisible()) Gallery_.SetFilesConcurrentDownloads(count);
    });
    connect(FilesConcurrentDefault_, &QPushButton::clicked, this,
            [this] { FilesConcurrent_->setValue(2); });
    // Lower-cased like the stored list, so that what runs is what the next
    // start loads.
    onTextBox(FileTypes_,
              [this](const std::string& text) { Gallery_.SetFileTypes(LowerCase(text)); });
    onClick(RespectRateLimits_, [this](bool on) {
        Gallery_.SetRespectRateLimits(on);
        ConnectionsPerHost_->setEnabled(on);
    });
    connect(ConnectionsPerHost_, &QSpinBox::valueChanged, this, [this](int count) {
        if (!Filling_) Gallery_.SetConnectionsPerHost(count);
    });
    onText(FilesQueueSize_, [this](const std::string& text) {
        Gallery_.SetMaxDownloadQueueSize(CheckIntegerText(text, true, 10, Messages_));
    });

    // Proxy
    onGroup(ProxyOptions_, [this](int type) {
        Gallery_.SetProxyType(ProxyMode(type));
        ShowProxyParameters(type);
    });
    onText(ProxyAddress_, [this](const std::string& text) { Gallery_.SetProxyAddress(text); });
    onText(ProxyPort_, [this](const std::string& text) {
        Gallery_.SetProxyPort(CheckIntegerText(text, true, 80, Messages_));
    });
    onText(ProxyUser_, [this](const std::string& text) { Gallery_.SetProxyUser(text); });
    onText(ProxyPassword_, [this](const std::string& text) { Gallery_.SetProxyPassword(text); });

    // Connection: refused values (retries below 1, time-outs below 20) are
    // left to the setters to ignore.
    onText(SiteUser_, [this](const std::string& text) { Gallery_.SetUserName(text); });
    onText(SitePassword_, [this](const std::string& text) { Gallery_.SetPassword(text); });
    onText(RetryCount_, [this](const std::string& text) {
        Gallery_.SetRetries(CheckIntegerText(text, false, Gallery_.Retries()));
    });
    onText(TimeOut_, [this](const std::string& text) {
        Gallery_.SetTimeOut(CheckIntegerText(text, false, Gallery_.TimeOut()));
    });

    // Bottom panel
    connect(OkButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(ResetButton_, &QPushButton::clicked, this, [this] { ResetAllParameters(); });
}

void PreferencesDialog::Fill() {
    SettingsKey& store = Gallery_.Store();
    const auto stored = [&store](const SettingDef& def) {
        return store.ReadBool(def.Entry, DefaultBool(def));
    };
    const auto number = [](int v) { return QString::number(v); };

    // Controls whose content changes run their handlers, which apply the
    // shown value once through the setters (and store it back); the gated
    // ones (tab limit, concurrency) stay quiet while filling.
    Filling_ = true;
    StorageFolder_->setText(Q(Gallery_.DownloadPath()));

    DisableWelcome_->setChecked(stored(Setting::DisableWelcomeMessage));
    AddToHistory_->setChecked(stored(Setting::AddToAddressHistory));

    AutoGetFullSized_->setChecked(Gallery_.AutoGetFullSized());
    FullSizeFirst_->setChecked(Gallery_.GetFullSizeFirst());
    MaxTabs_->setValue(Gallery_.MaxNumberOfTabs());
    GetVideos_->setChecked(Gallery_.GetVideos());
    DisableNoPicsWarning_->setChecked(stored(Setting::DisableNoPicsWarning));

    ShowComments_->setChecked(stored(Setting::ViewerShowFullScreenComments));
    SetTextBoxText(ListedTypes_, ViewList_ != nullptr
                                     ? ViewList_->GetListedTypes()
                                     : store.ReadString(Setting::ViewerListedTypes.Entry,
                                                        Setting::ViewerListedTypes.Default));

    if (QAbstractButton* mode = ResultFile_->button(Gallery_.ResultsMode)) mode->setChecked(true);
    FilterEnabled_->setChecked(Gallery_.KeywordsFilterEnabled);
    SetTextBoxText(KeywordsFilter_, Gallery_.GetKeywordsFilter());
    HtmlQueueSize_->setText(number(Gallery_.MaxQueueSize()));
    HtmlConcurrent_->setValue(Gallery_.HtmlConcurrentDownloads());
    SetTextBoxText(HtmlExtensions_, Gallery_.GetHtmlExtensions());
    StorePages_->setChecked(Gallery_.DownloadHtmlPages());
    ReusePages_->setChecked(Gallery_.ReuseHtmlFiles());
    SearchThumbs_->setChecked(Gallery_.SearchThumbs());
    ModernMarkup_->setChecked(Gallery_.ModernMarkup);
    RunPageScripts_->setChecked(Gallery_.RunPageScripts());
    KeepCookies_->setChecked(Gallery_.KeepCookies());
    UseBrowserLogins_->setChecked(Gallery_.UseBrowserLogins());
    FindTextAddresses_->setChecked(Gallery_.FindTextAddresses);
    RememberOrigins_->setChecked(Gallery_.RememberOrigins());
    LimiterEnabled_->setChecked(Gallery_.KeywordsLimiterEnabled);
    SetTextBoxText(KeywordsLimiter_, Gallery_.GetKeywordsLimiter());
    ReferringUrl_->setText(Q(Gallery_.InitialReferringUrl));

    if (QAbstractButton* type = DownloadType_->button(int(Gallery_.DownloadType())))
        type->setChecked(true);
    FilesConcurrent_->setValue(Gallery_.FilesConcurrentDownloads());
    SetTextBoxText(FileTypes_, Gallery_.FileTypes());
    FilesQueueSize_->setText(number(Gallery_.MaxDownloadQueueSize()));
    RespectRateLimits_->setChecked(Gallery_.RespectRateLimits());
    ConnectionsPerHost_->setValue(Gallery_.ConnectionsPerHost());
    ConnectionsPerHost_->setEnabled(Gallery_.RespectRateLimits());

    const int proxyType = int(Gallery_.ProxyType());
    if (QAbstractButton* type = ProxyOptions_->button(proxyType)) type->setChecked(true);
    ShowProxyParameters(proxyType);
    ProxyAddress_->setText(Q(Gallery_.ProxyAddress()));
    ProxyPort_->setText(number(Gallery_.ProxyPort()));
    ProxyUser_->setText(Q(Gallery_.ProxyUser()));
    ProxyPassword_->setText(Q(Gallery_.ProxyPassword()));

    SiteUser_->setText(Q(Gallery_.UserName()));
    SitePassword_->setText(Q(Gallery_.Password()));
    RetryCount_->setText(number(Gallery_.Retries()));
    TimeOut_->setText(number(Gallery_.TimeOut()));
    Filling_ = false;

    StorePagesClicked();

    // A field whose text did not change ran no handler, so the stored proxy,
    // credential, retry and time-out values go to both download managers
    // here, whatever the fields did.
    Gallery_.SetProxyType(Gallery_.ProxyType());
    Gallery_.SetProxyAddress(std::string(Gallery_.ProxyAddress()));
    Gallery_.SetProxyPort(Gallery_.ProxyPort());
    Gallery_.SetProxyUser(std::string(Gallery_.ProxyUser()));
    Gallery_.SetProxyPassword(std::string(Gallery_.ProxyPassword()));
    Gallery_.SetUserName(std::string(Gallery_.UserName()));
    Gallery_.SetPassword(std::string(Gallery_.Password()));
    Gallery_.SetRetries(Gallery_.Retries());
    Gallery_.SetTimeOut(Gallery_.TimeOut());
}

void PreferencesDialog::RefillTextBoxes() {
    // The lists as now in force: sorted and in lower case.
    const auto refill = [](QPlainTextEdit* memo, const std::string& text) {
        const QSignalBlocker block(memo);
        SetTextBoxText(memo, text);
    };
    refill(FileTypes_, Gallery_.FileTypes());
    refill(KeywordsFilter_, Gallery_.GetKeywordsFilter());
    refill(HtmlExtensions_, Gallery_.GetHtmlExtensions());
    refill(ListedTypes_, ViewList_ != nullptr
                             ? ViewList_->GetListedTypes()
                             : Gallery_.Store().ReadString(Setting::ViewerListedTypes.Entry,
                                                           Setting::ViewerListedTypes.Default));
}

void PreferencesDialog::done(int result) {
    RefillTextBoxes();
    if (StatusText) StatusText(QLatin1Char(' ') + Q(Gallery_.DownloadPath()));
    QDialog::done(result);
}

void PreferencesDialog::ChooseStorageFolder() {
    const QString chosen = ChooseFolder(QStringLiteral("Please choose the new files storage path:"),
                                        StorageFolder_->text());
    if (chosen.isEmpty()) return;
    const std::string folder = chosen.toStdString();
    Gallery_.SetDownloadPath(folder);
    // The chooser gives the folder without a separator at its end; the
    // results file goes inside it all the same.
    Gallery_.SetFileOfResults(ResultsFileIn(folder));
    StorageFolder_->setText(chosen);
}

void PreferencesDialog::ResetAllParameters() {
    if (!ConfirmReset(QStringLiteral("Reset to defaults values ?"))) return;
    // The store wipes the key when it goes at exit; the defaults come back
    // with the next start.
    Gallery_.Store().WriteBool(Setting::ResetAll.Entry, true);
    ShowMessage("You must restart " + QGuiApplication::applicationDisplayName().toStdString() +
                " for the default parameters to be effective");
}

void PreferencesDialog::ApplyVariant(AppVariant variant) {
    const bool scrivane = variant == APP_SCRIVANE;
    const bool missivant = variant == APP_MISSIVANT;
    const bool tessellon = variant == APP_TESSELLON;
    StorePages_->setVisible(!scrivane);
    ResultFileGroup_->setVisible(scrivane || missivant);
    FindTextAddresses_->setVisible(missivant);
    SetTabVisible(Pages_, ThumbsTab_, tessellon);
    SetTabVisible(Pages_, FilesTab_, !scrivane);
    if (!scrivane) {
        FilterDownloadsGroup_->setVisible(true);
        FileTypesGroup_->setVisible(!tessellon);
    }
    HtmlExtensionsGroup_->setVisible(!tessellon);
    BrowserProxyNote_->setVisible(tessellon);
    SetTabVisible(Pages_, GeneralTab_, !scrivane);
    if (missivant) SetTabVisible(Pages_, ViewerTab_, false);
    if (tessellon) ListedTypesGroup_->setVisible(false);
}
