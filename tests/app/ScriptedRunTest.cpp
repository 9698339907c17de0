// A user's sessions on the demo gallery, under a real X server. The gallery:
// Start, wait for the tabs, "get all" on the first, open a picture full
// screen, step with SPACE, leave with ESC, close the window. The library and
// the preferences: list the downloads, sort by size, full screen and a step,
// delete a file; change the time-out and find it kept after a restart.
// Screenshots of each stage go to the screenshots folder.
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/GalleryTabPage.h"
#include "viewer/PreferencesDialog.h"
#include "viewer/ViewerWindow.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "TestSettings.h"
#include "TrashHome.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

QString Shots() {
    const QString folder = QStringLiteral(TESSELLON_SCREENSHOTS);
    QDir().mkpath(folder);
    return folder;
}

GalleryTabPage* GalleryPage(MainWindow& form, int n) {
    int seen = 0;
    for (int i = 0; i < form.Tabs->count(); ++i)
        if (auto* page = dynamic_cast<GalleryTabPage*>(form.Tabs->widget(i)))
            if (seen++ == n) return page;
    return nullptr;
}

} // namespace

TEST(ScriptedRun, DemoGalleryFromStartToFullScreenAndBack) {
    ConfigFolder config;
    WorkFolder work;
    DemoServer server(BuildDemoSite(DemoOptions{}));
    ASSERT_TRUE(server.Start(0));
    {
        RecordedMessages messages;
        MainWindow form(&messages);
        form.resize(1024, 740);
        form.show();
        form.AfterCreate();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.grab().save(Shots() + "/main-home.png");

        form.DepthSpinBox->setValue(2);
        form.ScanAddressBox->setEditText(QString::fromStdString(server.BaseUrl()));
        form.StartButton->click();
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 120000));
        EXPECT_TRUE(form.ActivityStatusLabel->text() == "Done." ||
                    form.ActivityStatusLabel->text() == " Done.")
            << form.ActivityStatusLabel->text().toStdString();
        GalleryTabPage* page = GalleryPage(form, 0);
        ASSERT_NE(page, nullptr);
        form.Tabs->setCurrentWidget(page);
        EXPECT_TRUE(form.CloseTabsButton->isEnabled() && form.ThrowTabsButton->isEnabled());
        form.grab().save(Shots() + "/main-gallery.png");

        page->Button(GalleryTabPage::GetAll)->click();
        ThumbTile* first = page->Tile(0);
        ASSERT_NE(first, nullptr);
        ASSERT_TRUE(RunUntil([&] { return first->accessibleDescription() == "on disk"; }, 120000));
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 120000));

        QTest::mouseClick(first->TileImage, Qt::LeftButton, {}, QPoint(55, 55));
        FullScreenDisplay* display = form.Gallery().Display();
        ASSERT_TRUE(RunUntil([&] { return display->isVisible(); }, 10000));
        const QString firstName = display->NameLine()->text();
        EXPECT_TRUE(firstName.endsWith("_01.jpg")) << firstName.toStdString();
        display->grab().save(Shots() + "/fullscreen.png");
        QTest::keyClick(display, Qt::Key_Space);
        EXPECT_NE(display->NameLine()->text(), firstName);
        QTest::keyClick(display, Qt::Key_Escape);
        EXPECT_TRUE(RunUntil([&] { return !display->isVisible(); }, 10000));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);

        EXPECT_TRUE(form.close()); // idle: the window closes at once
    }
    server.Stop();
}

TEST(ScriptedRun, LibraryAndPreferencesOnTheDemoDownloads) {
    ConfigFolder config;
    WorkFolder work;
    TrashHome trash; // what the library deletes goes to a Trash of the test's own
    DemoServer server(BuildDemoSite(DemoOptions{}));
    ASSERT_TRUE(server.Start(0));
    {
        RecordedMessages messages;
        MainWindow form(&messages);
        form.resize(1024, 740);
        form.show();
        form.AfterCreate();
        form.DepthSpinBox->setValue(2);
        form.ScanAddressBox->setEditText(QString::fromStdString(server.BaseUrl()));
        form.StartButton->click();
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 120000));

        // "List": the library of what came, sorted by size.
        form.ViewerAction->trigger();
        ViewerWindow* viewer = form.Viewer();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
        viewer->ThumbsAndFullSizeAction->trigger(); // only thumbnails came
        viewer->Browse();
        ASSERT_TRUE(RunUntil([&] { return viewer->List().rowCount() > 10; }, 30000))
            << viewer->List().rowCount() << " rows; " << ::testing::PrintToString(messages.Texts);
        viewer->SortBySizeAction->trigger();
        viewer->grab().save(Shots() + "/viewer.png");

        // Full screen from the first row, a step, back.
        viewer->Grid()->selectRow(0);
        viewer->GridActivated();
        FullScreenDisplay* display = viewer->Display();
        ASSERT_TRUE(RunUntil([&] { return display->isVisible(); }, 10000));
        const QString shown = display->NameLine()->text();
        QTest::keyClick(display, Qt::Key_Space);
        EXPECT_NE(display->NameLine()->text(), shown);
        QTest::keyClick(display, Qt::Key_Escape);
        ASSERT_TRUE(RunUntil([&] { return !display->isVisible(); }, 10000));

        // Delete the first file.
        const QString victim = QString::fromStdString(viewer->List().LineFullPath(0));
        ASSERT_TRUE(QFileInfo::exists(victim));
        viewer->Grid()->selectRow(0);
        viewer->DeleteFilesClicked();
        EXPECT_FALSE(QFileInfo::exists(victim));
        viewer->close();

        // Preferences: a time-out typed in, kept after a restart.
        form.PreferencesAction->trigger();
        PreferencesDialog* prefs = form.Prefs();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(prefs));
        auto* pages = prefs->findChild<QTabWidget*>(QStringLiteral("pages"));
        ASSERT_NE(pages, nullptr);
        prefs->grab().save(Shots() + "/prefs-html.png");
        const auto showTab = [&](const char* caption, const char* shot) {
            for (int i = 0; i < pages->count(); ++i)
                if (pages->tabText(i) == caption) pages->setCurrentIndex(i);
            prefs->grab().save(Shots() + "/" + shot);
        };
        showTab("Files downloads", "prefs-files.png");
        showTab("Proxy", "prefs-proxy.png");
        auto* timeOut = prefs->findChild<QLineEdit*>(QStringLiteral("timeOut"));
        ASSERT_NE(timeOut, nullptr);
        timeOut->selectAll();
        QTest::keyClicks(timeOut, "45");
        EXPECT_EQ(form.Gallery().TimeOut(), 45);
        prefs->close();
    }
    {
        RecordedMessages messages;
        MainWindow again(&messages);
        EXPECT_EQ(again.Gallery().TimeOut(), 45);
    }
    server.Stop();
}

int main(int argc, char** argv) {
    if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    GuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
