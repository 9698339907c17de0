#include "ViewerWindow.h"

#include "gallery/ExceptionGuard.h"
#include "gallery/FilePath.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/HelpContext.h"
#include "gallery/MediaPlayer.h"
#include "gallery/MediaPlayerPlayback.h"
#include "gallery/ScreenCursor.h"
#include "http/OriginAttributes.h"

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
#include <QMimeData>
#include <QShowEvent>
#include <QStatusBar>
#include <QTableView>
#include <QVideoWidget>

#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

ViewerWindow::ViewerWindow(MessageSink* messages, std::string applicationTitle,
                           FullScreenDisplay* display, QWidget* parent)
    : QMainWindow(parent), Messages_(messages),
      List_(std::make_unique<ViewList>(messages, applicationTitle)), Display_(display),
      Settings_(std::make_unique<SettingsKey>(applicationTitle, messages)) {
    setWindowTitle(Q(applicationTitle) + QStringLiteral(" Viewer"));
    // A second window of the application: closing it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(800, 600);
    setWindowState(Qt::WindowMaximized);

    ShowComments_ = Settings_->ReadBool(Setting::ViewerShowFullScreenComments.Entry,
                                        DefaultBool(Setting::ViewerShowFullScreenComments));
    BuildGrid();
    BuildMenus();

    List_->CountLabel = [this](const std::string& text) {
        SetStatus(Q(text));
        StatusLabel_->repaint();
    };
    List_->BusyCursor = [](bool busy) {
        if (busy)
            setScreenCursor(ScreenCursor::Hourglass);
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
        auto* own = new FullScreenDisplay(this);
        auto* player = new MediaPlayer(own, messages);
        player->SetDisplay(own->VideoPanel());
        OwnPlayback_ = std::make_unique<MediaPlayerPlayback>(*player);
        own->SetVideoPlayer(OwnPlayback_.get());
        Display_ = own;
    }
    InstallDisplayHandlers();
    ApplyCommentsOption();
    UpdatePosition();
}

ViewerWindow::~ViewerWindow() {
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

void ViewerWindow::BuildGrid() {
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
    connect(Grid_, &QAbstractItemView::doubleClicked, this, [this] { GridActivated(); });
    connect(Grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { UpdatePosition(); });
    Grid_->installEventFilter(this);

    CopyAction = new QAction(QStringLiteral("Copy"), Grid_);
    CopyAction->setShortcut(QKeySequence::Copy);
    CopyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    SelectAllAction = new QAction(QStringLiteral("Select all"), Grid_);
    SelectAllAction->setShortcut(QKeySequence::SelectAll);
    SelectAllAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    DeleteFilesAction = new QAction(QStringLiteral("Delete selected files"), Grid_);
    // The grid holds the actions for their shortcuts; its popup menu is
    // made anew at each showing (GridMenuRequested).
    Grid_->addActions({CopyAction, SelectAllAction, DeleteFilesAction});
    Grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Grid_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { GridMenuRequested(at); });
    connect(CopyAction, &QAction::triggered, this, [this] { CopyClicked(); });
    connect(SelectAllAction, &QAction::triggered, this, [this] { SelectAllClicked(); });
    connect(DeleteFilesAction, &QAction::triggered, this, [this] { DeleteFilesClicked(); });

    StatusLabel_ = new QLabel(this);
    StatusLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusLabel_->setTextFormat(Qt::PlainText);
    StatusLabel_->setAccessibleName(QStringLiteral("library status"));
    statusBar()->addWidget(StatusLabel_);
}

void ViewerWindow::BuildMenus() {
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    SetHelpContext(FileMenu, 4000);
    ExitAction = AddItem(FileMenu, QStringLiteral("Exit"));
    connect(ExitAction, &QAction::triggered, this, [this] { close(); });

    BrowseAction = menuBar()->addAction(QStringLiteral("&Browse"));
    connect(BrowseAction, &QAction::triggered, this, [this] { BrowseClicked(); });

    FilterMenu = menuBar()->addMenu(QStringLiteral("F&ilter"));
    SetHelpContext(FilterMenu, 4200);
    UnviewedAction = AddItem(FilterMenu, QStringLiteral("Unviewed"), true);
    SizeMenu = FilterMenu->addMenu(QStringLiteral("Size"));
    SizeGroup_ = new QActionGroup(this);
    ThumbsOnlyAction = AddItem(SizeMenu, QStringLiteral("show only Thumbs"), true);
    FullSizeOnlyAction = AddItem(SizeMenu, QStringLiteral("show only Full Size"), true);
    ThumbsAndFullSizeAction = AddItem(SizeMenu, QStringLiteral("show Thumbs and Full Size"), true);
    QAction* sizes[] = {ThumbsOnlyAction, FullSizeOnlyAction, ThumbsAndFullSizeAction};
    for (int i = 0; i < 3; ++i) {
        SizeGroup_->addAction(sizes[i]);
        connect(sizes[i], &QAction::triggered, this, [this, i] { SizeClicked(i); });
    }
    SearchTextAction = AddItem(FilterMenu, QStringLiteral("Search String"), true);
    ClearFilterAction = AddItem(FilterMenu, QStringLiteral("Clear"), true);
    connect(UnviewedAction, &QAction::triggered, this, [this] { UnviewedClicked(); });
    connect(SearchTextAction, &QAction::triggered, this, [this] { SearchTextClicked(); });
    connect(ClearFilterAction, &QAction::triggered, this, [this] { ClearFilterClicked(); });

    SortMenu = menuBar()->addMenu(QStringLiteral("&Sort By"));
    SetHelpContext(SortMenu, 4300);
    SortGroup_ = new QActionGroup(this);
    SortByDateAction = AddItem(SortMenu, QStringLiteral("Date"), true);
    SortBySizeAction = AddItem(SortMenu, QStringLiteral("File Size"), true);
    SortByPathAction = AddItem(SortMenu, QStringLiteral("Path Tree"), true);
    SortByNameAction = AddItem(SortMenu, QStringLiteral("File Name"), true);
    const std::pair<QAction*, int> sorts[] = {{SortByDateAction, VIEWSORT_DATE},
                                              {SortBySizeAction, VIEWSORT_FILESIZE},
                                              {SortByPathAction, VIEWSORT_PATHTREE},
                                              {SortByNameAction, VIEWSORT_FILENAME}};
    for (const auto& [action, type] : sorts) {
        SortGroup_->addAction(action);
        connect(action, &QAction::triggered, this, [this, type = type] { SortClicked(type); });
    }
    SortMenu->addSeparator();
    DescendingAction = AddItem(SortMenu, QStringLiteral("(descending)"), true);
    connect(DescendingAction, &QAction::triggered, this, [this] { DescendingClicked(); });

    OptionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    SetHelpContext(OptionsMenu, 4400);
    ShowCommentsAction =
        AddItem(OptionsMenu, QStringLiteral("Show infos on full screen display"), true);
    connect(ShowCommentsAction, &QAction::triggered, this, [this] { ShowCommentsClicked(); });

    // Nothing to filter or sort before the first Browse.
    FilterMenu->menuAction()->setEnabled(false);
    SortMenu->menuAction()->setEnabled(false);
    SyncMenus();
}

// The check marks as the settings say.
void ViewerWindow::SyncMenus() {
    ShowCommentsAction->setChecked(ShowComments_);
    DescendingAction->setChecked(List_->SortDescending());
    UnviewedAction->setChecked(List_->UnviewedOnly());
    CheckSortItem();
    CheckSizeItem();
}

void ViewerWindow::CheckSortItem() {
    // By the stored number: 0 Date, 1 Path Tree, 2 File Size, 3 File Name.
    QAction* const items[] = {SortByDateAction, SortByPathAction, SortBySizeAction,
                              SortByNameAction};
    items[std::clamp(List_->SortType(), 0, 3)]->setChecked(true);
}

void ViewerWindow::CheckSizeItem() {
    QAction* const items[] = {ThumbsOnlyAction, FullSizeOnlyAction, ThumbsAndFullSizeAction};
    items[std::clamp(List_->DisplayedSize(), 0, 2)]->setChecked(true);
}

void ViewerWindow::InstallDisplayHandlers() {
    Display_->SetKeyHandler([this](QKeyEvent* event) { FullScreenKey(event); });
    Display_->SetClickHandler([this](Qt::MouseButton button) { MediaClick(button); });
    // List mode ends with the display, whoever closes it.
    Display_->installEventFilter(this);
}

// --- showing and hiding ---

void ViewerWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) RefreshOnShow();
}

void ViewerWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // A minimised window keeps its list.
    if (!event->spontaneous()) ClearOnHide();
}

void ViewerWindow::RefreshOnShow() {
    DescendingAction->setChecked(List_->SortDescending());
    UnviewedAction->setChecked(List_->UnviewedOnly());
    ApplyCommentsOption();
}

void ViewerWindow::ClearOnHide() {
    // A build that runs on is cleared when it ends.
    if (List_->Building()) {
        HiddenDuringBuild_ = true;
        return;
    }
    List_->ClearRecords();
    List_->ShowLines();
    UpdatePosition();
}

bool ViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Display_ && event->type() == QEvent::Hide) {
        ListMode_ = false;
    } else if (watched == Grid_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            GridActivated();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ViewerWindow::Guard(const std::function<void()>& action) {
    RunGuarded(action, Messages_);
}

// --- browse ---

void ViewerWindow::Browse() {
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
        FilterMenu->menuAction()->setEnabled(true);
        SortMenu->menuAction()->setEnabled(true);
        if (HiddenDuringBuild_) {
            HiddenDuringBuild_ = false;
            ClearOnHide();
            return;
        }
        SetCurrentRow(0);
        UpdatePosition();
    });
}

// --- sort items ---

void ViewerWindow::Resort() {
    List_->SortLines();
    List_->ShowLines();
    UpdatePosition();
}

void ViewerWindow::SortClicked(int sortType) {
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

void ViewerWindow::DescendingClicked() {
    Guard([this] {
        if (List_->Building()) {
            DescendingAction->setChecked(!DescendingAction->isChecked());
            return;
        }
        List_->SetSortDescending(DescendingAction->isChecked());
        Resort();
    });
}

// --- filter items ---

void ViewerWindow::Refilter() {
    const int row = CurrentRow();
    List_->Filter();
    List_->ShowLines();
    SetCurrentRow(std::min(row, List_->rowCount() - 1));
    UpdatePosition();
}

void ViewerWindow::UnviewedClicked() {
    Guard([this] {
        if (List_->Building()) {
            UnviewedAction->setChecked(!UnviewedAction->isChecked());
            return;
        }
        ClearFilterAction->setChecked(false);
        List_->SetUnviewedOnly(UnviewedAction->isChecked());
        Refilter();
    });
}

void ViewerWindow::SizeClicked(int displayedSize) {
    Guard([&] {
        if (List_->Building()) {
            CheckSizeItem();
            return;
        }
        ClearFilterAction->setChecked(false);
        List_->SetDisplayedSize(displayedSize);
        CheckSizeItem();
        Refilter();
    });
}

void ViewerWindow::SearchTextClicked() {
    Guard([this] {
        if (List_->Building()) {
            SearchTextAction->setChecked(!SearchTextAction->isChecked());
            return;
        }
        ClearFilterAction->setChecked(false);
        const bool active = SearchTextAction->isChecked();
        List_->SearchActive = active;
        if (active) {
            // Cancelled, the search goes on with the text it had.
            QString text = Q(List_->SearchText);
            if (AskSearchText && AskSearchText(text)) List_->SearchText = text.toStdString();
        }
        Refilter();
    });
}

void ViewerWindow::ClearFilterClicked() {
    Guard([this] {
        if (List_->Building()) {
            ClearFilterAction->setChecked(!ClearFilterAction->isChecked());
            return;
        }
        List_->SetSortDescending(false);
        List_->SetUnviewedOnly(false);
        List_->SearchActive = false;
        UnviewedAction->setChecked(false);
        SearchTextAction->setChecked(false);
        ClearFilterAction->setChecked(true);
        // "(descending)" keeps its check mark until the window is shown again.
        Refilter();
    });
}

// --- full-screen comments option ---

bool ViewerWindow::ShowFullScreenComments() const {
    return ShowComments_;
}

void ViewerWindow::SetShowFullScreenComments(bool show) {
    const bool changed = show != ShowComments_;
    ShowComments_ = show;
    ShowCommentsAction->setChecked(show);
    Settings_->WriteBool(Setting::ViewerShowFullScreenComments.Entry, show);
    ApplyCommentsOption();
    if (changed && OnShowCommentsChanged) OnShowCommentsChanged(show);
}

void ViewerWindow::ShowCommentsClicked() {
    Guard([this] { SetShowFullScreenComments(ShowCommentsAction->isChecked()); });
}

void ViewerWindow::ApplyCommentsOption() {
    if (Display_ != nullptr) Display_->SetShowComments(ShowComments_);
}

// --- grid and full-screen navigation ---

int ViewerWindow::CurrentRow() const {
    const QModelIndex current = Grid_->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void ViewerWindow::SetCurrentRow(int row) {
    if (row < 0 || row >= List_->rowCount()) return;
    Grid_->setCurrentIndex(List_->index(row, 0));
}

QString ViewerWindow::PositionText() const {
    const int rows = List_->rowCount();
    if (rows == 0) return QStringLiteral("0 / 0");
    QString text = QStringLiteral("%1 / %2").arg(CurrentRow() + 1).arg(rows);
    const std::string source = SourcePage(CurrentRow());
    if (!source.empty()) text += QStringLiteral("   source page: ") + Q(source);
    return text;
}

std::string ViewerWindow::SourcePage(int row) const {
    if (row < 0 || row >= List_->rowCount()) return {};
    const std::string path = List_->LineFullPath(row);
    return path.empty() ? std::string()
                        : OriginAttributes::Read(path, OriginAttributes::kReferrerName);
}

void ViewerWindow::UpdatePosition() {
    SetStatus(PositionText());
}

void ViewerWindow::SetStatus(const QString& text) {
    StatusLabel_->setText(text);
    StatusLabel_->setAccessibleDescription(text);
}

void ViewerWindow::GridActivated() {
    Guard([this] {
        ApplyCommentsOption();
        ShowMediaFullScreenAndNext(false);
    });
}

void ViewerWindow::ShowMediaFullScreenAndNext(bool advance) {
    int row = CurrentRow();
    if (advance && row < List_->rowCount() - 1) ++row;
    ShowRow(row);
}

void ViewerWindow::ShowPreviousImageFullScreen() {
    int row = CurrentRow();
    if (row > 0) --row;
    ShowRow(row);
}

void ViewerWindow::ShowRow(int row) {
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
    // The info line names the file and, when the file says, its source page.
    const std::string source = SourcePage(row);
    Display_->ShowMedia(source.empty() ? DisplayPath(path)
                                       : DisplayPath(path + "   source page: " + source),
                        full);
}

void ViewerWindow::MediaClick(Qt::MouseButton button) {
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

void ViewerWindow::FullScreenKey(QKeyEvent* event) {
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

std::pair<int, int> ViewerWindow::SelectedRows() const {
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

void ViewerWindow::GridMenuRequested(const QPoint& at) {
    Guard([&] {
        // A menu of its own, with items of its own, for every showing: Qt
        // keeps one accessible interface per action, bound to the first menu
        // that showed it, and once that menu is gone the action counts as no
        // item of any later menu, which then lists nothing to a screen reader.
        auto* menu = new QMenu(Grid_);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->setAccessibleName(QStringLiteral("library files menu"));
        for (QAction* shared : {CopyAction, SelectAllAction, DeleteFilesAction}) {
            QAction* item = menu->addAction(shared->text());
            item->setShortcut(shared->shortcut());
            item->setShortcutContext(Qt::WidgetShortcut);
            connect(item, &QAction::triggered, shared, &QAction::trigger);
        }
        const std::string source =
            SourcePage(Grid_->indexAt(at).isValid() ? Grid_->indexAt(at).row() : CurrentRow());
        QAction* open = menu->addAction(QStringLiteral("Open source page"));
        open->setEnabled(!source.empty() && OpenInBrowser);
        connect(open, &QAction::triggered, this,
                [this, source] { Guard([&] { OpenInBrowser(source); }); });
        menu->popup(Grid_->viewport()->mapToGlobal(at));
    });
}

void ViewerWindow::CopyClicked() {
    Guard([this] {
        const auto [top, bottom] = SelectedRows();
        // The names are bytes and need not be UTF-8: the file URLs carry
        // them exactly, for whatever pastes files; the text shows them to a
        // reader, each byte that is not UTF-8 as U+FFFD.
        std::vector<std::string> paths;
        QString text;
        for (int row = top; row <= bottom; ++row) {
            const std::string full = List_->LineFullPath(row);
            if (full.empty()) continue;
            paths.push_back(full);
            text += DisplayPath(full) + QLatin1Char('\n');
        }
        auto* data = new QMimeData;
        data->setText(text);
        if (!paths.empty()) data->setData(QStringLiteral("text/uri-list"), FileUriList(paths));
        QGuiApplication::clipboard()->setMimeData(data);
    });
}

void ViewerWindow::SelectAllClicked() {
    Grid_->selectAll();
}

void ViewerWindow::DeleteFilesClicked() {
    Guard([this] {
        if (List_->Building()) return;
        const auto [top, bottom] = SelectedRows();
        int moved = 0, failed = 0, noTrash = 0;
        for (int row = top; row <= bottom; ++row) {
            const std::string path = List_->LinePath(row);
            // The empty line, and a file gone meanwhile, are passed over.
            if (path.empty() || !Exists(List_->LineFullPath(row))) continue;
            switch (List_->TrashFile(path)) {
            case TrashOutcome::Moved:
                ++moved;
                break;
            case TrashOutcome::NoTrash:
                ++noTrash;
                ++failed;
                break;
            case TrashOutcome::Failed:
                ++failed;
                break;
            }
        }
        Browse();
        QString text = PositionText() +
                       QStringLiteral("   %1 moved to the Trash, %2 failed").arg(moved).arg(failed);
        if (noTrash > 0)
            text += QStringLiteral(" (%1 on a file system without a Trash, left in place)")
                        .arg(noTrash);
        SetStatus(text);
    });
}
