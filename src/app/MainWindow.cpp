#include "MainWindow.h"

#include "app/AboutBox.h"
#include "app/ActivityLight.h"
#include "app/AppMessageFilter.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "app/MemoLines.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/HelpContext.h"
#include "gallery/ScreenCursor.h"
#include "viewer/PreferencesDialog.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
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

// Row geometry of the scanner group.
constexpr int kRow1 = 20, kRow2 = 50, kRowHeight = 24, kMargin = 8, kGap = 6;

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name) {
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
    stats = MakeMemo(group, statsName);
    stats->setMaximumHeight(120);
    errors = MakeMemo(group, errorsName);
    items = MakeMemo(group, itemsName);
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

TForm1::TForm1(IMessageSink* messages, QWidget* parent) : QMainWindow(parent), Messages_(messages) {
    IsShown = [this] { return isVisible(); };
    // The settings store names its key after the application title, so the
    // title comes before the controller.
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessellon"));
    setWindowTitle(QGuiApplication::applicationDisplayName());
    ThumbScan1 = std::make_unique<TGVThumb>(messages, "Tessellon");
    BuildControls();
    BuildMenus();
    BuildStatusBar();
    AboutBox = new TOKBottomDlg(this);
    MakeOtherWindows();
    FormCreate();
}

void TForm1::MakeOtherWindows() {
    // One full-screen display for the gallery and the library, on this
    // window's screen.
    TImgDisp* display = ThumbScan1->FullScreenDisplay(this);
    Viewer_ = std::make_unique<TGVViewer>(Messages_, "Tessellon", display);
    Viewer_->DownloadPath = [this] { return ThumbScan1->DownloadPath(); };
    Prefs_ = std::make_unique<TPagesDlg>(*ThumbScan1, Messages_, &Viewer_->List(), this);
    Prefs_->MainWindowVisible = [this] { return IsShown(); };
    Prefs_->StatusText = [this](const QString& text) { SetStatusText(StatusPanel2, text); };
    // The comments option lives in both; each tells the other.
    Prefs_->OnShowComments = [this](bool on) { Viewer_->SetShowFullScreenComments(on); };
    Viewer_->OnShowCommentsChanged = [this](bool on) { Prefs_->SetShowComments(on); };
    QObject::connect(Viewer1, &QAction::triggered, this, [this] {
        Viewer_->show();
        Viewer_->raise();
        Viewer_->activateWindow();
    });
    QObject::connect(Preferences1, &QAction::triggered, this, [this] {
        Prefs_->show();
        Prefs_->raise();
    });
}

TForm1::~TForm1() {
    if (AppMessage_) qApp->removeEventFilter(AppMessage_.get());
    // Both use the controller: they go before it.
    Prefs_.reset();
    Viewer_.reset();
    // The gallery's pages live in the page control: free them first.
    ThumbScan1->ClearTabs();
    ThumbScan1.reset();
}

void TForm1::BuildControls() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setAccessibleName(QStringLiteral("pages"));
    setCentralWidget(PageControl1);

    // --- Home ---
    TabSheet1 = new QWidget;
    auto* home = new QVBoxLayout(TabSheet1);
    ScannerGroup = new QGroupBox(QStringLiteral("scanner"), TabSheet1);
    SetHelpContext(ScannerGroup, 3000);
    ScannerGroup->setMinimumHeight(kRow2 + kRowHeight + kMargin);
    ScannerGroup->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    home->addWidget(ScannerGroup);
    GroupBox1 = new QGroupBox(QStringLiteral("embedded browser"), TabSheet1);
    SetHelpContext(GroupBox1, 3000);
    home->addWidget(GroupBox1, 1);

    QWidget* g = ScannerGroup;
    Panel6 = new TLightPanel(QStringLiteral("browser capture      "), g);
    Panel6->setToolTip("indicate brower-to-scanner address capture when Ctrl-clicking on a link "
                       "in the browser window");
    SetHelpContext(Panel6, 2900);
    Shape2 = Panel6->Light();
    Shape2->setAccessibleName(QStringLiteral("capture light"));
    Shape2->SetWhitePen(true);
    Panel6->setGeometry(kMargin, kRow1, 130, kRowHeight);
    Panel6->SetToggle(true);
    Panel6->OnMouseDown = [this] {
        CaptureOn = !CaptureOn;
        SetCaptureLight();
    };

    EditCombobox1 = new TEditCombobox(g);
    EditCombobox1->setToolTip("Html scanner starting address. Enter the address or right-click "
                              "to paste it from the clipboard");
    SetHelpContext(EditCombobox1, 2000);
    EditCombobox1->SetAccessibleName(QStringLiteral("scan address"));
    Button3 = MakeButton(g, "Reload",
                         "Reload an already analyzed Url (the \"store Hmtl pages\" option must "
                         "be enabled)",
                         2200);
    Button1 = MakeButton(g, "Start", "Start analyzing the Url address entered on the left", 2100);
    SearchLabel = new QLabel(QStringLiteral("search"), g);
    DepthLabel = new QLabel(QStringLiteral("depth"), g);
    Edit1 = new QSpinBox(g);
    Edit1->setRange(1, 999);
    Edit1->setWrapping(false);
    Edit1->setToolTip(QStringLiteral("Search depth level (starting from the current page)"));
    Edit1->setAccessibleName(QStringLiteral("search depth"));
    SetHelpContext(Edit1, 2800);

    Panel2 = new TLightPanel(QStringLiteral("getting pages      "), g);
    Panel2->setToolTip(QStringLiteral("Led flashing indicates current html pages downloads"));
    SetHelpContext(Panel2, 2300);
    Shape1 = Panel2->Light();
    Shape1->setAccessibleName(QStringLiteral("page activity light"));
    Panel2->setGeometry(kMargin, kRow2, 130, kRowHeight);
    Panel2->OnMouseDown = [this] {
        const int index = PageControl1->indexOf(TabSheet2);
        if (index >= 0 && PageControl1->isTabVisible(index)) PageControl1->setCurrentIndex(index);
    };
    Button9 = MakeButton(g, "stop", "Cancel html page analysis", 2500);
    Button9->setAccessibleDescription(QStringLiteral("page work"));
    Button9->setGeometry(142, kRow2, 50, kRowHeight);
    Panel3 = new TLightPanel(QStringLiteral(" getting pics      "), g);
    Panel3->setToolTip(QStringLiteral("Led flashing indicates current files downloads"));
    SetHelpContext(Panel3, 2400);
    Shape3 = Panel3->Light();
    Shape3->setAccessibleName(QStringLiteral("file activity light"));
    Panel3->setGeometry(200, kRow2, 130, kRowHeight);
    Button10 = MakeButton(g, "stop", "Cancel files downloads", 2600);
    Button10->setAccessibleDescription(QStringLiteral("file work"));
    Button10->setGeometry(334, kRow2, 50, kRowHeight);
    CheckBox1 = new QCheckBox(QStringLiteral("stay on site"), g);
    CheckBox1->setToolTip(QStringLiteral("Limit recursive pages analysis to current site"));
    CheckBox1->setGeometry(392, kRow2, 100, kRowHeight);
    Button2 = MakeButton(g, "close tabs", nullptr, 0);
    Button2->setGeometry(500, kRow2, 80, kRowHeight);
    Button4 = MakeButton(g, "throw tabs", nullptr, 0);
    Button4->setGeometry(584, kRow2, 80, kRowHeight);
    Button3->resize(60, kRowHeight);
    Button1->resize(60, kRowHeight);
    AddressRightOf_ = Button3;
    ScannerGroup->installEventFilter(this);

    PageControl1->addTab(TabSheet1, QStringLiteral("Home"));

    // --- Log: hidden for good ---
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet3, QStringLiteral("Log"));
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), false);

    // --- Html page analysis, Files downloads ---
    TabSheet2 = new QWidget;
    GroupBox7 = MakeListsGroup(TabSheet2, "html pages analysis", Memo1, "page statistics", Memo5,
                               "page errors", Memo4, "links found");
    PageControl1->addTab(TabSheet2, QStringLiteral("Html page analysis"));
    TabSheet5 = new QWidget;
    GroupBox3 = MakeListsGroup(TabSheet5, "Files downloads", Memo2, "file statistics", Memo9,
                               "file errors", Memo8, "files received");
    PageControl1->addTab(TabSheet5, QStringLiteral("Files downloads"));

    // --- Mail progress ---
    TabSheet4 = new QWidget;
    auto* mailLayout = new QVBoxLayout(TabSheet4);
    Memo6 = MakeMemo(TabSheet4, "mail addresses");
    mailLayout->addWidget(Memo6);
    PageControl1->addTab(TabSheet4, QStringLiteral("Mail progress"));

    // At every thousandth line a list starts again under a marker line; the
    // received files' marker is spelt its own way.
    const QString next = QStringLiteral("------------ NEXT 1000 ITEMS ...");
    Links_ = std::make_unique<TMemoLines>(Memo4, next, 1000);
    Mails_ = std::make_unique<TMemoLines>(Memo6, next, 1000);
    Received_ = std::make_unique<TMemoLines>(
        Memo8, QStringLiteral("------------ NEXT 1000 IT EMS ..."), 1000);
    PageErrors_ = std::make_unique<TMemoLines>(Memo5);
    FileErrors_ = std::make_unique<TMemoLines>(Memo9);

    // --- commands ---
    QObject::connect(Button1, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Button1Click(); }, Messages_); });
    QObject::connect(Button3, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Button3Click(); }, Messages_); });
    QObject::connect(Button9, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Button9Click(); }, Messages_); });
    QObject::connect(Button10, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Button10Click(); }, Messages_); });
    QObject::connect(Button2, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { ThumbScan1->CloseTabs(false); }, Messages_); });
    QObject::connect(Button4, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { ThumbScan1->CloseTabs(true); }, Messages_); });
    QObject::connect(CheckBox1, &QCheckBox::clicked, this, [this](bool checked) {
        RunGuarded([&] { StayOnSiteClicked(checked); }, Messages_);
    });
    QObject::connect(Edit1, &QSpinBox::valueChanged, this, [this](int depth) {
        RunGuarded([&] { ThumbScan1->SetDepthSearchLevel(depth); }, Messages_);
    });
    QObject::connect(EditCombobox1, &QComboBox::textActivated, this,
                     [this] { RunGuarded([this] { ReloadCheck(); }, Messages_); });
    EditCombobox1->OnAddedItem = [this] { RunGuarded([this] { HistorySave(); }, Messages_); };
    EditCombobox1->OnContextPaste = [this] { RunGuarded([this] { PasteAndStart(); }, Messages_); };
}

void TForm1::BuildMenus() {
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    SetHelpContext(FileMenu, 1000);
    Exit1 = FileMenu->addAction(QStringLiteral("E&xit"));
    QObject::connect(Exit1, &QAction::triggered, this, [this] { close(); });
    Viewer1 = menuBar()->addAction(QStringLiteral("&List"));
    OptionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    SetHelpContext(OptionsMenu, 6000);
    Preferences1 = OptionsMenu->addAction(QStringLiteral("&Preferences"));
    CleanFolders1 =
        OptionsMenu->addAction(QStringLiteral("&Clean empty directories in storage folder"));
    QObject::connect(CleanFolders1, &QAction::triggered, this,
                     [this] { RunGuarded([this] { CleanStorageFolders(); }, Messages_); });
    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    SetHelpContext(HelpMenu, 1000);
    Overview1 = HelpMenu->addAction(QStringLiteral("&Overview"));
    Userguide1 = HelpMenu->addAction(QStringLiteral("&User guide"));
    About1 = HelpMenu->addAction(QStringLiteral("&About"));
    QObject::connect(Overview1, &QAction::triggered, this, [this] { ShowHelpTopic(1000); });
    QObject::connect(Userguide1, &QAction::triggered, this, [this] { ShowHelpTopic(-1); });
    QObject::connect(About1, &QAction::triggered, this, [this] { AboutBox->show(); });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::ApplicationShortcut);
    QObject::connect(f1, &QShortcut::activated, this, [this] {
        RunGuarded([this] { FormHelp(QApplication::focusWidget()); }, Messages_);
    });
}

void TForm1::BuildStatusBar() {
    const auto panel = [this](const char* name, int width, int stretch) {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setAccessibleName(QString::fromLatin1(name));
        if (width > 0) label->setMinimumWidth(width);
        statusBar()->addWidget(label, stretch);
        return label;
    };
    StatusPanel0 = panel("storage and links status", 500, 0);
    StatusPanel1 = panel("status detail", 0, 0);
    StatusPanel2 = panel("activity status", 50, 1); // the last one takes the rest
}

void TForm1::FormCreate() {
    ThumbScan1->OnAddressClick = [this](const std::string& address) {
        if (OnOpenInNewWindow) OnOpenInNewWindow(QString::fromStdString(address));
    };
    ThumbScan1->OnReloadPage = [this](const std::string& address) {
        ReloadMark = 1;
        StartFromAddress(QString::fromStdString(address), true, true);
    };
    ThumbScan1->SetLogsEnabled(false);
    ThumbScan1->SetFileOfResults(ResultsFileIn(ThumbScan1->DownloadPath()));
    ThumbScan1->OnPageReceived = [this](TComponent*, const std::string&, const std::string& url,
                                        const std::string&,
                                        const std::string&) { PageAnalysing(url, false); };
    ThumbScan1->OnTabVisible = [this](bool visible) { TabsVisible(visible); };
    ThumbScan1->TerminateApplication = [] { QCoreApplication::quit(); };

    CheckBox1->setChecked(ThumbScan1->StayOnSite);
    const QStringList history = QString::fromStdString(ThumbScan1->HistoryScanner())
                                    .split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
    EditCombobox1->addItems(history);
    EditCombobox1->setCurrentIndex(history.isEmpty() ? -1 : 0);
    Edit1->setValue(ThumbScan1->DepthSearchLevel());
    Button3->setEnabled(false);
    Button2->setEnabled(false);
    Button4->setEnabled(false);
    SetStatusText(StatusPanel0, " Storage: " + QString::fromStdString(ThumbScan1->DownloadPath()));
    CaptureOn = false;
    Shape1->SetColour(LightColour::Gray);
    Shape3->SetColour(LightColour::Gray);
    SetCaptureLight();
    AppMessage_ = std::make_unique<TAppMessageFilter>(*this);
    qApp->installEventFilter(AppMessage_.get());
}

void TForm1::FormHelp(QWidget* focused) {
    ShowHelpTopic(HelpContextOf(focused));
    if (focused != nullptr && !focused->toolTip().isEmpty())
        QWhatsThis::showText(focused->mapToGlobal(QPoint(0, focused->height())), focused->toolTip(),
                             focused);
}

void TForm1::AfterCreate() {
    if (!VariantApplied) {
        ApplyVariant(APP_TESSELLON);
        VariantApplied = true;
    }
}

void TForm1::SetCapture(bool on) {
    if (on == CaptureOn) return;
    CaptureOn = on;
    SetCaptureLight();
}

void TForm1::SetCaptureLight() {
    Shape2->SetColour(CaptureOn ? LightColour::Blue : LightColour::Black);
    Panel6->SetChecked(CaptureOn);
}

void TForm1::SetStatusText(QLabel* panel, const QString& text) {
    panel->setText(text);
    panel->setAccessibleDescription(text);
}

void TForm1::LayoutScannerRow() {
    const int right = ScannerGroup->width() - kMargin;
    const int labelWidth =
        std::max(SearchLabel->sizeHint().width(), DepthLabel->sizeHint().width());
    const int labelHeight = kRowHeight / 2;
    Edit1->setGeometry(right - 56, kRow1, 56, kRowHeight);
    const int labelLeft = Edit1->x() - 4 - labelWidth;
    SearchLabel->setGeometry(labelLeft, kRow1, labelWidth, labelHeight);
    DepthLabel->setGeometry(labelLeft, kRow1 + labelHeight, labelWidth, labelHeight);
    Button1->move(labelLeft - kGap - Button1->width(), kRow1);
    Button3->move(Button1->x() - 4 - Button3->width(), kRow1);
    const int left = AddressAfterCapture_ ? Panel6->x() + Panel6->width() + kGap : Panel6->x();
    const int end = AddressRightOf_ != nullptr ? AddressRightOf_->x() - kGap : right;
    EditCombobox1->setGeometry(left, kRow1, std::max(end - left, 40), kRowHeight);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ScannerGroup && event->type() == QEvent::Resize) LayoutScannerRow();
    return QMainWindow::eventFilter(watched, event);
}
