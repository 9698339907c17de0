#include "ViewerWindow.h"

#include "gallery/ExceptionGuard.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/HelpContext.h"
#include "gallery/MediaPlayer.h"
#include "gallery/ScreenCursor.h"
#include "gallery/VideoPlayback.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHideEvent>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QTableView>
#include <QVideoWidget>

#include <sys/stat.h>

#include <algorithm>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

QAction* AddItem(QMenu* menu, const QString& caption, bool checkable = false) {
    QAction* action = menu->addAction(caption);
    action->setCheckable(checkable);
    return action;
}

} // namespace

TGVViewer::TGVViewer(IMessageSink* messages, std::string applicationTitle, TImgDisp* display,
                     QWidget* parent)
    : QMainWindow(parent), Messages_(messages),
      List_(std::make_unique<TGVViewList>(messages, applicationTitle)), Display_(display),
      Reg_(std::make_unique<TGVReg>(applicationTitle, messages)) {
    setWindowTitle(Q(applicationTitle) + QStringLiteral(" Viewer"));
    // A second window of the application: closing it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(800, 600);
    setWindowState(Qt::WindowMaximized);

    ShowComments_ = Reg_->ReadBool(Setting::ViewerShowFullScreenComments.Entry,
                                   DefaultBool(Setting::ViewerShowFullScreenComments));
    BuildGrid();
    BuildMenus();

    List_->CountLabel = [this](const std::string& text) {
        SetStatus(Q(text));
        StaticText1_->repaint();
    };
    List_->BusyCursor = [](bool busy) {
        if (busy)
            setScreenCursor(TScreenCursor::Hourglass);
        else
            restoreSavedCursor();
    };
    AskSearchText = [this](QString& text) {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, QStringLiteral("Search string"),
                                                     QStringLiteral("Enter the search string "),
                                                     QLineEdit::Normal, text, &ok);
        if (ok) text = answer;
        return ok;
    };

    if (Display_ == nullptr) {
        auto* own = new TImgDisp(this);
        auto* player = new TSmartMediaPlayer(own, messages);
        player->SetDisplay(own->Panel1());
        OwnPlayback_ = std::make_unique<TSmartPlayerPlayback>(*player);
        own->SetVideoPlayer(OwnPlayback_.get());
        Display_ = own;
    }
    InstallDisplayHandlers();
    ApplyCommentsOption();
    UpdatePosition();
}

TGVViewer::~TGVViewer() {
    if (Display_ == nullptr) return;
    if (OwnPlayback_) {
        // The display's tile refers to the playback adapter: both go now.
        delete Display_.data();
        return;
    }
    // A shared display outlives this window: it returns to the gallery's
    // handling.
    Display_->removeEventFilter(this);
    Display_->SetKeyHandler({});
    Display_->SetClickHandler({});
}

// --- construction ---

void TGVViewer::BuildGrid() {
    Grid_ = new QTableView(this);
    Grid_->setAccessibleName(QStringLiteral("library"));
    Grid_->setModel(List_.get());
    Grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    Grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid_->setWordWrap(false);
    Grid_->setTabKeyNavigation(false);
    Grid_->horizontalHeader()->hide();
    Grid_->verticalHeader()->hide();
    Grid_->horizontalHeader()->setDefaultSectionSize(1000);
    Grid_->horizontalHeader()->setStretchLastSection(true);

    // The lines are columns of text: a fixed-pitch font keeps them aligned.
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    Grid_->setFont(font);
    Grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid_->verticalHeader()->setDefaultSectionSize(std::max(16, QFontMetrics(font).height() + 2));
    QPalette colours = Grid_->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Button));
    Grid_->setPalette(colours);
    SetHelpContext(Grid_, 4000);
    setCentralWidget(Grid_);

    connect(Grid_, &QAbstractItemView::clicked, this, [this] { UpdatePosition(); });
    connect(Grid_, &QAbstractItemView::doubleClicked, this, [this] { StringGrid1DblClick(); });
    connect(Grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { UpdatePosition(); });
    Grid_->installEventFilter(this);

    Copy1 = new QAction(QStringLiteral("Copy"), Grid_);
    Copy1->setShortcut(QKeySequence::Copy);
    Copy1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    Selectall1 = new QAction(QStringLiteral("Select all"), Grid_);
    Selectall1->setShortcut(QKeySequence::SelectAll);
    Selectall1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    delete1 = new QAction(QStringLiteral("Delete selected files"), Grid_);
    Grid_->addActions({Copy1, Selectall1, delete1});
    Grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
    connect(Selectall1, &QAction::triggered, this, [this] { Selectall1Click(); });
    connect(delete1, &QAction::triggered, this, [this] { delete1Click(); });

    StaticText1_ = new QLabel(this);
    StaticText1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText1_->setTextFormat(Qt::PlainText);
    StaticText1_->setAccessibleName(QStringLiteral("library status"));
    statusBar()->addWidget(StaticText1_);
}

void TGVViewer::BuildMenus() {
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    SetHelpContext(File1, 4000);
    Exit1 = AddItem(File1, QStringLiteral("Exit"));
    connect(Exit1, &QAction::triggered, this, [this] { close(); });

    Browse1 = menuBar()->addAction(QStringLiteral("&Browse"));
    connect(Browse1, &QAction::triggered, this, [this] { Browse1Click(); });

    Filter1 = menuBar()->addMenu(QStringLiteral("F&ilter"));
    SetHelpContext(Filter1, 4200);
    Unviewed1 = AddItem(Filter1, QStringLiteral("Unviewed"), true);
    Size1 = Filter1->addMenu(QStringLiteral("Size"));
    SizeGroup_ = new QActionGroup(this);
    showonlyThumbs1 = AddItem(Size1, QStringLiteral("show only Thumbs"), true);
    showonlyFullSize1 = AddItem(Size1, QStringLiteral("show only Full Size"), true);
    showThumbsandFullsize1 = AddItem(Size1, QStringLiteral("show Thumbs and Full Size"), true);
    QAction* sizes[] = {showonlyThumbs1, showonlyFullSize1, showThumbsandFullsize1};
    for (int i = 0; i < 3; ++i) {
        SizeGroup_->addAction(sizes[i]);
        connect(sizes[i], &QAction::triggered, this, [this, i] { SizeClick(i); });
    }
    SearchString1 = AddItem(Filter1, QStringLiteral("Search String"), true);
    Clear1 = AddItem(Filter1, QStringLiteral("Clear"), true);
    connect(Unviewed1, &QAction::triggered, this, [this] { Unviewed1Click(); });
    connect(SearchString1, &QAction::triggered, this, [this] { SearchString1Click(); });
    connect(Clear1, &QAction::triggered, this, [this] { Clear1Click(); });

    SortBy1 = menuBar()->addMenu(QStringLiteral("&Sort By"));
    SetHelpContext(SortBy1, 4300);
    SortGroup_ = new QActionGroup(this);
    Date1 = AddItem(SortBy1, QStringLiteral("Date"), true);
    FileSize1 = AddItem(SortBy1, QStringLiteral("File Size"), true);
    PathTree1 = AddItem(SortBy1, QStringLiteral("Path Tree"), true);
    FileName1 = AddItem(SortBy1, QStringLiteral("File Name"), true);
    const std::pair<QAction*, int> sorts[] = {{Date1, VIEWSORT_DATE},
                                              {FileSize1, VIEWSORT_FILESIZE},
                                              {PathTree1, VIEWSORT_PATHTREE},
                                              {FileName1, VIEWSORT_FILENAME}};
    for (const auto& [action, type] : sorts) {
        SortGroup_->addAction(action);
        connect(action, &QAction::triggered, this, [this, type = type] { SortClick(type); });
    }
    SortBy1->addSeparator();
    Descending1 = AddItem(SortBy1, QStringLiteral("(descending)"), true);
    connect(Descending1, &QAction::triggered, this, [this] { Descending1Click(); });

    Options1 = menuBar()->addMenu(QStringLiteral("&Options"));
    SetHelpContext(Options1, 4400);
    ShowFullScreenComments1 =
        AddItem(Options1, QStringLiteral("Show infos on full screen display"), true);
    connect(ShowFullScreenComments1, &QAction::triggered, this,
            [this] { ShowFullScreenComments1Click(); });

    // Nothing to filter or sort before the first Browse.
    Filter1->menuAction()->setEnabled(false);
    SortBy1->menuAction()->setEnabled(false);
    SyncMenus();
}

// The check marks as the settings say.
void TGVViewer::SyncMenus() {
    ShowFullScreenComments1->setChecked(ShowComments_);
    Descending1->setChecked(List_->SortDescending());
    Unviewed1->setChecked(List_->UnviewedOnly());
    CheckSortItem();
    CheckSizeItem();
}

void TGVViewer::CheckSortItem() {
    // By the stored number: 0 Date, 1 Path Tree, 2 File Size, 3 File Name.
    QAction* const items[] = {Date1, PathTree1, FileSize1, FileName1};
    items[std::clamp(List_->SortType(), 0, 3)]->setChecked(true);
}

void TGVViewer::CheckSizeItem() {
    QAction* const items[] = {showonlyThumbs1, showonlyFullSize1, showThumbsandFullsize1};
    items[std::clamp(List_->DisplayedSize(), 0, 2)]->setChecked(true);
}

void TGVViewer::InstallDisplayHandlers() {
    Display_->SetKeyHandler([this](QKeyEvent* event) { FullScreenKey(event); });
    Display_->SetClickHandler([this](Qt::MouseButton button) { MediaClick(button); });
    // List mode ends with the display, whoever closes it.
    Display_->installEventFilter(this);
}

// --- showing and hiding ---

void TGVViewer::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TGVViewer::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // A minimised window keeps its list.
    if (!event->spontaneous()) FormHide();
}

void TGVViewer::FormShow() {
    Descending1->setChecked(List_->SortDescending());
    Unviewed1->setChecked(List_->UnviewedOnly());
    ApplyCommentsOption();
}

void TGVViewer::FormHide() {
    // A build that runs on is cleared when it ends.
    if (List_->Building()) {
        HiddenDuringBuild_ = true;
        return;
    }
    List_->ClearRecords();
    List_->ShowLines();
    UpdatePosition();
}

bool TGVViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Display_ && event->type() == QEvent::Hide) {
        ListMode_ = false;
    } else if (watched == Grid_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            StringGrid1DblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TGVViewer::Guard(const std::function<void()>& action) {
    RunGuarded(action, Messages_);
}

// --- browse ---

void TGVViewer::Browse() {
    Guard([this] {
        if (List_->Building()) return;
        const std::string path = DownloadPath ? DownloadPath() : List_->RootFolder;
        if (!IsFolder(path)) {
            if (Messages_) Messages_->ShowMessage("directory " + path + " not available");
            return;
        }
        List_->ClearRecords();
        List_->Filter(); // the one empty line
        SetCurrentRow(0);
        Grid_->repaint();
        UpdatePosition();
        HiddenDuringBuild_ = false;
        List_->RootFolder = path;
        List_->Build();
        Filter1->menuAction()->setEnabled(true);
        SortBy1->menuAction()->setEnabled(true);
        if (HiddenDuringBuild_) {
            HiddenDuringBuild_ = false;
            FormHide();
            return;
        }
        SetCurrentRow(0);
        UpdatePosition();
    });
}

// --- sort items ---

void TGVViewer::Resort() {
    List_->SortLines();
    List_->ShowLines();
    UpdatePosition();
}

void TGVViewer::SortClick(int sortType) {
    Guard([&] {
        if (List_->Building()) {
            CheckSortItem();
            return;
        }
        List_->SetSortType(sortType);
        CheckSortItem();
        Resort();
    });
}

void TGVViewer::Descending1Click() {
    Guard([this] {
        if (List_->Building()) {
            Descending1->setChecked(!Descending1->isChecked());
            return;
        }
        List_->SetSortDescending(Descending1->isChecked());
        Resort();
    });
}

// --- filter items ---

void TGVViewer::Refilter() {
    const int row = CurrentRow();
    List_->Filter();
    List_->ShowLines();
    SetCurrentRow(std::min(row, List_->rowCount() - 1));
    UpdatePosition();
}

void TGVViewer::Unviewed1Click() {
    Guard([this] {
        if (List_->Building()) {
            Unviewed1->setChecked(!Unviewed1->isChecked());
            return;
        }
        Clear1->setChecked(false);
        List_->SetUnviewedOnly(Unviewed1->isChecked());
        Refilter();
    });
}

void TGVViewer::SizeClick(int displayedSize) {
    Guard([&] {
        if (List_->Building()) {
            CheckSizeItem();
            return;
        }
        Clear1->setChecked(false);
        List_->SetDisplayedSize(displayedSize);
        CheckSizeItem();
        Refilter();
    });
}

void TGVViewer::SearchString1Click() {
    Guard([this] {
        if (List_->Building()) {
            SearchString1->setChecked(!SearchString1->isChecked());
            return;
        }
        Clear1->setChecked(false);
        const bool active = SearchString1->isChecked();
        List_->SearchActive = active;
        if (active) {
            // Cancelled, the search goes on with the text it had.
            QString text = Q(List_->SearchText);
            if (AskSearchText && AskSearchText(text)) List_->SearchText = text.toStdString();
        }
        Refilter();
    });
}

void TGVViewer::Clear1Click() {
    Guard([this] {
        if (List_->Building()) {
            Clear1->setChecked(!Clear1->isChecked());
            return;
        }
        List_->SetSortDescending(false);
        List_->SetUnviewedOnly(false);
        List_->SearchActive = false;
        Unviewed1->setChecked(false);
        SearchString1->setChecked(false);
        Clear1->setChecked(true);
        // "(descending)" keeps its check mark until the window is shown again.
        Refilter();
    });
}

// --- full-screen comments option ---

bool TGVViewer::ShowFullScreenComments() const {
    return ShowComments_;
}

void TGVViewer::SetShowFullScreenComments(bool show) {
    const bool changed = show != ShowComments_;
    ShowComments_ = show;
    ShowFullScreenComments1->setChecked(show);
    Reg_->WriteBool(Setting::ViewerShowFullScreenComments.Entry, show);
    ApplyCommentsOption();
    if (changed && OnShowCommentsChanged) OnShowCommentsChanged(show);
}

void TGVViewer::ShowFullScreenComments1Click() {
    Guard([this] { SetShowFullScreenComments(ShowFullScreenComments1->isChecked()); });
}

void TGVViewer::ApplyCommentsOption() {
    if (Display_ != nullptr) Display_->SetShowComments(ShowComments_);
}

// --- grid and full-screen navigation ---

int TGVViewer::CurrentRow() const {
    const QModelIndex current = Grid_->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void TGVViewer::SetCurrentRow(int row) {
    if (row < 0 || row >= List_->rowCount()) return;
    Grid_->setCurrentIndex(List_->index(row, 0));
}

QString TGVViewer::PositionText() const {
    const int rows = List_->rowCount();
    if (rows == 0) return QStringLiteral("0 / 0");
    return QStringLiteral("%1 / %2").arg(CurrentRow() + 1).arg(rows);
}

void TGVViewer::UpdatePosition() {
    SetStatus(PositionText());
}

void TGVViewer::SetStatus(const QString& text) {
    StaticText1_->setText(text);
    StaticText1_->setAccessibleDescription(text);
}

void TGVViewer::StringGrid1DblClick() {
    Guard([this] {
        ApplyCommentsOption();
        ShowMediaFullScreenAndNext(false);
    });
}

void TGVViewer::ShowMediaFullScreenAndNext(bool advance) {
    int row = CurrentRow();
    if (advance && row < List_->rowCount() - 1) ++row;
    ShowRow(row);
}

void TGVViewer::ShowPreviousImageFullScreen() {
    int row = CurrentRow();
    if (row > 0) --row;
    ShowRow(row);
}

void TGVViewer::ShowRow(int row) {
    if (Display_ == nullptr || List_->Building() || row < 0 || row >= List_->rowCount()) return;
    SetCurrentRow(row);
    UpdatePosition();
    const std::string path = List_->LinePath(row);
    const std::string full = List_->LineFullPath(row);
    // A file that is there but cannot be marked is shown anyway; the
    // message has been given either way.
    if (!List_->MarkViewed(path) && !IsRegularFile(full)) return;
    if (!Display_->isVisible()) ApplyCommentsOption();
    // List mode belongs to whoever shows the display: from here on its keys
    // walk the grid, until it closes.
    ListMode_ = true;
    Display_->ShowMedia(Q(path), Q(full));
}

void TGVViewer::MediaClick(Qt::MouseButton button) {
    Guard([&] {
        if (!ListMode_) {
            Display_->GalleryClick(button);
        } else if (button == Qt::LeftButton) {
            ShowMediaFullScreenAndNext(true);
        } else if (button == Qt::RightButton) {
            ShowPreviousImageFullScreen();
        }
    });
}

void TGVViewer::FullScreenKey(QKeyEvent* event) {
    Guard([&] {
        if (!ListMode_) {
            Display_->GalleryKey(event);
            return;
        }
        switch (event->key()) {
        case Qt::Key_Backspace:
            ShowPreviousImageFullScreen();
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            ShowMediaFullScreenAndNext(true);
            break;
        default:
            break; // "+" and "-" have no pages to turn here
        }
    });
}

// --- popup menu ---

std::pair<int, int> TGVViewer::SelectedRows() const {
    int top = CurrentRow(), bottom = top;
    const QModelIndexList rows = Grid_->selectionModel()->selectedRows();
    if (!rows.isEmpty()) {
        top = bottom = rows.front().row();
        for (const QModelIndex& index : rows) {
            top = std::min(top, index.row());
            bottom = std::max(bottom, index.row());
        }
    }
    return {top, std::min(bottom, List_->rowCount() - 1)};
}

void TGVViewer::Copy1Click() {
    Guard([this] {
        const auto [top, bottom] = SelectedRows();
        QString text;
        for (int row = top; row <= bottom; ++row) {
            const std::string full = List_->LineFullPath(row);
            if (!full.empty()) text += Q(full) + QLatin1Char('\n');
        }
        QGuiApplication::clipboard()->setText(text);
    });
}

void TGVViewer::Selectall1Click() {
    Grid_->selectAll();
}

void TGVViewer::delete1Click() {
    Guard([this] {
        if (List_->Building()) return;
        const auto [top, bottom] = SelectedRows();
        int deleted = 0, failed = 0;
        for (int row = top; row <= bottom; ++row) {
            const std::string path = List_->LinePath(row);
            // The empty line, and a file gone meanwhile, are passed over.
            if (path.empty() || !Exists(List_->LineFullPath(row))) continue;
            if (List_->DeleteFile(path))
                ++deleted;
            else
                ++failed;
        }
        Browse();
        SetStatus(PositionText() +
                  QStringLiteral("   %1 deleted, %2 failed").arg(deleted).arg(failed));
    });
}
