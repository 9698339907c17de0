#pragma once

// The library window: every downloaded picture and video of the storage
// folder as one line per row, to be sorted, filtered, searched, copied,
// moved to the Trash and shown full screen one after another. It also owns
// the input handling of the full-screen display: while the display shows
// the library's files (list mode) keys and clicks walk the grid; while it
// shows what the gallery put there, they go to the gallery's navigation.

#include "gallery/FullScreenDisplay.h"
#include "viewer/ViewList.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QActionGroup;
class QKeyEvent;
class QLabel;
class QMenu;
class QTableView;
class VideoPlayback;

class ViewerWindow : public QMainWindow {
public:
    // display: the full-screen display shared with the gallery (not owned);
    // without one the window makes its own. messages: where the texts for
    // the user go.
    explicit ViewerWindow(MessageSink* messages, std::string applicationTitle = "Tessellon",
                          FullScreenDisplay* display = nullptr, QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // --- what the main window sets and calls ---

    // The storage folder Browse lists, asked at every Browse (the gallery
    // controller's DownloadPath).
    std::function<std::string()> DownloadPath;
    // Rebuilds the list from the storage folder. Ignored while a build runs.
    void Browse();

    // "Show infos on full screen display": the menu item's check mark, the
    // stored setting and the display's help and name lines. The setter
    // stores the value and applies it; OnShowCommentsChanged is told of
    // every change, whoever made it (the preferences dialog keeps its check
    // box in step through it).
    bool ShowFullScreenComments() const;
    void SetShowFullScreenComments(bool show);
    std::function<void(bool show)> OnShowCommentsChanged;
    // Shows or hides the display's help and name lines as the option says.
    void ApplyCommentsOption();

    // The display's input handlers, installed at creation. In list mode
    // they walk the grid; otherwise they pass the input on to the gallery's
    // handling of the display.
    void MediaClick(Qt::MouseButton button);
    void FullScreenKey(QKeyEvent* event);
    // True while the display shows a file this window put there; it ends
    // when the display closes.
    bool ListMode() const { return ListMode_; }

    // List-mode navigation: marks the current row's file viewed and shows
    // it; next moves down first (not past the last row), previous moves up
    // (not past the first). A row without a file on disk shows
    // "unable to open " + its path and opens no display.
    void ShowMediaFullScreenAndNext(bool advance);
    void ShowPreviousImageFullScreen();

    // The position text: current row + 1, " / ", the number of rows, and the
    // page the current file came from when the file says so.
    void UpdatePosition();
    // The page that linked the row's file (its referrer attribute); empty
    // when the file does not say.
    std::string SourcePage(int row) const;
    // Opens an address in the embedded browser ("Open source page").
    std::function<void(const std::string& url)> OpenInBrowser;

    ViewList& List() { return *List_; }
    FullScreenDisplay* Display() const { return Display_; }
    QTableView* Grid() const { return Grid_; }
    QLabel* StatusLabel() const { return StatusLabel_; }

    // The library's input box for the search text: true with the new text
    // when confirmed. A QInputDialog unless replaced.
    std::function<bool(QString& text)> AskSearchText;

    // --- menus, by their captions ---
    QMenu* FileMenu;
    QAction* ExitAction;
    QAction* BrowseAction;
    QMenu* FilterMenu;
    QAction* UnviewedAction;
    QMenu* SizeMenu;
    QAction* ThumbsOnlyAction;
    QAction* FullSizeOnlyAction;
    QAction* ThumbsAndFullSizeAction;
    QAction* SearchTextAction;
    QAction* ClearFilterAction;
    QMenu* SortMenu;
    QAction* SortByDateAction;
    QAction* SortBySizeAction;
    QAction* SortByPathAction;
    QAction* SortByNameAction;
    QAction* DescendingAction;
    QMenu* OptionsMenu;
    QAction* ShowCommentsAction;
    // The grid's popup menu: its items, each made anew for every showing,
    // trigger these (which also carry the grid's shortcuts).
    QAction* CopyAction;
    QAction* SelectAllAction;
    QAction* DeleteFilesAction;

    // --- handlers ---
    void BrowseClicked() { Browse(); }
    void SortClicked(int sortType);
    void DescendingClicked();
    void UnviewedClicked();
    void SizeClicked(int displayedSize);
    void SearchTextClicked();
    void ClearFilterClicked();
    void ShowCommentsClicked();
    void GridActivated();
    // Shows the grid's popup menu at a point of its viewport.
    void GridMenuRequested(const QPoint& at);
    void CopyClicked();
    void SelectAllClicked();
    void DeleteFilesClicked();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildGrid();
    void InstallDisplayHandlers();
    void RefreshOnShow();
    void ClearOnHide();
    // Runs an action at the event loop's boundary: what it throws becomes a
    // message.
    void Guard(const std::function<void()>& action);
    // Filter, show and position after a filter item.
    void Refilter();
    void Resort();
    void SyncMenus();
    void CheckSortItem();
    void CheckSizeItem();
    int CurrentRow() const;
    void SetCurrentRow(int row);
    void ShowRow(int row);
    // The rows from the top to the bottom of the selection; at least the
    // current row.
    std::pair<int, int> SelectedRows() const;
    void SetStatus(const QString& text);
    QString PositionText() const;

    MessageSink* Messages_;
    std::unique_ptr<ViewList> List_;
    QPointer<FullScreenDisplay> Display_;
    std::unique_ptr<VideoPlayback> OwnPlayback_;
    QTableView* Grid_;
    QLabel* StatusLabel_;
    QActionGroup* SizeGroup_;
    QActionGroup* SortGroup_;
    bool ListMode_ = false;
    bool ShowComments_ = true;
    std::unique_ptr<SettingsKey> Settings_;
    bool HiddenDuringBuild_ = false;
};
