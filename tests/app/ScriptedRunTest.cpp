// A user's session on the demo gallery, under a real X server: Start, wait
// for the tabs, "get all" on the first, open a picture full screen, step
// with SPACE, leave with ESC, close the window. Screenshots of each stage go
// to the screenshots folder.
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/GalleryTabPage.h"

#include "EventLoop.h"
#include "TempDir.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class TRecordedMessages : public IMessageSink {
public:
    std::vector<std::string> Texts;
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
};

QString Shots() {
    const QString folder = QStringLiteral(TESSELLON_SCREENSHOTS);
    QDir().mkpath(folder);
    return folder;
}

TGalleryTabPage* GalleryPage(TForm1& form, int n) {
    int seen = 0;
    for (int i = 0; i < form.PageControl1->count(); ++i)
        if (auto* page = dynamic_cast<TGalleryTabPage*>(form.PageControl1->widget(i)))
            if (seen++ == n) return page;
    return nullptr;
}

} // namespace

TEST(ScriptedRun, DemoGalleryFromStartToFullScreenAndBack) {
    TTempDir config, work;
    ::setenv("TESSELLON_CONFIG_DIR", config.Path().c_str(), 1);
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(work.Path());
    TDemoServer server(BuildDemoSite(TDemoOptions{}));
    ASSERT_TRUE(server.Start(0));
    {
        TRecordedMessages messages;
        TForm1 form(&messages);
        form.resize(1024, 740);
        form.show();
        form.AfterCreate();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.grab().save(Shots() + "/main-home.png");

        form.Edit1->setValue(2);
        form.EditCombobox1->setEditText(QString::fromStdString(server.BaseUrl()));
        form.Button1->click();
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 120000));
        EXPECT_TRUE(form.StatusPanel2->text() == "Done." || form.StatusPanel2->text() == " Done.")
            << form.StatusPanel2->text().toStdString();
        TGalleryTabPage* page = GalleryPage(form, 0);
        ASSERT_NE(page, nullptr);
        form.PageControl1->setCurrentWidget(page);
        EXPECT_TRUE(form.Button2->isEnabled() && form.Button4->isEnabled());
        form.grab().save(Shots() + "/main-gallery.png");

        page->Button(TGalleryTabPage::GetAll)->click();
        TThumbPanel* first = page->Tile(0);
        ASSERT_NE(first, nullptr);
        ASSERT_TRUE(RunUntil([&] { return first->accessibleDescription() == "on disk"; }, 120000));
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 120000));

        QTest::mouseClick(first->TileImage, Qt::LeftButton, {}, QPoint(55, 55));
        TImgDisp* display = form.Gallery().FullScreenDisplay();
        ASSERT_TRUE(RunUntil([&] { return display->isVisible(); }, 10000));
        const QString firstName = display->Panel4()->text();
        EXPECT_TRUE(firstName.endsWith("_01.jpg")) << firstName.toStdString();
        display->grab().save(Shots() + "/fullscreen.png");
        QTest::keyClick(display, Qt::Key_Space);
        EXPECT_NE(display->Panel4()->text(), firstName);
        QTest::keyClick(display, Qt::Key_Escape);
        EXPECT_TRUE(RunUntil([&] { return !display->isVisible(); }, 10000));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);

        EXPECT_TRUE(form.close()); // idle: the window closes at once
    }
    server.Stop();
    std::filesystem::current_path(old);
    ::unsetenv("TESSELLON_CONFIG_DIR");
}

int main(int argc, char** argv) {
    if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TGuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
