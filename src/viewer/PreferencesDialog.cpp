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
class TBoxMessages : public IMessageSink {
public:
    explicit TBoxMessages(QWidget* owner) : Owner_(owner) {}
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
void SetMemo(QPlainTextEdit* memo, const std::string& listText) {
    QString text = Q(listText);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    memo->setPlainText(text);
}

std::string MemoText(const QPlainTextEdit* memo) {
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

TPagesDlg::TPagesDlg(TGVThumb& thumbs, IMessageSink* messages, TGVViewList* viewList,
                     QWidget* parent)
    : QDialog(parent), Thumbs_(thumbs),
      OwnMessages_(messages == nullptr ? std::make_unique<TBoxMessages>(this) : nullptr),
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

TPagesDlg::~TPagesDlg() = default;

bool TPagesDlg::MainVisible() const {
    if (MainWindowVisible) return MainWindowVisible();
    return parentWidget() != nullptr && parentWidget()->isVisible();
}

void TPagesDlg::ShowMessage(const std::string& text) {
    Messages_->ShowMessage(text);
}

void TPagesDlg::SetViewList(TGVViewList* viewList) {
    ViewList_ = viewList;
    if (ViewList_ != nullptr) {
        const QSignalBlocker block(ListedTypes_);
        SetMemo(ListedTypes_, ViewList_->GetListedTypes());
    }
}

void TPagesDlg::SetShowComments(bool on) {
    const QSignalBlocker block(ShowComments_);
    ShowComments_->setChecked(on);
}

bool TPagesDlg::ShowComments() const {
    return ShowComments_->isChecked();
}

bool TPagesDlg::WelcomeDisabled() const {
    return DisableWelcome_->isChecked();
}

void TPagesDlg::ShowProxyParameters(int proxyType) {
    ProxyParameters_->setEnabled(proxyType == int(TProxyType::PROXY_USEPROXY));
}

void TPagesDlg::StorePagesClicked() {
    Thumbs_.SetDownloadHtmlPages(StorePages_->isChecked());
    // Stored pages can only be reused while pages are stored.
    ReusePages_->setEnabled(StorePages_->isChecked());
}

void TPagesDlg::Connect() {
    TGVReg& store = Thumbs_.Store();
    const auto onClick = [this](QAbstractButton* box, auto apply) {
        connect(box, &QAbstractButton::clicked, this, apply);
    };
    const auto onText = [this](QLineEdit* edit, auto apply) {
        connect(edit, &QLineEdit::textChanged, this,
                [apply](const QString& text) { apply(text.toStdString()); });
    };
    const auto onMemo = [this](QPlainTextEdit* memo, auto apply) {
        connect(memo, &QPlainTextEdit::textChanged, this, [memo, apply] { apply(MemoText(memo)); });
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
        store.WriteBool(Setting::DoNotUpdateIEHistory.Entry, on);
        if (RegistryUpdateHook) RegistryUpdateHook(on);
    });

    // Thumbs
    onClick(AutoGetFullSized_, [this](bool on) { Thumbs_.SetAutoGetFullSized(on); });
    onClick(FullSizeFirst_, [this](bool on) { Thumbs_.SetGetFullSizeFirst(on); });
    connect(MaxTabs_, &QSpinBox::valueChanged, this, [this](int tabs) {
        if (!Filling_ && MainVisible() && tabs > 4) Thumbs_.SetMaxNumberOfTabs(tabs);
    });
    onClick(GetVideos_, [this](bool on) {
        if (MainVisible()) Thumbs_.SetGetVideos(on);
    });
    onClick(DisableNoPicsWarning_,
            [&store](bool on) { store.WriteBool(Setting::DisableNoPicsWarning.Entry, on); });

    // Viewer
    onClick(ShowComments_, [this, &store](bool on) {
        store.WriteBool(Setting::ViewerShowFullScreenComments.Entry, on);
        if (OnShowComments) OnShowComments(on);
    });
    onMemo(ListedTypes_, [this, &store](const std::string& text) {
        const std::string types = LowerCase(text);
        if (ViewList_ != nullptr) ViewList_->SetListedTypes(types);
        store.WriteString(Setting::ViewerListedTypes.Entry, types);
    });

    // HTML Scanning
    onGroup(ResultFile_, [this](int mode) { Thumbs_.SetResultsFile(std::uint8_t(mode)); });
    onClick(FilterEnabled_, [this](bool on) { Thumbs_.SetKeywordsFilterEnabled(on); });
    onMemo(KeywordsFilter_, [this](const std::string& text) { Thumbs_.SetKeywordsFilter(text); });
    onText(HtmlQueueSize_, [this](const std::string& text) {
        Thumbs_.SetMaxQueueSize(CheckIntegerText(text, true, 10, Messages_));
    });
    connect(HtmlConcurrent_, &QSpinBox::valueChanged, this, [this](int count) {
        if (!Filling_ && MainVisible()) Thumbs_.SetHtmlConcurrentDownloads(count);
    });
    connect(HtmlConcurrentDefault_, &QPushButton::clicked, this,
            [this] { HtmlConcurrent_->setValue(2); });
    onMemo(HtmlExtensions_, [this](const std::string& text) { Thumbs_.SetHtmlExtensions(text); });
    onClick(StorePages_, [this] { StorePagesClicked(); });
    onClick(ReusePages_, [this](bool on) { Thumbs_.SetReuseHtmlFiles(on); });
    onClick(SearchThumbs_, [this](bool on) { Thumbs_.SetSearchThumbs(on); });
    onClick(ModernMarkup_, [this](bool on) { Thumbs_.SetModernMarkup(on); });
    onClick(LimiterEnabled_, [this](bool on) { Thumbs_.SetKeywordsLimiterEnabled(on); });
    onMemo(KeywordsLimiter_, [this](const std::string& text) { Thumbs_.SetKeywordsLimiter(text); });
    onText(ReferringUrl_,
           [this](const std::string& text) { Thumbs_.SetInitialReferringUrl(text); });

    // Files downloads
    connect(ChooseFolderButton_, &QPushButton::clicked, this, [this] { ChooseStorageFolder(); });
    onGroup(DownloadType_, [this](int type) { Thumbs_.SetDownloadType(TDownloadType(type)); });
    connect(FilesConcurrent_, &QSpinBox::valueChanged, this, [this](int count) {
        if (!Filling_ && MainVisible()) Thumbs_.SetFilesConcurrentDownloads(count);
    });
    connect(FilesConcurrentDefault_, &QPushButton::clicked, this,
            [this] { FilesConcurrent_->setValue(2); });
    // Lower-cased like the stored list, so that what runs is what the next
    // start loads.
    onMemo(FileTypes_, [this](const std::string& text) { Thumbs_.SetFileTypes(LowerCase(text)); });
    onClick(RespectRateLimits_, [this](bool on) {
        Thumbs_.SetRespectRateLimits(on);
        ConnectionsPerHost_->setEnabled(on);
    });
    connect(ConnectionsPerHost_, &QSpinBox::valueChanged, this, [this](int count) {
        if (!Filling_) Thumbs_.SetConnectionsPerHost(count);
    });
    onText(FilesQueueSize_, [this](const std::string& text) {
        Thumbs_.SetMaxDownloadQueueSize(CheckIntegerText(text, true, 10, Messages_));
    });

    // Proxy
    onGroup(ProxyOptions_, [this](int type) {
        Thumbs_.SetProxyType(TProxyType(type));
        ShowProxyParameters(type);
    });
    onText(ProxyAddress_, [this](const std::string& text) { Thumbs_.SetProxyAddress(text); });
    onText(ProxyPort_, [this](const std::string& text) {
        Thumbs_.SetProxyPort(CheckIntegerText(text, true, 80, Messages_));
    });
    onText(ProxyUser_, [this](const std::string& text) { Thumbs_.SetProxyUser(text); });
    onText(ProxyPassword_, [this](const std::string& text) { Thumbs_.SetProxyPassword(text); });

    // Connection: refused values (retries below 1, time-outs below 20) are
    // left to the setters to ignore.
    onText(SiteUser_, [this](const std::string& text) { Thumbs_.SetUserName(text); });
    onText(SitePassword_, [this](const std::string& text) { Thumbs_.SetPassword(text); });
    onText(RetryCount_, [this](const std::string& text) {
        Thumbs_.SetRetries(CheckIntegerText(text, false, Thumbs_.Retries()));
    });
    onText(TimeOut_, [this](const std::string& text) {
        Thumbs_.SetTimeOut(CheckIntegerText(text, false, Thumbs_.TimeOut()));
    });

    // Bottom panel
    connect(OkButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(ResetButton_, &QPushButton::clicked, this, [this] { ResetAllParameters(); });
}

void TPagesDlg::Fill() {
    TGVReg& store = Thumbs_.Store();
    const auto stored = [&store](const TSettingDef& def) {
        return store.ReadBool(def.Entry, DefaultBool(def));
    };
    const auto number = [](int v) { return QString::number(v); };

    // Controls whose content changes run their handlers, which apply the
    // shown value once through the setters (and store it back); the gated
    // ones (tab limit, concurrency) stay quiet while filling.
    Filling_ = true;
    StorageFolder_->setText(Q(Thumbs_.DownloadPath()));

    DisableWelcome_->setChecked(stored(Setting::DisableWelcomeMessage));
    AddToHistory_->setChecked(stored(Setting::DoNotUpdateIEHistory));

    AutoGetFullSized_->setChecked(Thumbs_.AutoGetFullSized());
    FullSizeFirst_->setChecked(Thumbs_.GetFullSizeFirst());
    MaxTabs_->setValue(Thumbs_.MaxNumberOfTabs());
    GetVideos_->setChecked(Thumbs_.GetVideos());
    DisableNoPicsWarning_->setChecked(stored(Setting::DisableNoPicsWarning));

    ShowComments_->setChecked(stored(Setting::ViewerShowFullScreenComments));
    SetMemo(ListedTypes_, ViewList_ != nullptr
                              ? ViewList_->GetListedTypes()
                              : store.ReadString(Setting::ViewerListedTypes.Entry,
                                                 Setting::ViewerListedTypes.Default));

    if (QAbstractButton* mode = ResultFile_->button(Thumbs_.ResultsFile)) mode->setChecked(true);
    FilterEnabled_->setChecked(Thumbs_.KeywordsFilterEnabled);
    SetMemo(KeywordsFilter_, Thumbs_.GetKeywordsFilter());
    HtmlQueueSize_->setText(number(Thumbs_.MaxQueueSize()));
    HtmlConcurrent_->setValue(Thumbs_.HtmlConcurrentDownloads());
    SetMemo(HtmlExtensions_, Thumbs_.GetHtmlExtensions());
    StorePages_->setChecked(Thumbs_.DownloadHtmlPages());
    ReusePages_->setChecked(Thumbs_.ReuseHtmlFiles());
    SearchThumbs_->setChecked(Thumbs_.SearchThumbs());
    ModernMarkup_->setChecked(Thumbs_.ModernMarkup);
    LimiterEnabled_->setChecked(Thumbs_.KeywordsLimiterEnabled);
    SetMemo(KeywordsLimiter_, Thumbs_.GetKeywordsLimiter());
    ReferringUrl_->setText(Q(Thumbs_.InitialReferringUrl));

    if (QAbstractButton* type = DownloadType_->button(int(Thumbs_.DownloadType())))
        type->setChecked(true);
    FilesConcurrent_->setValue(Thumbs_.FilesConcurrentDownloads());
    SetMemo(FileTypes_, Thumbs_.FileTypes());
    FilesQueueSize_->setText(number(Thumbs_.MaxDownloadQueueSize()));
    RespectRateLimits_->setChecked(Thumbs_.RespectRateLimits());
    ConnectionsPerHost_->setValue(Thumbs_.ConnectionsPerHost());
    ConnectionsPerHost_->setEnabled(Thumbs_.RespectRateLimits());

    const int proxyType = int(Thumbs_.ProxyType());
    if (QAbstractButton* type = ProxyOptions_->button(proxyType)) type->setChecked(true);
    ShowProxyParameters(proxyType);
    ProxyAddress_->setText(Q(Thumbs_.ProxyAddress()));
    ProxyPort_->setText(number(Thumbs_.ProxyPort()));
    ProxyUser_->setText(Q(Thumbs_.ProxyUser()));
    ProxyPassword_->setText(Q(Thumbs_.ProxyPassword()));

    SiteUser_->setText(Q(Thumbs_.UserName()));
    SitePassword_->setText(Q(Thumbs_.Password()));
    RetryCount_->setText(number(Thumbs_.Retries()));
    TimeOut_->setText(number(Thumbs_.TimeOut()));
    Filling_ = false;

    StorePagesClicked();

    // A field whose text did not change ran no handler, so the stored proxy,
    // credential, retry and time-out values go to both download managers
    // here, whatever the fields did.
    Thumbs_.SetProxyType(Thumbs_.ProxyType());
    Thumbs_.SetProxyAddress(std::string(Thumbs_.ProxyAddress()));
    Thumbs_.SetProxyPort(Thumbs_.ProxyPort());
    Thumbs_.SetProxyUser(std::string(Thumbs_.ProxyUser()));
    Thumbs_.SetProxyPassword(std::string(Thumbs_.ProxyPassword()));
    Thumbs_.SetUserName(std::string(Thumbs_.UserName()));
    Thumbs_.SetPassword(std::string(Thumbs_.Password()));
    Thumbs_.SetRetries(Thumbs_.Retries());
    Thumbs_.SetTimeOut(Thumbs_.TimeOut());
}

void TPagesDlg::RefillMemos() {
    // The lists as now in force: sorted and in lower case.
    const auto refill = [](QPlainTextEdit* memo, const std::string& text) {
        const QSignalBlocker block(memo);
        SetMemo(memo, text);
    };
    refill(FileTypes_, Thumbs_.FileTypes());
    refill(KeywordsFilter_, Thumbs_.GetKeywordsFilter());
    refill(HtmlExtensions_, Thumbs_.GetHtmlExtensions());
    refill(ListedTypes_, ViewList_ != nullptr
                             ? ViewList_->GetListedTypes()
                             : Thumbs_.Store().ReadString(Setting::ViewerListedTypes.Entry,
                                                          Setting::ViewerListedTypes.Default));
}

void TPagesDlg::done(int result) {
    RefillMemos();
    if (StatusText) StatusText(QLatin1Char(' ') + Q(Thumbs_.DownloadPath()));
    QDialog::done(result);
}

void TPagesDlg::ChooseStorageFolder() {
    const QString chosen = ChooseFolder(QStringLiteral("Please choose the new files storage path:"),
                                        StorageFolder_->text());
    if (chosen.isEmpty()) return;
    const std::string folder = chosen.toStdString();
    Thumbs_.SetDownloadPath(folder);
    // The chooser gives the folder without a separator at its end; the
    // results file goes inside it all the same.
    Thumbs_.SetFileOfResults(ResultsFileIn(folder));
    StorageFolder_->setText(chosen);
}

void TPagesDlg::ResetAllParameters() {
    if (!ConfirmReset(QStringLiteral("Reset to defaults values ?"))) return;
    // The store wipes the key when it goes at exit; the defaults come back
    // with the next start.
    Thumbs_.Store().WriteBool(Setting::ResetAll.Entry, true);
    ShowMessage("You must restart " + QGuiApplication::applicationDisplayName().toStdString() +
                " for the default parameters to be effective");
}

void TPagesDlg::ApplyVariant(TAppli appli) {
    const bool scrivane = appli == APP_SCRIVANE;
    const bool missivant = appli == APP_MISSIVANT;
    const bool tessellon = appli == APP_TESSELLON;
    StorePages_->setVisible(!scrivane);
    ResultFileGroup_->setVisible(scrivane);
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
