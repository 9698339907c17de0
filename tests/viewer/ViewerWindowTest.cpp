// The library window over a generated storage folder, offscreen: menus and
// their check marks, filters and search, the full-screen walk in list mode
// and the gallery's walk beside it, the popup menu, the refusals while a
// build runs, and names for every control.

#include "viewer/ViewerWindow.h"

#include "gallery/ExceptionGuard.h"
#include "gallery/FullScreenDisplay.h"
#include "http/OriginAttributes.h"

#include "AccessibleWalk.h"
#include "EventLoop.h"
#include "TempDir.h"
#include "TestSettings.h"
#include "TrashHome.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

void Press(QWidget* target, int key, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &event);
}

int LocalMinute(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    std::tm t{};
    ::localtime_r(&st.st_mtime, &t);
    return t.tm_min;
}

// Sets the file's last-write time to today at 12:minute:00, local time.
void SetMinute(const std::string& path, int minute) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    t.tm_hour = 12;
    t.tm_min = minute;
    t.tm_sec = 0;
    const std::time_t when = std::mktime(&t);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A JPEG of the given size.
std::string JpegOf(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes.toStdString();
}

class ViewerWindowTest : public ::testing::Test {
protected:
    ViewerWindowTest() {
        root = files.Sub("store");
        WriteFile(root + "/host/a.jpg", std::string(3000, 'a'));
        WriteFile(root + "/host/b.jpg", std::string(5000, 'b'));
        WriteFile(root + "/host/c.gif", "c");
        WriteFile(root + "/Other/UPPER.JPG", "u");
        WriteFile(root + "/host/thumbs/t1.jpg", "t");
        ::chmod((root + "/host/thumbs/t1.jpg").c_str(), 0444);
        viewer.DownloadPath = [this] { return root; };
        viewer.show();
        viewer.Browse();
    }

    ViewList& list() { return viewer.List(); }
    std::vector<std::string> Rows() {
        std::vector<std::string> out;
        for (int i = 0; i < list().rowCount(); ++i)
            out.push_back(list().LinePath(i));
        return out;
    }
    int Row() const { return viewer.Grid()->currentIndex().row(); }
    QString Status() const { return viewer.StatusLabel()->text(); }
    QString Shown() const { return display.NameLine()->text(); }
    void DoubleClickRow(int row) {
        QTableView* grid = viewer.Grid();
        const QPoint at = grid->visualRect(list().index(row, 0)).center();
        // An item view takes a double click on the row pressed before.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    ConfigFolder config;
    TrashHome trash;
    TempDir files;
    std::string root;
    RecordedMessages messages;
    FullScreenDisplay display; // shared with the gallery, as in the main window
    ViewerWindow viewer{&messages, "Tessellon", &display};
};

TEST_F(ViewerWindowTest, WindowGridAndMenusAfterTheFirstBrowse) {
    EXPECT_EQ(viewer.windowTitle(), "Tessellon Viewer");
    QTableView* grid = viewer.Grid();
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
    EXPECT_TRUE(QFontInfo(grid->font()).fixedPitch());
    EXPECT_GE(grid->verticalHeader()->defaultSectionSize(), QFontMetrics(grid->font()).height());
    // Path Tree, full size only: the thumbnail is not listed.
    EXPECT_TRUE(viewer.SortByPathAction->isChecked());
    EXPECT_TRUE(viewer.FullSizeOnlyAction->isChecked());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"host/a.jpg", "host/b.jpg", "host/c.gif",
                                                "Other/UPPER.JPG"}));
    EXPECT_EQ(Status(), "1 / 4");
    EXPECT_EQ(viewer.StatusLabel()->accessibleDescription(), "1 / 4");
    EXPECT_TRUE(viewer.FilterMenu->menuAction()->isEnabled());
    EXPECT_TRUE(viewer.SortMenu->menuAction()->isEnabled());

    ViewerWindow fresh(&messages, "Tessellon", &display);
    EXPECT_FALSE(fresh.FilterMenu->menuAction()->isEnabled());
    EXPECT_FALSE(fresh.SortMenu->menuAction()->isEnabled());
    fresh.DownloadPath = [this] { return root + "/gone"; };
    fresh.Browse();
    EXPECT_EQ(messages.Texts.back(), "directory " + root + "/gone not available");
    EXPECT_FALSE(fresh.FilterMenu->menuAction()->isEnabled());
}

TEST_F(ViewerWindowTest, FiltersAndAnUpperCaseSearch) {
    viewer.ThumbsOnlyAction->trigger();
    EXPECT_EQ(Rows(), std::vector<std::string>{"host/thumbs/t1.jpg"});
    viewer.ThumbsAndFullSizeAction->trigger();
    EXPECT_EQ(list().rowCount(), 5);
    EXPECT_EQ(Status(), "1 / 5");

    viewer.Grid()->setCurrentIndex(list().index(1, 0)); // host/b.jpg
    viewer.ShowMediaFullScreenAndNext(false);
    display.Exit();
    viewer.UnviewedAction->trigger();
    EXPECT_EQ(list().rowCount(), 4);
    const std::vector<std::string> unviewed = Rows();
    EXPECT_EQ(std::count(unviewed.begin(), unviewed.end(), "host/b.jpg"), 0);

    QString answer = "HOST/C";
    viewer.AskSearchText = [&answer](QString& text) {
        if (answer.isNull()) return false;
        text = answer;
        return true;
    };
    viewer.SearchTextAction->trigger();
    EXPECT_EQ(Rows(), std::vector<std::string>{"host/c.gif"});
    viewer.SearchTextAction->trigger(); // off
    EXPECT_EQ(list().rowCount(), 4);
    answer = QString(); // cancelled: the old text filters again
    viewer.SearchTextAction->trigger();
    EXPECT_TRUE(viewer.SearchTextAction->isChecked());
    EXPECT_EQ(Rows(), std::vector<std::string>{"host/c.gif"});

    viewer.ClearFilterAction->trigger();
    EXPECT_TRUE(viewer.ClearFilterAction->isChecked());
    EXPECT_FALSE(viewer.SearchTextAction->isChecked());
    EXPECT_FALSE(viewer.UnviewedAction->isChecked());
    EXPECT_EQ(list().rowCount(), 5);
    viewer.FullSizeOnlyAction->trigger();
    EXPECT_FALSE(viewer.ClearFilterAction->isChecked());
}

TEST_F(ViewerWindowTest, SearchBoxCaptionPromptAndCancel) {
    list().SearchText = "old";
    QString title, label, start;
    QTimer::singleShot(0, [&] {
        RunUntil([] { return qobject_cast<QInputDialog*>(QApplication::activeModalWidget()); });
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        title = box->windowTitle();
        label = box->labelText();
        start = box->textValue();
        box->setTextValue("new");
        box->reject();
    });
    viewer.SearchTextAction->trigger();
    EXPECT_EQ(title, "Search string");
    EXPECT_EQ(label, "Enter the search string ");
    EXPECT_EQ(start, "old");
    EXPECT_EQ(list().SearchText, "old");
    EXPECT_TRUE(list().SearchActive);
}

TEST_F(ViewerWindowTest, ClearAfterDescendingListsAscendingWithTheMarkStillShown) {
    viewer.DescendingAction->trigger();
    EXPECT_EQ(Rows().front(), "Other/UPPER.JPG");
    viewer.ClearFilterAction->trigger();
    EXPECT_EQ(Rows().front(), "host/a.jpg");
    EXPECT_FALSE(list().SortDescending());
    EXPECT_TRUE(viewer.DescendingAction->isChecked());
    viewer.hide();
    viewer.show();
    EXPECT_FALSE(viewer.DescendingAction->isChecked());
}

TEST_F(ViewerWindowTest, ListModeWalksTheGridAndStopsAtBothEnds) {
    DoubleClickRow(0);
    ASSERT_TRUE(display.isVisible());
    EXPECT_TRUE(viewer.ListMode());
    EXPECT_EQ(Shown(), "host/a.jpg");
    EXPECT_EQ(LocalMinute(root + "/host/a.jpg"), 58);
    Press(&display, Qt::Key_Backspace, "\b"); // first row: the first file again
    EXPECT_EQ(Shown(), "host/a.jpg");
    Press(&display, Qt::Key_Space, " ");
    EXPECT_EQ(Shown(), "host/b.jpg");
    QTest::mouseClick(display.Media(), Qt::LeftButton);
    Press(&display, Qt::Key_Return, "\r");
    EXPECT_EQ(Shown(), "Other/UPPER.JPG");
    EXPECT_EQ(Status(), "4 / 4");
    Press(&display, Qt::Key_Space, " "); // last row: the last file again
    EXPECT_EQ(Shown(), "Other/UPPER.JPG");
    Press(&display, Qt::Key_Plus, "+");
    Press(&display, Qt::Key_Minus, "-");
    EXPECT_EQ(Shown(), "Other/UPPER.JPG");
    EXPECT_EQ(Row(), 3);
    QTest::mouseClick(display.Media(), Qt::RightButton);
    EXPECT_EQ(Shown(), "host/c.gif");
    Press(&display, Qt::Key_Escape, "\x1b");
    EXPECT_FALSE(display.isVisible());
    EXPECT_FALSE(viewer.ListMode());
    EXPECT_TRUE(messages.Texts.empty());

    // Enter on the grid opens the display too; Esc on the grid closes the window.
    Press(viewer.Grid(), Qt::Key_Enter, "\r");
    EXPECT_EQ(Shown(), "host/c.gif");
    display.Exit();
    Press(viewer.Grid(), Qt::Key_Escape, "\x1b");
    EXPECT_FALSE(viewer.isVisible());
}

TEST_F(ViewerWindowTest, TheGallerysDisplayKeepsTheGallerysWalkWhileTheViewerIsOpen) {
    std::vector<NavigateAction> asked;
    display.SetNavigateHook([&asked](NavigateAction action, QString&, std::string&) {
        asked.push_back(action);
        return false;
    });
    display.ShowMedia("tile", root + "/host/c.gif");
    Press(&display, Qt::Key_Space, " ");
    Press(&display, Qt::Key_Plus, "+");
    QTest::mouseClick(display.Media(), Qt::RightButton);
    EXPECT_EQ(asked, (std::vector<NavigateAction>{naNext, naNextTab, naPrevious}));
    EXPECT_EQ(Shown(), "tile");
    EXPECT_EQ(Row(), 0);
    display.Exit();
}

TEST_F(ViewerWindowTest, EmptyRowOrMissingFileGivesTheMessageAndNoDisplay) {
    ::unlink((root + "/host/a.jpg").c_str());
    DoubleClickRow(0);
    EXPECT_EQ(messages.Texts, std::vector<std::string>{"unable to open host/a.jpg"});
    EXPECT_FALSE(display.isVisible());

    viewer.AskSearchText = [](QString& text) {
        text = "nothing like this";
        return true;
    };
    viewer.SearchTextAction->trigger();
    ASSERT_EQ(list().rowCount(), 1);
    DoubleClickRow(0);
    ASSERT_EQ(messages.Texts.size(), 2u);
    EXPECT_EQ(messages.Texts.back(), "unable to open ");
    EXPECT_FALSE(display.isVisible());
}

TEST_F(ViewerWindowTest, PopupCopiesSelectsAllAndTrashesWithoutAsking) {
    QTableView* grid = viewer.Grid();
    grid->setCurrentIndex(list().index(1, 0));
    grid->selectionModel()->select(list().index(2, 0), QItemSelectionModel::Select);
    viewer.CopyAction->trigger();
    const std::string folder = root + "/";
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              folder + "host/b.jpg\n" + folder + "host/c.gif\n");
    viewer.SelectAllAction->trigger();
    viewer.CopyAction->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().count('\n'), 4);

    viewer.ThumbsAndFullSizeAction->trigger(); // row 3 is the read-only thumbnail
    grid->setCurrentIndex(list().index(3, 0));
    grid->selectionModel()->select(list().index(4, 0), QItemSelectionModel::Select);
    viewer.DeleteFilesAction->trigger();
    EXPECT_FALSE(FileExists(root + "/host/thumbs/t1.jpg"));
    EXPECT_FALSE(FileExists(root + "/Other/UPPER.JPG"));
    EXPECT_EQ(FilesUnder(trash.Files()), (std::vector<std::string>{"UPPER.JPG", "t1.jpg"}));
    EXPECT_EQ(FilesUnder(trash.Info()),
              (std::vector<std::string>{"UPPER.JPG.trashinfo", "t1.jpg.trashinfo"}));
    EXPECT_EQ(list().rowCount(), 3);
    EXPECT_EQ(Status().toStdString(), "1 / 3   2 moved to the Trash, 0 failed");
    EXPECT_TRUE(messages.Texts.empty());
}

// A stored name keeps the bytes of its address ("%E9", "%FF"), which need
// not be UTF-8. The library lists it, shows that very file full screen,
// marks it viewed, copies its exact bytes and moves it to the Trash; a decoy
// under the name the bytes would become as text (U+FFFD) is never touched.
TEST_F(ViewerWindowTest, NamesThatAreNotUtf8AreShownMarkedCopiedAndTrashedByTheirBytes) {
    const std::string raw = "host/caf\xE9\xFF.jpg";
    const std::string decoy = "host/caf\xEF\xBF\xBD\xEF\xBF\xBD.jpg";
    WriteFile(root + "/" + raw, JpegOf(40, 30));
    WriteFile(root + "/" + decoy, JpegOf(8, 8));
    SetMinute(root + "/" + raw, 10);
    SetMinute(root + "/" + decoy, 10);
    viewer.Browse();
    const std::vector<std::string> rows = Rows();
    const auto at = std::find(rows.begin(), rows.end(), raw);
    ASSERT_NE(at, rows.end());
    ASSERT_NE(std::find(rows.begin(), rows.end(), decoy), rows.end());
    const int row = int(at - rows.begin());
    EXPECT_EQ(list().data(list().index(row, 0), ViewList::PathRole).toByteArray().toStdString(),
              raw);

    DoubleClickRow(row);
    ASSERT_TRUE(display.isVisible());
    EXPECT_EQ(Shown(), QString::fromUtf8("host/caf\uFFFD\uFFFD.jpg"));
    EXPECT_EQ(display.Media()->DecodedSize(), QSize(40, 30));
    EXPECT_EQ(LocalMinute(root + "/" + raw), 58);
    EXPECT_EQ(LocalMinute(root + "/" + decoy), 10);
    display.Exit();

    viewer.Grid()->setCurrentIndex(list().index(row, 0));
    viewer.CopyAction->trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    const QByteArray uris = copied->data("text/uri-list");
    ASSERT_TRUE(uris.startsWith("file://") && uris.endsWith("\r\n")) << uris.toStdString();
    EXPECT_TRUE(uris.contains("/host/caf%E9%FF.jpg")) << uris.toStdString();
    EXPECT_EQ(QByteArray::fromPercentEncoding(uris.mid(7).chopped(2)).toStdString(),
              root + "/" + raw);
    EXPECT_EQ(copied->text(),
              QString::fromStdString(root) + QString::fromUtf8("/host/caf\uFFFD\uFFFD.jpg\n"));

    viewer.DeleteFilesAction->trigger();
    EXPECT_FALSE(FileExists(root + "/" + raw));
    EXPECT_TRUE(ReadFile(trash.Files() + "/caf\xE9\xFF.jpg") == JpegOf(40, 30));
    const std::string info = ReadFile(trash.Info() + "/caf\xE9\xFF.jpg.trashinfo");
    EXPECT_NE(info.find("\nPath=" + root + "/host/caf%E9%FF.jpg\n"), std::string::npos) << info;
    EXPECT_TRUE(ReadFile(root + "/" + decoy) == JpegOf(8, 8));
    EXPECT_EQ(Status().toStdString(), "1 / 5   1 moved to the Trash, 0 failed");
}

// Each showing of the grid's popup menu lists its items, with their names,
// to a screen reader: the second as the first. The second showing's "Select
// all" is pressed through its accessible action, as a reader would.
TEST_F(ViewerWindowTest, PopupMenuListsItsItemsAtEveryShowing) {
    QTableView* grid = viewer.Grid();
    for (int showing = 1; showing <= 2; ++showing) {
        std::vector<std::string> items;
        bool done = false;
        QTimer::singleShot(0, [&] {
            RunUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); });
            QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(menu);
            QAccessibleInterface* selectAll = nullptr;
            for (int i = 0; shown != nullptr && i < shown->childCount(); ++i) {
                QAccessibleInterface* item = shown->child(i);
                // What a reader lists: valid items that name this menu as
                // their parent.
                if (item == nullptr || !item->isValid() || item->parent() != shown ||
                    item->role() != QAccessible::MenuItem)
                    continue;
                items.push_back(item->text(QAccessible::Name).toStdString());
                if (items.back() == "Select all") selectAll = item;
            }
            if (showing == 2 && selectAll != nullptr && selectAll->actionInterface() != nullptr)
                selectAll->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            if (menu) menu->close();
            done = true;
        });
        const QPoint at = grid->visualRect(list().index(0, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(grid->viewport(), &event);
        ASSERT_TRUE(RunUntil([&] { return done; }));
        EXPECT_EQ(items, (std::vector<std::string>{"Copy", "Select all", "Delete selected files",
                                                   "Open source page"}))
            << "showing " << showing;
    }
    EXPECT_EQ(grid->selectionModel()->selectedRows().size(), list().rowCount());
}

// A file system without a Trash: a read-only mount of the test's own, in a
// mount namespace of its own (root only). The test runs itself again in
// there; outside it only starts and judges that run.
TEST(ViewerTrashTest, NoTrashOnTheFileSystemLeavesTheFilesAndSaysSo) {
    const char* mounted = std::getenv("TESSELLON_TEST_NO_TRASH_MOUNT");
    if (mounted == nullptr) {
        if (::geteuid() != 0) GTEST_SKIP() << "a mount namespace needs root";
        TempDir point;
        const QString script = QStringLiteral(
            "mount -t tmpfs -o size=1m tessellon-test \"$2\" || exit 77\n"
            "mkdir -p \"$2/store/host\" || exit 1\n"
            "echo picture > \"$2/store/host/a.jpg\" && echo kept > \"$2/store/host/b.jpg\" || exit "
            "1\n"
            "printf 'not UTF-8\\n' > \"$2/store/host/$(printf 'caf\\351.jpg')\" || exit 1\n"
            "mount -o remount,ro \"$2\" || exit 77\n"
            "TESSELLON_TEST_NO_TRASH_MOUNT=\"$2\" exec \"$1\" --gtest_filter=ViewerTrashTest.*\n");
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("--propagation"),
                     QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                     QStringLiteral("sh"), QCoreApplication::applicationFilePath(),
                     QString::fromStdString(point.Path())});
        if (!child.waitForStarted()) GTEST_SKIP() << "unshare is not installed";
        ASSERT_TRUE(child.waitForFinished(60000));
        const std::string output = child.readAll().toStdString();
        if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
            GTEST_SKIP() << "no private mounts here: " << output;
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << output;
        return;
    }
    ConfigFolder config;
    TrashHome trash;
    RecordedMessages messages;
    FullScreenDisplay display;
    ViewerWindow viewer(&messages, "Tessellon", &display);
    const std::string store = std::string(mounted) + "/store";
    viewer.DownloadPath = [&store] { return store; };
    viewer.show();
    viewer.Browse();
    ASSERT_EQ(viewer.List().rowCount(), 3);
    viewer.Grid()->selectAll();
    viewer.DeleteFilesAction->trigger();
    EXPECT_EQ(ReadFile(store + "/host/a.jpg"), "picture\n");
    EXPECT_EQ(ReadFile(store + "/host/b.jpg"), "kept\n");
    EXPECT_EQ(ReadFile(store + "/host/caf\xE9.jpg"), "not UTF-8\n");
    EXPECT_TRUE(FilesUnder(trash.Files()).empty());
    EXPECT_TRUE(FilesUnder(trash.Info()).empty());
    EXPECT_EQ(viewer.StatusLabel()->text().toStdString(),
              "1 / 3   0 moved to the Trash, 3 failed (3 on a file system without a Trash, left "
              "in place)");
}

TEST_F(ViewerWindowTest, BrowseSortFilterAndDeleteWaitForTheBuild) {
    bool once = true;
    list().ProcessMessages = [&] {
        if (!once) return;
        once = false;
        viewer.SortByNameAction->trigger();
        viewer.DescendingAction->trigger();
        viewer.ThumbsAndFullSizeAction->trigger();
        viewer.ClearFilterAction->trigger();
        viewer.Grid()->selectAll();
        viewer.DeleteFilesAction->trigger();
        viewer.Browse();
    };
    viewer.Browse();
    EXPECT_FALSE(once);
    EXPECT_EQ(list().SortType(), VIEWSORT_PATHTREE);
    EXPECT_TRUE(viewer.SortByPathAction->isChecked());
    EXPECT_FALSE(viewer.DescendingAction->isChecked());
    EXPECT_TRUE(viewer.FullSizeOnlyAction->isChecked());
    EXPECT_FALSE(viewer.ClearFilterAction->isChecked());
    EXPECT_EQ(FilesUnder(root).size(), 5u);
    EXPECT_EQ(list().rowCount(), 4);
}

TEST_F(ViewerWindowTest, CommentsOptionFollowsTheMenuAndTheDialogBothWays) {
    EXPECT_TRUE(viewer.ShowCommentsAction->isChecked());
    std::vector<bool> told;
    viewer.OnShowCommentsChanged = [&told](bool show) { told.push_back(show); };
    viewer.ShowCommentsAction->trigger();
    EXPECT_FALSE(display.ShowComments());
    viewer.SetShowFullScreenComments(true); // the dialog's check box
    EXPECT_TRUE(viewer.ShowCommentsAction->isChecked());
    viewer.SetShowFullScreenComments(true);
    viewer.SetShowFullScreenComments(false);
    EXPECT_EQ(told, (std::vector<bool>{false, true, false}));
    SettingsKey stored("Tessellon");
    EXPECT_FALSE(stored.ReadBool(Setting::ViewerShowFullScreenComments.Entry, true));
}

TEST_F(ViewerWindowTest, HidingEmptiesTheListAlsoDuringABuild) {
    viewer.hide();
    EXPECT_EQ(list().rowCount(), 0);
    EXPECT_EQ(Status(), "0 / 0");
    viewer.show();
    list().ProcessMessages = [this] { viewer.hide(); };
    viewer.Browse();
    EXPECT_EQ(list().rowCount(), 0);
}

TEST_F(ViewerWindowTest, EveryControlHasAnAccessibleName) {
    EXPECT_EQ(UnnamedAccessibleControls(&viewer), std::vector<std::string>{});
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(viewer.Grid());
    EXPECT_EQ(grid->text(QAccessible::Name), "library");
    QAccessibleTableInterface* table = grid->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cellAt(1, 0)->text(QAccessible::Name).toStdString(), list().Lines()[1].Text);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(viewer.StatusLabel())->text(QAccessible::Name),
              "library status");
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    GuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A file that says where it came from shows its source page on the status
// line, and the popup menu opens that page; a file that does not say leaves
// the item disabled.
TEST_F(ViewerWindowTest, TheSourcePageOfAFileThatRemembersIt) {
    const std::string page = "http://gallery.example/page7.html";
    if (::setxattr((root + "/host/a.jpg").c_str(), OriginAttributes::kReferrerName, page.data(),
                   page.size(), 0) != 0)
        GTEST_SKIP() << "this file system keeps no user attributes";
    std::vector<std::string> opened;
    viewer.OpenInBrowser = [&](const std::string& url) { opened.push_back(url); };
    const auto rows = Rows();
    const int a = int(std::find(rows.begin(), rows.end(), "host/a.jpg") - rows.begin());
    const int b = int(std::find(rows.begin(), rows.end(), "host/b.jpg") - rows.begin());
    ASSERT_LT(a, list().rowCount());
    QTableView* grid = viewer.Grid();

    const auto popupAt = [&](int row) {
        grid->setCurrentIndex(list().index(row, 0));
        bool enabled = false, done = false;
        QTimer::singleShot(0, [&] {
            RunUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); });
            QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* item : menu->actions())
                if (item->text() == QStringLiteral("Open source page")) {
                    enabled = item->isEnabled();
                    if (enabled) item->trigger();
                }
            if (menu) menu->close();
            done = true;
        });
        const QPoint at = grid->visualRect(list().index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(grid->viewport(), &event);
        EXPECT_TRUE(RunUntil([&] { return done; }));
        return enabled;
    };
    EXPECT_FALSE(popupAt(b));
    EXPECT_EQ(Status().toStdString().find("source page"), std::string::npos);
    EXPECT_TRUE(popupAt(a));
    EXPECT_EQ(opened, std::vector<std::string>{page});
    EXPECT_NE(Status().toStdString().find("source page: " + page), std::string::npos)
        << Status().toStdString();
    viewer.ShowMediaFullScreenAndNext(false);
    EXPECT_EQ(Shown().toStdString(), "host/a.jpg   source page: " + page);
}
