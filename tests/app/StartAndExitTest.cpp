// Starting and ending as a user does it: addresses typed without a scheme
// or refused, the browser capture when the window loses focus, cleaning the
// storage folder, and File > Exit during a scan in a program of its own.
#include "app/ActivityLight.h"
#include "app/EditComboBox.h"
#include "app/StorageCleanup.h"

#include "EventLoop.h"
#include "MainWindowFixture.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "TrashHome.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

namespace fs = std::filesystem;

// --- the address ---

TEST_F(MainWindowTest, AnAddressWithoutSchemeIsTakenAsHttpAndARefusedOneChangesNothing) {
    TestHttpServer server;
    server.Serve("/page.html", "text/html", "<p>a page</p>");
    FoundLink kept = Link("http://a.example/kept");
    form.LinkFound(kept);
    const QString status = form.ActivityStatusLabel->text();

    form.ScanAddressBox->setEditText("http://");
    form.StartClicked();
    ASSERT_EQ(messages.Texts.size(), 1u);
    EXPECT_EQ(messages.Texts[0], "Invalid Url : http://");
    EXPECT_TRUE(ListText(form.LinksList).contains("http://a.example/kept"));
    EXPECT_EQ(form.ActivityStatusLabel->text(), status);
    EXPECT_TRUE(form.HomeTab->isEnabled());
    EXPECT_FALSE(form.Gallery().IsWorking());

    form.ScanAddressBox->setEditText("about:blank"); // the browser's own: no scan, no word
    form.StartClicked();
    EXPECT_EQ(messages.Texts.size(), 1u);
    EXPECT_TRUE(ListText(form.LinksList).contains("http://a.example/kept"));

    QString before;
    form.BeforeScan = [&](const QString& address) { before = address; };
    const std::string bare = server.Url("/page.html").substr(7); // "127.0.0.1:PORT/page.html"
    form.ScanAddressBox->setEditText(QString::fromStdString(bare));
    form.StartClicked();
    const QString withScheme = QString::fromStdString("http://" + bare);
    EXPECT_EQ(before, withScheme);
    EXPECT_EQ(form.ScanAddressBox->currentText(), withScheme);
    EXPECT_TRUE(form.DetailStatusLabel->text().contains(withScheme));
    EXPECT_TRUE(RunUntil([&] { return server.Count("/page.html") >= 1; }));
    EXPECT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    EXPECT_EQ(messages.Texts.size(), 1u);
}

// --- the browser capture ---

TEST_F(MainWindowTest, CaptureHeldByCtrlEndsWhenTheWindowLosesFocusButAToggledOneStays) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(&form, &press);
    ASSERT_TRUE(form.CaptureOn);
    // Ctrl is released in another window: this one only loses focus.
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&form, &deactivate);
    EXPECT_FALSE(form.CaptureOn);
    EXPECT_EQ(form.CaptureLight->accessibleDescription(), "black");

    form.SetCapture(true); // the capture panel's own toggle
    QApplication::sendEvent(&form, &deactivate);
    EXPECT_TRUE(form.CaptureOn);
    form.SetCapture(false);
}

// --- cleaning the storage folder ---

namespace {

// A home folder of the test's own, whose desktop folders are named in its
// user-dirs.dirs as the desktop names them.
struct HomeFolder : TrashHome {
    HomeFolder() {
        ::setenv("XDG_CONFIG_HOME", (Home() + "/.config").c_str(), 1);
        WriteFile(Home() + "/.config/user-dirs.dirs",
                  "XDG_MUSIC_DIR=\"$HOME/Music\"\nXDG_TEMPLATES_DIR=\"$HOME/Templates\"\n");
        fs::create_directories(Home() + "/Music");
        fs::create_directories(Home() + "/Templates");
    }
    ~HomeFolder() { ::unsetenv("XDG_CONFIG_HOME"); }
};

} // namespace

TEST_F(MainWindowTest, CleaningAsksFirstAndNeverRemovesTheDesktopFoldersOrTheStorageFolder) {
    HomeFolder home;
    const std::string storage = home.Home(); // the storage folder set to the home folder
    fs::create_directories(storage + "/old/gallery/thumbs");
    fs::create_directories(storage + "/Music/empty-album");
    form.Gallery().SetDownloadPath(storage + "/");

    messages.Answer = false;
    form.CleanFoldersAction->trigger();
    ASSERT_EQ(messages.Questions.size(), 1u);
    const std::string& question = messages.Questions[0];
    EXPECT_NE(question.find("Remove 4 empty folders"), std::string::npos) << question;
    EXPECT_NE(question.find(storage + "/old"), std::string::npos) << question;
    EXPECT_EQ(question.find(storage + "/Music\n"), std::string::npos) << question;
    EXPECT_TRUE(fs::exists(storage + "/old/gallery/thumbs")) << "removed without a yes";

    messages.Answer = true;
    form.CleanFoldersAction->trigger();
    EXPECT_FALSE(fs::exists(storage + "/old"));
    EXPECT_FALSE(fs::exists(storage + "/Music/empty-album"));
    EXPECT_TRUE(fs::is_directory(storage + "/Music"));
    EXPECT_TRUE(fs::is_directory(storage + "/Templates"));
    EXPECT_TRUE(fs::is_directory(storage));
    EXPECT_EQ(form.ActivityStatusLabel->text(), "Done.");

    form.CleanFoldersAction->trigger(); // nothing left: nothing asked
    EXPECT_EQ(messages.Questions.size(), 2u);
}

TEST(StorageCleanup, KeptFoldersAndTheirParentsStayAndAreNotListed) {
    TempDir store;
    fs::create_directories(store.Sub("a/keep/inner"));
    fs::create_directories(store.Sub("b/c"));
    const std::set<std::string> keep{store.Sub("a/keep") + "/"};
    const std::vector<std::string> found = EmptyFolders(store.Path(), keep);
    EXPECT_EQ(std::set<std::string>(found.begin(), found.end()),
              (std::set<std::string>{store.Sub("a/keep/inner"), store.Sub("b/c"), store.Sub("b")}));
    // Deepest first: a folder is listed after what it holds.
    EXPECT_LT(std::find(found.begin(), found.end(), store.Sub("b/c")) - found.begin(),
              std::find(found.begin(), found.end(), store.Sub("b")) - found.begin());
    EXPECT_FALSE(CleanEmptyFolders(store.Path(), {}, keep));
    EXPECT_TRUE(fs::is_directory(store.Sub("a/keep")));
    EXPECT_FALSE(fs::exists(store.Sub("b")));
}

// --- File > Exit during a scan, in a program of its own ---

// The program run by the test below: a scan of a slow page, File > Exit,
// then the application's own event loop, which must end by itself.
int RunExitDuringScan() {
    TestHttpServer server;
    server.On("/", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(3)); // still loading at the exit
        res.set_content("<p>late</p>", "text/html");
    });
    ConfigFolder config;
    WorkFolder work;
    RecordedMessages messages;
    MainWindow form(&messages);
    form.show();
    form.AfterCreate();
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartButton->click();
    if (!form.Gallery().IsWorking()) return 3;
    QTimer::singleShot(0, &form, [&form] { form.ExitAction->trigger(); });
    const int status = QApplication::exec();
    std::printf("event loop ended with %d while exiting: %d\n", status, int(form.Exiting()));
    std::fflush(stdout);
    return status;
}

TEST(MainWindowExit, ExitDuringAScanEndsTheProgramAfterTheCountdown) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSELLON_RUN_EXIT_DURING_SCAN", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
    ASSERT_TRUE(child.waitForStarted());
    // A bound, not a wait: the program ends about two seconds after Exit.
    const bool ended = child.waitForFinished(60000);
    if (!ended) {
        child.kill();
        child.waitForFinished();
    }
    const QString output = QString::fromUtf8(child.readAll());
    ASSERT_TRUE(ended) << "still running a minute after File > Exit\n" << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("event loop ended with 0 while exiting: 1"))
        << output.toStdString();
}
