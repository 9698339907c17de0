// The main window: its lists and statistics, the history it keeps, the
// lights through a scan, the exit while busy, the variants and the
// storage clean-up.
#include "app/MainWindow.h"
#include "app/ActivityLight.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "app/StorageCleanup.h"
#include "gallery/HelpContext.h"

#include "AccessibleWalk.h"
#include "EventLoop.h"
#include "MainWindowFixture.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "TestSettings.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

// --- lists and statistics ---

TEST_F(MainWindowTest, LinksAreListedAndEveryThousandthReplacesTheList) {
    FoundLink link = Link("http://a.example/p.htm");
    form.LinkFound(link);
    EXPECT_EQ(link.WriteToFile.substr(0, 6), "htm   ");
    EXPECT_EQ(link.WriteToFile.size(), 6u + 80 + 1 + link.FromUrl.size());
    EXPECT_TRUE(ListText(form.LinksList).endsWith("htm  http://a.example/p.htm"));
    EXPECT_EQ(form.StorageStatusLabel->text(), " Links found: 1");
    for (int i = 2; i <= 999; ++i) {
        FoundLink more = Link("http://a.example/" + std::to_string(i));
        form.LinkFound(more);
    }
    FoundLink thousandth = Link("http://a.example/1000");
    form.LinkFound(thousandth);
    EXPECT_EQ(ListText(form.LinksList),
              "------------ NEXT 1000 ITEMS ...\nhtm  http://a.example/1000");
    FoundLink next = Link("http://a.example/1001");
    form.LinkFound(next);
    form.FlushLists();
    EXPECT_EQ(form.LinksList->blockCount(), 3);
}

TEST_F(MainWindowTest, ResultsLinesLineUpByCharactersNotBytes) {
    FoundLink plain = Link("http://a.example/cafe.htm");
    FoundLink accented = Link("http://a.example/caf\xC3\xA9/\xE2\x82\xAC.htm");
    form.LinkFound(plain);
    form.LinkFound(accented);
    const QString a = QString::fromStdString(plain.WriteToFile);
    const QString b = QString::fromStdString(accented.WriteToFile);
    EXPECT_EQ(a.lastIndexOf(QString::fromStdString(plain.FromUrl)),
              b.lastIndexOf(QString::fromStdString(accented.FromUrl)))
        << a.toStdString() << "\n"
        << b.toStdString();
}

TEST_F(MainWindowTest, StatisticsReceivedFilesAndErrorsUseTheirExactTexts) {
    form.UpdatedStats({1, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(ListText(form.PageStatsText),
              "       in queue: 1\n    downloading: 2\n     to process: 3\n"
              "           done: 4\n        retries: 5\n         errors: 6\n"
              "already on disk: 7");
    form.UpdatedStats({2, 0, 0, 0, 9, 0, 0, 0});
    EXPECT_TRUE(ListText(form.FileStatsText).contains("           done: 9"));

    form.PageDownloadError({1, "http://a.example/x.htm", 404, "", "http://a.example/"});
    EXPECT_EQ(ListText(form.PageErrorsList), "404: http://a.example/x.htm   (http://a.example/)");
    form.FileDownloadError({2, "http://a.example/x.jpg", 500, "Internal", "http://a.example/"});
    EXPECT_EQ(ListText(form.FileErrorsList),
              "Error 500: http://a.example/x.jpg Internal  (http://a.example/)");

    form.FileReceived("http://a.example/1.jpg", false);
    form.FileReceived("http://a.example/2.jpg", true);
    EXPECT_EQ(ListText(form.ReceivedFilesList),
              "   done: http://a.example/1.jpg\non disk: http://a.example/2.jpg");
    for (int i = 3; i <= 1000; ++i)
        form.FileReceived("http://a.example/f", false);
    // This list's marker keeps its typo.
    EXPECT_TRUE(ListText(form.ReceivedFilesList).startsWith("------------ NEXT 1000 IT EMS ...\n"));
}

TEST_F(MainWindowTest, HelpOpensTheUserGuideAtTheTopicOfTheFocusedControl) {
    std::vector<QString> shown;
    form.OnNavigate = [&](const QString& url) { shown.push_back(url); };
    const QString guide = QUrl::fromLocalFile(form.UserGuidePage()).toString();
    form.Tabs->setCurrentWidget(form.FileDownloadsTab);
    form.ShowContextHelp(form.StartButton);
    EXPECT_EQ(form.DetailStatusLabel->text(), "#2100");
    EXPECT_EQ(form.Tabs->currentWidget(), form.HomeTab) << "the browser is on the home tab";
    form.ShowContextHelp(form.LinksList); // none of its own, nor its parents'
    EXPECT_EQ(form.DetailStatusLabel->text(), "");
    EXPECT_EQ(MainWindow::HelpTopic(-1), "");
    form.OverviewAction->trigger();
    form.UserGuideAction->trigger();
    EXPECT_EQ(shown, (std::vector<QString>{guide + "#2100", guide, guide + "#overview", guide}));
}

TEST_F(MainWindowTest, TheUserGuideHasASectionForEveryHelpTopic) {
    const std::string html = ReadFile(TESSELLON_RESOURCES "/userguide.htm");
    ASSERT_FALSE(html.empty());
    std::set<int> topics{kGalleryHelpContext};
    for (QWidget* widget : form.findChildren<QWidget*>())
        if (const int topic = HelpContextOf(widget); topic > 0) topics.insert(topic);
    EXPECT_GE(topics.size(), 10u);
    for (int topic : topics)
        EXPECT_NE(html.find("id=\"" + std::to_string(topic) + "\""), std::string::npos) << topic;
    EXPECT_NE(html.find("id=\"overview\""), std::string::npos);
}

TEST_F(MainWindowTest, TextsKeepTheirTypos) {
    EXPECT_TRUE(form.ReloadButton->toolTip().contains("\"store Hmtl pages\""));
    EXPECT_TRUE(form.CapturePanel->toolTip().contains("brower-to-scanner"));
}

// --- history and settings ---

TEST_F(MainWindowTest, HistoryIsStoredUpToItsLimitAndTypedAddressesGetTheScheme) {
    // Each new top entry is checked for a stored copy and, lacking one,
    // scanned at once: the addresses lead nowhere.
    const std::string longAddress = "http://127.0.0.1:1/" + std::string(3000, 'p');
    for (int i = 0; i < 8; ++i)
        form.ScanAddressBox->AddItem(QString::fromStdString(longAddress + std::to_string(i)));
    const std::string stored = form.Gallery().ScanHistory();
    EXPECT_LE(stored.size(), 16381u);
    EXPECT_EQ(stored.substr(0, longAddress.size() + 1), longAddress + "7");
    EXPECT_EQ(stored.find(longAddress + "0"), std::string::npos); // the oldest went
    EXPECT_EQ(form.ScanAddressBox->count(), 8 + 1);               // the box keeps them all
    EXPECT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
}

TEST_F(MainWindowTest, StayOnSiteWarningShowsOnceAndOnlyWhenUnchecking) {
    form.ApplyVariant(APP_HARVELLO); // the box is hidden in the gallery variant
    form.StayOnSiteCheckBox->setChecked(true);
    form.StayOnSiteCheckBox->click();
    form.StayOnSiteCheckBox->click();
    form.StayOnSiteCheckBox->click();
    EXPECT_EQ(messages.Texts,
              std::vector<std::string>{"disabling this option may produce interminable searches in "
                                       "any directions"});
    EXPECT_FALSE(form.Gallery().StayOnSite);
}

// --- a scan ---

TEST_F(MainWindowTest, LightsAndStatusFollowAScanToItsEnd) {
    TestHttpServer server;
    server.Serve("/", "text/html", "<a href=\"p.htm\">p</a>");
    server.On("/p.htm", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700)); // a slow page
        res.set_content("<p>nothing</p>", "text/html");
    });
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    std::set<std::string> lights;
    form.Gallery().OnUserTimer = [&](Component*, bool aborting) {
        form.UserTick(aborting);
        lights.insert(LightColourName(form.PageLight->Colour()).toStdString());
    };
    form.StartButton->click();
    EXPECT_EQ(form.ActivityStatusLabel->text(), " Working...");
    EXPECT_FALSE(form.OptionsMenu->isEnabled());
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 30000));
    EXPECT_TRUE(lights.count("maroon") && lights.count("red"));
    EXPECT_EQ(form.PageLight->Colour(), LightColour::Gray);
    EXPECT_EQ(form.ActivityStatusLabel->text(), "NO JPEG THUMBNAILS FOUND ON THESE PAGES.");
    EXPECT_TRUE(form.OptionsMenu->isEnabled());
    EXPECT_EQ(form.ScanAddressBox->itemText(0).toStdString(), server.Url("/"));
}

TEST_F(MainWindowTest, StartDuringAScanKeepsTheListsAndTakesTheAddress) {
    TestHttpServer server;
    Gate gate;
    server.On("/", [&](const httplib::Request&, httplib::Response& res) {
        gate.Wait();
        res.set_content("<p>first</p>", "text/html");
    });
    server.Serve("/other.htm", "text/html", "<p>second</p>");
    form.ApplyVariant(APP_HARVELLO);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartClicked();
    ASSERT_TRUE(form.Gallery().IsWorking());
    FoundLink link = Link("http://a.example/kept");
    form.LinkFound(link);

    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/other.htm")));
    form.StartClicked();
    EXPECT_TRUE(ListText(form.LinksList).contains("http://a.example/kept")); // not cleared
    EXPECT_EQ(form.ScanAddressBox->itemText(0).toStdString(), server.Url("/other.htm"));
    gate.Open();
    EXPECT_TRUE(RunUntil([&] { return server.Count("/other.htm") >= 1; }));
    EXPECT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    form.ApplyVariant(APP_TESSELLON);
}

TEST_F(MainWindowTest, FailedStartPageEndsDoneWithoutStartingAgain) {
    TestHttpServer server;           // nothing served: 404
    form.ApplyVariant(APP_HARVELLO); // pages only: no thumbnails to miss
    form.Gallery().SetRetries(1);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/missing.htm")));
    form.StartClicked();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 30000));
    const int requests = server.Total();
    RunUntil([] { return false; }, 1500); // a few ticks: no new scan may start
    EXPECT_FALSE(form.Gallery().IsWorking());
    EXPECT_EQ(server.Total(), requests);
    EXPECT_EQ(form.ActivityStatusLabel->text(), "Done.");
    EXPECT_FALSE(form.ReloadButton->isEnabled());
    form.ApplyVariant(APP_TESSELLON);
}

TEST_F(MainWindowTest, ClosingWhileBusyIsRefusedBlinksAndEndsAfterTheCountdown) {
    TestHttpServer server;
    server.On("/", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(3)); // a trickle
        res.set_content("<p>late</p>", "text/html");
    });
    bool terminated = false;
    form.Gallery().TerminateApplication = [&] { terminated = true; };
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartButton->click();
    ASSERT_TRUE(form.Gallery().IsWorking());
    std::set<std::string> lights;
    int shutdownTicks = 0;
    form.Gallery().OnUserTimer = [&](Component*, bool aborting) {
        form.UserTick(aborting);
        lights.insert(LightColourName(form.PageLight->Colour()).toStdString());
        if (aborting) ++shutdownTicks;
    };
    EXPECT_FALSE(form.close());
    EXPECT_EQ(form.ActivityStatusLabel->text(), "EXITING...");
    EXPECT_TRUE(form.Exiting());
    ASSERT_TRUE(RunUntil([&] { return terminated; }, 10000));
    // The end comes with the countdown's ticks (200 ms each, about two
    // seconds), counted rather than timed: a loaded machine stretches them.
    EXPECT_GE(shutdownTicks, form.Gallery().ShutdownTicks - 1);
    EXPECT_TRUE(lights.count("olive") && lights.count("yellow"));
}

// --- variants ---

namespace {

// What a variant shows, as text, to compare two applications.
std::string Dump(MainWindow& f) {
    std::string s;
    const auto add = [&](const char* name, QWidget* w) {
        s += std::string(name) + (w->isVisibleTo(&f) ? " shown " : " hidden ") +
             std::to_string(w->x()) + "," + std::to_string(w->y()) + " " +
             std::to_string(w->width()) + " " + w->property("text").toString().toStdString() + "\n";
    };
    add("address", f.ScanAddressBox);
    add("start", f.StartButton);
    add("reload", f.ReloadButton);
    add("pagestop", f.StopPagesButton);
    add("filestop", f.StopFilesButton);
    add("capture", f.CapturePanel);
    add("pages", f.PageActivityPanel);
    add("pics", f.FileActivityPanel);
    add("stay", f.StayOnSiteCheckBox);
    add("close", f.CloseTabsButton);
    add("browser", f.BrowserGroup);
    for (int i = 0; i < f.Tabs->count(); ++i)
        s += f.Tabs->tabText(i).toStdString() +
             (f.Tabs->isTabVisible(i) ? " tab shown\n" : " tab hidden\n");
    s += f.windowTitle().toStdString() + "\n";
    return s;
}

} // namespace

TEST_F(MainWindowTest, GalleryVariantTwiceIsTheSameAsOnce) {
    const std::string once = Dump(form);
    form.ApplyVariant(APP_TESSELLON);
    EXPECT_EQ(Dump(form), once);
    EXPECT_EQ(form.windowTitle(), "Tessellon");
    EXPECT_EQ(form.Tabs->tabText(0), "Main");
    EXPECT_FALSE(form.Gallery().OnLinkFound);
    EXPECT_FALSE(form.Gallery().StatsHook);
    EXPECT_FALSE(form.Gallery().PageDownloader.OnError);
    const int address = form.ScanAddressBox->x();
    EXPECT_EQ(address, form.CapturePanel->x() + form.CapturePanel->width() + 6);
    EXPECT_EQ(form.ScanAddressBox->x() + form.ScanAddressBox->width(), form.ReloadButton->x() - 6);
}

TEST_F(MainWindowTest, LinkScannerVariantShowsTheAnalysisOnHome) {
    form.ApplyVariant(APP_SCRIVANE);
    EXPECT_EQ(form.windowTitle(), "Scrivane");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Scrivane");
    // The settings key follows the title.
    EXPECT_EQ(form.Gallery().Store().KeyPath(), "\\Software\\Scrivane");
    EXPECT_FALSE(form.BrowserGroup->isVisibleTo(&form));
    EXPECT_EQ(form.PageAnalysisGroup->parentWidget(), form.HomeTab);
    EXPECT_FALSE(form.ReloadButton->isVisibleTo(&form));
    EXPECT_FALSE(form.ViewerAction->isVisible());
    QApplication::processEvents(); // the scanner group's layout closes the gaps
    EXPECT_EQ(form.ScanAddressBox->x(), form.PageActivityPanel->x());
    EXPECT_EQ(form.ScanAddressBox->x() + form.ScanAddressBox->width(), form.StartButton->x() - 6);
    EXPECT_TRUE(form.Gallery().OnLinkFound && form.Gallery().StatsHook);
    form.ApplyVariant(APP_TESSELLON); // the title (and the settings key) back for the others
}

TEST_F(MainWindowTest, GrabberAndMailVariantsNameTheirStopButtons) {
    form.ApplyVariant(APP_HARVELLO);
    EXPECT_EQ(form.StopFilesButton->text(), "stop file download");
    EXPECT_EQ(form.StopPagesButton->text(), "stop html analysis");
    QApplication::processEvents();
    EXPECT_LT(form.StopPagesButton->x(), form.StopFilesButton->x());
    EXPECT_EQ(form.FileActivityPanel->Caption(), "getting files      ");
    EXPECT_TRUE(form.Tabs->isTabVisible(form.Tabs->indexOf(form.FileDownloadsTab)));
    form.ApplyVariant(APP_MISSIVANT);
    EXPECT_FALSE(form.StopFilesButton->isVisibleTo(&form)); // no file work here
    EXPECT_TRUE(form.Tabs->isTabVisible(form.Tabs->indexOf(form.MailTab)));
    EXPECT_FALSE(form.Tabs->isTabVisible(form.Tabs->indexOf(form.FileDownloadsTab)));
    FoundLink mail;
    mail.TypeLink = "mail";
    mail.UrlFound = "someone@a.example";
    mail.HostName = "a.example";
    mail.FromUrl = "http://a.example/";
    form.Gallery().OnLinkFound(nullptr, mail);
    EXPECT_EQ(mail.WriteToFile, "someone@a.example;a.example;http://a.example/");
    EXPECT_EQ(form.StorageStatusLabel->text(), " Mail addresses found: 1");
    form.ApplyVariant(APP_TESSELLON);
}

// The mail face keeps every address a scan finds, not only the lines its
// list shows, and saves them; a new start begins afresh.
TEST_F(MainWindowTest, MailFaceKeepsAndSavesEveryAddressFound) {
    std::string page = "<a href=\"mailto:dave@example.com,erin@example.com?subject=Hi\">d</a>"
                       "<a href=\"mailto:?subject=nobody\">n</a>";
    for (int i = 0; i < 1000; ++i)
        page += "<a href=\"mailto:u" + std::to_string(i) + "%40example.com?body=x\">u</a>";
    for (int i = 0; i < 500; ++i)
        page += "<p>Write to t" + std::to_string(i) + "&#64;example.org.</p>";
    TestHttpServer server;
    server.Serve("/", "text/html", page);
    server.Serve("/none.htm", "text/html", "<p>no address</p>");
    form.ApplyVariant(APP_MISSIVANT);
    EXPECT_TRUE(form.SaveMailAction->isVisible());
    EXPECT_EQ(form.SaveMailAction->text(), QStringLiteral("Save mail addresses\u2026"));
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartClicked();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 30000));
    EXPECT_EQ(form.StorageStatusLabel->text(), " Mail addresses found: 1502");
    EXPECT_EQ(form.Gallery().MailAddresses.Count(), 1502u);
    const std::string results = form.Gallery().ResultsFileName();
    ASSERT_FALSE(results.empty());
    std::ifstream resultsFile(results);
    const std::string resultsText((std::istreambuf_iterator<char>(resultsFile)), {});
    EXPECT_EQ(std::count(resultsText.begin(), resultsText.end(), '\n'), 1502);
    EXPECT_NE(resultsText.find("erin@example.com;example.com;" + server.Url("/")),
              std::string::npos);

    const QString saved = QString::fromStdString(work.Dir.Path() + "/mail.txt");
    form.ChooseSaveFile = [&](const QString&) { return saved; };
    form.SaveMailAction->trigger();
    std::ifstream in(saved.toStdString());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 1502u);
    EXPECT_EQ(lines[0], "dave@example.com");
    EXPECT_EQ(lines[1], "erin@example.com");
    EXPECT_EQ(lines[2], "u0@example.com");
    EXPECT_EQ(lines.back(), "t499@example.org");
    // A folder that is not there is told, and the saved file stays.
    form.SaveMailAddresses(QString::fromStdString(work.Dir.Path() + "/missing/mail.txt"));
    ASSERT_FALSE(messages.Texts.empty());
    EXPECT_NE(messages.Texts.back().find("unable to save the mail addresses"), std::string::npos);

    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/none.htm")));
    form.StartClicked();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 30000));
    EXPECT_EQ(form.Gallery().MailAddresses.Count(), 0u);
    form.ApplyVariant(APP_TESSELLON);
    EXPECT_FALSE(form.SaveMailAction->isVisible());
}

TEST_F(MainWindowTest, EveryControlHasAnAccessibleName) {
    const std::vector<std::string> unnamed = UnnamedAccessibleControls(&form);
    EXPECT_TRUE(unnamed.empty()) << ::testing::PrintToString(unnamed);
    EXPECT_EQ(form.PageLight->accessibleDescription(), "gray");
    EXPECT_EQ(form.CaptureLight->accessibleDescription(), "black");
    // "browser capture" is a toggle, checked while capture is on.
    QAccessibleInterface* capture = QAccessible::queryAccessibleInterface(form.CapturePanel);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->role(), QAccessible::CheckBox);
    EXPECT_EQ(capture->text(QAccessible::Name), "browser capture");
    EXPECT_FALSE(capture->state().checked);
    capture->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(form.CaptureOn);
    EXPECT_TRUE(capture->state().checked);
    EXPECT_EQ(form.CaptureLight->accessibleDescription(), "blue");
}

// --- storage clean-up ---

TEST(StorageCleanup, EmptyFoldersGoLinksAreNeverFollowedDotFoldersStay) {
    TempDir store, outside;
    namespace fs = std::filesystem;
    fs::create_directories(store.Sub("a/b/c"));
    fs::create_directories(store.Sub("dots"));
    WriteFile(store.Sub("dots/.hidden"), "x");
    fs::create_directories(store.Sub("kept"));
    WriteFile(store.Sub("kept/pic.jpg"), "x");
    fs::create_directories(store.Sub("cycle"));
    fs::create_directory_symlink(store.Sub("cycle"), store.Sub("cycle/loop"));
    fs::create_directories(outside.Sub("empty"));
    fs::create_directory_symlink(outside.Sub("empty"), store.Sub("away"));
    std::vector<std::string> visited;
    CleanEmptyFolders(store.Path(), [&](const std::string& p) { visited.push_back(p); });
    EXPECT_FALSE(fs::exists(store.Sub("a")));
    EXPECT_TRUE(fs::exists(store.Sub("dots"))); // its removal fails: it stays
    EXPECT_TRUE(fs::exists(store.Sub("kept/pic.jpg")));
    EXPECT_TRUE(fs::is_symlink(store.Sub("cycle/loop")));
    EXPECT_TRUE(fs::exists(outside.Sub("empty")));
    EXPECT_TRUE(fs::exists(store.Path()));
    EXPECT_LT(visited.size(), 10u);
}

TEST_F(MainWindowTest, SavesAScreenshotOfTheHomeTab) {
    const QString folder = QStringLiteral(TESSELLON_SCREENSHOTS);
    QDir().mkpath(folder);
    ASSERT_TRUE(form.grab().save(folder + "/main-home.png"));
}

// An unfinished scan in the storage folder: the status bar says so at start,
// File > "Resume unfinished scan" continues it, and a new Start replaces it
// only once the user agrees.
TEST_F(MainWindowTest, AnUnfinishedScanIsOfferedForResumingAndReplacedOnlyAfterAsking) {
    TestHttpServer server;
    server.Serve("/", "text/html", "<p>nothing</p>");
    const std::string folder = form.Gallery().DownloadPath();
    const std::string address = server.Url("/");
    const std::string journal = ScanJournal::PathIn(folder);
    const auto writeJournal = [&] {
        WriteFile(journal, "tessellon scan journal 1\nA\t" + address + "\nB\nP\t1\t0\t32\t" +
                               address + "\t" + address + "\n");
    };
    writeJournal();
    {
        MainWindow starting(&messages);
        EXPECT_TRUE(starting.ResumeAction->isEnabled());
        EXPECT_TRUE(starting.DetailStatusLabel->text().contains(QString::fromStdString(address)))
            << starting.DetailStatusLabel->text().toStdString();
    }
    EXPECT_EQ(form.ResumeAction->text(), QStringLiteral("Resume unfinished scan"));

    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/other")));
    messages.Answer = false;
    form.StartClicked();
    EXPECT_FALSE(form.Gallery().IsWorking());
    EXPECT_EQ(messages.Questions.size(), 1u);
    EXPECT_TRUE(FileExists(journal));

    form.UserTick(false);
    ASSERT_TRUE(form.ResumeAction->isEnabled());
    form.ResumeAction->trigger();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 30000));
    EXPECT_EQ(server.Count("/"), 1);
    EXPECT_FALSE(FileExists(journal));
    form.UserTick(false);
    EXPECT_FALSE(form.ResumeAction->isEnabled());

    writeJournal();
    messages.Answer = true;
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/other")));
    form.StartClicked();
    EXPECT_TRUE(RunUntil([&] { return server.Count("/other") == 1; }));
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }, 30000));
    EXPECT_EQ(server.Count("/"), 1);
}
