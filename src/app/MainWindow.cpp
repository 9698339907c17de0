#include "MainWindow.h"

#include "app/AboutBox.h"
#include "app/ActivityLight.h"
#include "app/AppMessageFilter.h"
#include "app/BatchedLines.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "app/PaintPacer.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/HelpContext.h"
#include "gallery/ScreenCursor.h"
#include "viewer/PreferencesDialog.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace {

// Space between the scanner group's controls.
constexpr int kGap = 6;

QPlainTextEdit* MakeListBox(QWidget* parent, const char* name) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(8);
    memo->setFont(fixed);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setAccessibleName(QString::fromLatin1(name));
    return memo;
}

// A group filling its sheet with three lists: the statistics (a few lines),
// the errors and what came (the largest).
QGroupBox* MakeListsGroup(QWidget* sheet, const char* caption, QPlainTextEdit*& stats,
                          const char* statsName, QPlainTextEdit*& errors, const char* errorsName,
                          QPlainTextEdit*& items, const char* itemsName) {
    auto* group = new QGroupBox(QString::fromLatin1(caption), sheet);
    auto* lists = new QVBoxLayout(group);
    stats = MakeListBox(group, statsName);
    stats->setMaximumHeight(120);
    errors = MakeListBox(group, errorsName);
    items = MakeListBox(group, itemsName);
    lists->addWidget(stats);
    lists->addWidget(errors, 1);
    lists->addWidget(items, 3);
    (new QVBoxLayout(sheet))->addWidget(group);
    return group;
}

QPushButton* MakeButton(QWidget* parent, const char* caption, const char* hint, int help) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    if (hint != nullptr) button->setToolTip(QString::fromLatin1(hint));
    if (help != 0) SetHelpContext(button, help);
    return button;
}

} // namespace

MainWindow::MainWindow(MessageSink* messages, QWidget* parent)
    : QMainWindow(parent), Messages_(messages) {
    IsShown = [this] { return isVisible(); };
    // The settings store names its key after the application title, so the
    // title comes before the controller.
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessellon"));
    setWindowTitle(QGuiApplication::applicationDisplayName());
    Gallery_ = std::make_unique<GalleryController>(messages, "Tessellon");
    BuildControls();
    BuildMenus();
    BuildStatusBar();
    About = new AboutBox(this);
    MakeOtherWindows();
    SetUpFromGallery();
    UpdateResumeAction();
    new PaintPacer(this); // a scan changes the window faster than it is worth painting
    const std::string unfinished = ScanJournal::UnfinishedAddress(Gallery_->DownloadPath());
    if (!unfinished.empty())
        SetStatusText(DetailStatusLabel, "an unfinished scan of " +
                                             QString::fromStdString(unfinished) +
                                             " can be resumed (File > Resume unfinished scan)");
}

void MainWindow::MakeOtherWindows() {
    // One full-screen display for the gallery and the library, on this
    // window's screen.
    FullScreenDisplay* display = Gallery_->Display(this);
    Viewer_ = std::make_unique<ViewerWindow>(Messages_, "Tessellon", display);
    Viewer_->DownloadPath = [this] { return Gallery_->DownloadPath(); };
    Viewer_->OpenInBrowser = [this](const std::string& url) {
        if (OnNavigate) OnNavigate(QString::fromStdString(url));
    };
    Prefs_ = std::make_unique<PreferencesDialog>(*Gallery_, Messages_, &Viewer_->List(), this);
    Prefs_->MainWindowVisible = [this] { return IsShown(); };
    Prefs_->StatusText = [this](const QString& text) { SetStatusText(ActivityStatusLabel, text); };
    // The comments option lives in both; each tells the other.
    Prefs_->OnShowComments = [this](bool on) { Viewer_->SetShowFullScreenComments(on); };
    Viewer_->OnShowCommentsChanged = [this](bool on) { Prefs_->SetShowComments(on); };
    QObject::connect(ViewerAction, &QAction::triggered, this, [this] {
        Viewer_->show();
        Viewer_->raise();
        Viewer_->activateWindow();
    });
    QObject::connect(PreferencesAction, &QAction::triggered, this, [this] {
        Prefs_->show();
        Prefs_->raise();
    });
}

MainWindow::~MainWindow() {
    if (AppMessage_) qApp->removeEventFilter(AppMessage_.get());
    // Both use the controller: they go before it.
    Prefs_.reset();
    Viewer_.reset();
    // The gallery's pages live in the page control: free them first.
    Gallery_->ClearTabs();
    Gallery_.reset();
}

void MainWindow::BuildControls() {
    Tabs = new QTabWidget(this);
    Tabs->setAccessibleName(QStringLiteral("pages"));
    setCentralWidget(Tabs);

    // --- Home ---
    HomeTab = new QWidget;
    auto* home = new QVBoxLayout(HomeTab);
    ScannerGroup = new QGroupBox(QStringLiteral("scanner"), HomeTab);
    SetHelpContext(ScannerGroup, 3000);
    ScannerGroup->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    home->addWidget(ScannerGroup);
    BrowserGroup = new QGroupBox(QStringLiteral("embedded browser"), HomeTab);
    SetHelpContext(BrowserGroup, 3000);
    home->addWidget(BrowserGroup, 1);

    QWidget* g = ScannerGroup;
    CapturePanel = new LightPanel(QStringLiteral("browser capture      "), g);
    CapturePanel->setToolTip(
        "indicate brower-to-scanner address capture when Ctrl-clicking on a link "
        "in the browser window");
    SetHelpContext(CapturePanel, 2900);
    CaptureLight = CapturePanel->Light();
    CaptureLight->setAccessibleName(QStringLiteral("capture light"));
    CaptureLight->SetWhitePen(true);
    CapturePanel->SetToggle(true);
    CapturePanel->OnMouseDown = [this] {
        CaptureOn = !CaptureOn;
        SetCaptureLight();
    };

    ScanAddressBox = new EditComboBox(g);
    ScanAddressBox->setToolTip("Html scanner starting address. Enter the address or right-click "
                               "to paste it from the clipboard");
    SetHelpContext(ScanAddressBox, 2000);
    ScanAddressBox->SetAccessibleName(QStringLiteral("scan address"));
    ReloadButton =
        MakeButton(g, "Reload",
                   "Reload an already analyzed Url (the \"store Hmtl pages\" option must "
                   "be enabled)",
                   2200);
    StartButton =
        MakeButton(g, "Start", "Start analyzing the Url address entered on the left", 2100);
    SearchLabel = new QLabel(QStringLiteral("search"), g);
    DepthLabel = new QLabel(QStringLiteral("depth"), g);
    DepthSpinBox = new QSpinBox(g);
    DepthSpinBox->setRange(1, 999);
    DepthSpinBox->setWrapping(false);
    DepthSpinBox->setToolTip(QStringLiteral("Search depth level (starting from the current page)"));
    DepthSpinBox->setAccessibleName(QStringLiteral("search depth"));
    SetHelpContext(DepthSpinBox, 2800);

    PageActivityPanel = new LightPanel(QStringLiteral("getting pages      "), g);
    PageActivityPanel->setToolTip(
        QStringLiteral("Led flashing indicates current html pages downloads"));
    SetHelpContext(PageActivityPanel, 2300);
    PageLight = PageActivityPanel->Light();
    PageLight->setAccessibleName(QStringLiteral("page activity light"));
    PageActivityPanel->OnMouseDown = [this] {
        const int index = Tabs->indexOf(PageAnalysisTab);
        if (index >= 0 && Tabs->isTabVisible(index)) Tabs->setCurrentIndex(index);
    };
    StopPagesButton = MakeButton(g, "stop", "Cancel html page analysis", 2500);
    StopPagesButton->setAccessibleDescription(QStringLiteral("page work"));
    FileActivityPanel = new LightPanel(QStringLiteral(" getting pics      "), g);
    FileActivityPanel->setToolTip(QStringLiteral("Led flashing indicates current files downloads"));
    SetHelpContext(FileActivityPanel, 2400);
    FileLight = FileActivityPanel->Light();
    FileLight->setAccessibleName(QStringLiteral("file activity light"));
    StopFilesButton = MakeButton(g, "stop", "Cancel files downloads", 2600);
    StopFilesButton->setAccessibleDescription(QStringLiteral("file work"));
    StayOnSiteCheckBox = new QCheckBox(QStringLiteral("stay on site"), g);
    StayOnSiteCheckBox->setToolTip(
        QStringLiteral("Limit recursive pages analysis to current site"));
    CloseTabsButton = MakeButton(g, "close tabs", nullptr, 0);
    ThrowTabsButton = MakeButton(g, "throw tabs", nullptr, 0);
    LayOutScanner();

    Tabs->addTab(HomeTab, QStringLiteral("Home"));

    // --- Log: hidden for good ---
    LogTab = new QWidget;
    Tabs->addTab(LogTab, QStringLiteral("Log"));
    Tabs->setTabVisible(Tabs->indexOf(LogTab), false);

    // --- Html page analysis, Files downloads ---
    PageAnalysisTab = new QWidget;
    PageAnalysisGroup =
        MakeListsGroup(PageAnalysisTab, "html pages analysis", PageStatsText, "page statistics",
                       PageErrorsList, "page errors", LinksList, "links found");
    Tabs->addTab(PageAnalysisTab, QStringLiteral("Html page analysis"));
    FileDownloadsTab = new QWidget;
    FileDownloadsGroup =
        MakeListsGroup(FileDownloadsTab, "Files downloads", FileStatsText, "file statistics",
                       FileErrorsList, "file errors", ReceivedFilesList, "files received");
    Tabs->addTab(FileDownloadsTab, QStringLiteral("Files downloads"));

    // --- Mail progress ---
    MailTab = new QWidget;
    auto* mailLayout = new QVBoxLayout(MailTab);
    MailAddressesList = MakeListBox(MailTab, "mail addresses");
    mailLayout->addWidget(MailAddressesList);
    Tabs->addTab(MailTab, QStringLiteral("Mail progress"));

    // At every thousandth line a list starts again under a marker line; the
    // received files' marker is spelt its own way.
    const QString next = QStringLiteral("------------ NEXT 1000 ITEMS ...");
    Links_ = std::make_unique<BatchedLines>(LinksList, next, 1000);
    Mails_ = std::make_unique<BatchedLines>(MailAddressesList, next, 1000);
    Received_ = std::make_unique<BatchedLines>(
        ReceivedFilesList, QStringLiteral("------------ NEXT 1000 IT EMS ..."), 1000);
    PageErrors_ = std::make_unique<BatchedLines>(PageErrorsList);
    FileErrors_ = std::make_unique<BatchedLines>(FileErrorsList);

    // --- commands ---
    QObject::connect(StartButton, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { StartClicked(); }, Messages_); });
    QObject::connect(ReloadButton, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { ReloadClicked(); }, Messages_); });
    QObject::connect(StopPagesButton, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { StopPagesClicked(); }, Messages_); });
    QObject::connect(StopFilesButton, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { StopFilesClicked(); }, Messages_); });
    QObject::connect(CloseTabsButton, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Gallery_->CloseTabs(false); }, Messages_); });
    QObject::connect(ThrowTabsButton, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Gallery_->CloseTabs(true); }, Messages_); });
    QObject::connect(StayOnSiteCheckBox, &QCheckBox::clicked, this, [this](bool checked) {
        RunGuarded([&] { StayOnSiteClicked(checked); }, Messages_);
    });
    QObject::connect(DepthSpinBox, &QSpinBox::valueChanged, this, [this](int depth) {
        RunGuarded([&] { Gallery_->SetDepthSearchLevel(depth); }, Messages_);
    });
    QObject::connect(ScanAddressBox, &QComboBox::textActivated, this,
                     [this] { RunGuarded([this] { ReloadCheck(); }, Messages_); });
    ScanAddressBox->OnAddedItem = [this] { RunGuarded([this] { HistorySave(); }, Messages_); };
    ScanAddressBox->OnContextPaste = [this] { RunGuarded([this] { PasteAndStart(); }, Messages_); };
}

void MainWindow::BuildMenus() {
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    SetHelpContext(FileMenu, 1000);
    SaveMailAction = FileMenu->addAction(QStringLiteral("Save mail addresses\u2026"));
    QObject::connect(SaveMailAction, &QAction::triggered, this,
                     [this] { RunGuarded([this] { SaveMailAddressesClicked(); }, Messages_); });
    ChooseSaveFile = [this](const QString& caption) {
        return QFileDialog::getSaveFileName(this, caption, QDir::homePath());
    };
    ResumeAction = FileMenu->addAction(QStringLiteral("Resume unfinished scan"));
    ResumeAction->setEnabled(false);
    QObject::connect(ResumeAction, &QAction::triggered, this,
                     [this] { RunGuarded([this] { ResumeClicked(); }, Messages_); });
    ExitAction = FileMenu->addAction(QStringLiteral("E&xit"));
    QObject::connect(ExitAction, &QAction::triggered, this, [this] { close(); });
    ViewerAction = menuBar()->addAction(QStringLiteral("&List"));
    OptionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    SetHelpContext(OptionsMenu, 6000);
    PreferencesAction = OptionsMenu->addAction(QStringLiteral("&Preferences"));
    CleanFoldersAction =
        OptionsMenu->addAction(QStringLiteral("&Clean empty directories in storage folder"));
    QObject::connect(CleanFoldersAction, &QAction::triggered, this,
                     [this] { RunGuarded([this] { CleanStorageFolders(); }, Messages_); });
    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    SetHelpContext(HelpMenu, 1000);
    OverviewAction = HelpMenu->addAction(QStringLiteral("&Overview"));
    UserGuideAction = HelpMenu->addAction(QStringLiteral("&User guide"));
    AboutAction = HelpMenu->addAction(QStringLiteral("&About"));
    QObject::connect(OverviewAction, &QAction::triggered, this,
                     [this] { OpenUserGuide(QStringLiteral("overview")); });
    QObject::connect(UserGuideAction, &QAction::triggered, this, [this] { OpenUserGuide({}); });
    QObject::connect(AboutAction, &QAction::triggered, this, [this] { About->show(); });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::ApplicationShortcut);
    QObject::connect(f1, &QShortcut::activated, this, [this] {
        RunGuarded([this] { ShowContextHelp(QApplication::focusWidget()); }, Messages_);
    });
}

void MainWindow::BuildStatusBar() {
    const auto panel = [this](const char* name, int width, int stretch) {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setAccessibleName(QString::fromLatin1(name));
        if (width > 0) label->setMinimumWidth(width);
        statusBar()->addWidget(label, stretch);
        return label;
    };
    StorageStatusLabel = panel("storage and links status", 500, 0);
    DetailStatusLabel = panel("status detail", 0, 0);
    ActivityStatusLabel = panel("activity status", 50, 1); // the last one takes the rest
}

void MainWindow::SetUpFromGallery() {
    Gallery_->OnAddressClick = [this](const std::string& address) {
        if (OnOpenInNewWindow) OnOpenInNewWindow(QString::fromStdString(address));
    };
    Gallery_->OnReloadPage = [this](const std::string& address) {
        ReloadMark = 1;
        StartFromAddress(QString::fromStdString(address), true, true);
    };
    Gallery_->SetLogsEnabled(false);
    Gallery_->SetFileOfResults(ResultsFileIn(Gallery_->DownloadPath()));
    Gallery_->OnPageReceived = [this](Component*, const std::string&, const std::string& url,
                                      const std::string&,
                                      const std::string&) { PageAnalysing(url, false); };
    Gallery_->OnTabVisible = [this](bool visible) { TabsVisible(visible); };
    Gallery_->TerminateApplication = [] { QCoreApplication::quit(); };

    ShowStoredSettings();
    ReloadButton->setEnabled(false);
    CloseTabsButton->setEnabled(false);
    ThrowTabsButton->setEnabled(false);
    CaptureOn = false;
    PageLight->SetColour(LightColour::Gray);
    FileLight->SetColour(LightColour::Gray);
    SetCaptureLight();
    AppMessage_ = std::make_unique<AppMessageFilter>(*this);
    qApp->installEventFilter(AppMessage_.get());
}

void MainWindow::ShowStoredSettings() {
    StayOnSiteCheckBox->setChecked(Gallery_->StayOnSite);
    const QStringList history = QString::fromStdString(Gallery_->ScanHistory())
                                    .split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
    ScanAddressBox->clear();
    ScanAddressBox->addItems(history);
    ScanAddressBox->setCurrentIndex(history.isEmpty() ? -1 : 0);
    DepthSpinBox->setValue(Gallery_->DepthSearchLevel());
    SetStatusText(StorageStatusLabel,
                  " Storage: " + QString::fromStdString(Gallery_->DownloadPath()));
}

void MainWindow::ShowContextHelp(QWidget* focused) {
    ShowHelpTopic(HelpContextOf(focused));
    if (focused != nullptr && !focused->toolTip().isEmpty())
        QWhatsThis::showText(focused->mapToGlobal(QPoint(0, focused->height())), focused->toolTip(),
                             focused);
}

void MainWindow::AfterCreate() {
    if (!VariantApplied) {
        ApplyVariant(APP_TESSELLON);
        VariantApplied = true;
    }
}

void MainWindow::SetCapture(bool on) {
    if (on == CaptureOn) return;
    CaptureOn = on;
    SetCaptureLight();
}

void MainWindow::SetCaptureLight() {
    CaptureLight->SetColour(CaptureOn ? LightColour::Blue : LightColour::Black);
    CapturePanel->SetChecked(CaptureOn);
}

void MainWindow::SetStatusText(QLabel* panel, const QString& text) {
    panel->setText(text);
    panel->setAccessibleDescription(text);
}

// Two rows: the address with its commands and the depth, then the lights
// with their stop buttons and the options. Each control keeps the width its
// caption needs; the address box takes what is left, and what a face hides
// takes no room.
void MainWindow::LayOutScanner() {
    auto* rows = new QVBoxLayout(ScannerGroup);
    rows->setSpacing(kGap);
    auto* first = new QHBoxLayout;
    first->setSpacing(kGap);
    first->addWidget(CapturePanel);
    first->addWidget(ScanAddressBox, 1);
    first->addWidget(ReloadButton);
    first->addWidget(StartButton);
    auto* labels = new QVBoxLayout;
    labels->setSpacing(0);
    labels->addWidget(SearchLabel);
    labels->addWidget(DepthLabel);
    first->addLayout(labels);
    first->addWidget(DepthSpinBox);
    auto* second = new QHBoxLayout;
    second->setSpacing(kGap);
    for (QWidget* w : std::initializer_list<QWidget*>{
             PageActivityPanel, StopPagesButton, FileActivityPanel, StopFilesButton,
             StayOnSiteCheckBox, CloseTabsButton, ThrowTabsButton})
        second->addWidget(w);
    second->addStretch(1);
    rows->addLayout(first);
    rows->addLayout(second);
    // A long address in the history must not widen the window.
    ScanAddressBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ScanAddressBox->setMinimumContentsLength(16);
}
