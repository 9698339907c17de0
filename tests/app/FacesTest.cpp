// The link scanner, the file grabber and the mail collector as their users
// use them: a link-dense page, what the status bar and the statistics say
// after a scan, each face's settings, texts and layout.
#include "app/AboutBox.h"
#include "app/ActivityLight.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "viewer/ViewerWindow.h"

#include "EventLoop.h"
#include "MainWindowFixture.h"
#include "TestHttpServer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <string>
#include <vector>

namespace {

// A page of count links to pages of its own site.
std::string LinkDensePage(int count) {
    std::string page = "<html><body>\n";
    for (int i = 0; i < count; ++i)
        page += "<a href=\"/pages/p" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
    return page + "</body></html>\n";
}

// Paint events reaching the window or anything in it.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* window) : Window_(window) { qApp->installEventFilter(this); }
    ~PaintCount() override { qApp->removeEventFilter(this); }
    int Paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == Window_)
            ++Paints;
        return false;
    }

private:
    QWidget* Window_;
};

} // namespace

// The main window whose scans end one quiet tick after their work instead
// of ten: what the window says at the end is the same, sooner.
class FacesTest : public MainWindowTest {
protected:
    FacesTest() {
        form.Gallery().PageDownloader.QuietTicksBeforeIdle = 1;
        form.Gallery().FileDownloader.QuietTicksBeforeIdle = 1;
    }
};

// --- a link-dense page ---

TEST_F(FacesTest, ALinkDensePageIsNotRepaintedLinkByLink) {
    constexpr int kLinks = 5000;
    TestHttpServer server;
    server.Serve("/", "text/html", LinkDensePage(kLinks));
    form.ApplyVariant(APP_SCRIVANE);
    form.DepthSpinBox->setValue(1);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    PaintCount count(&form);
    form.StartButton->click();
    ASSERT_TRUE(RunUntil([&] { return form.LinkCount >= kLinks; }, 120000));
    // Repainting the window after each link made the list take about 150
    // links a second; a few repaints a second of processing are enough.
    EXPECT_LT(count.Paints, kLinks / 10);
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    form.ApplyVariant(APP_TESSELLON);
}

// --- each face's own settings and texts ---

TEST_F(FacesTest, EachFaceStartsFromTheHistoryAndDepthItStored) {
    TestHttpServer server;
    server.Serve("/", "text/html", "<p>a page</p>");
    const QString gallery = form.ScanAddressBox->currentText();
    const int galleryDepth = form.DepthSpinBox->value();
    form.ApplyVariant(APP_SCRIVANE);
    form.DepthSpinBox->setValue(galleryDepth + 4);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartButton->click();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    form.ApplyVariant(APP_TESSELLON);
    EXPECT_EQ(form.DepthSpinBox->value(), galleryDepth);
    EXPECT_EQ(form.ScanAddressBox->currentText(), gallery);

    // The next session of the link scanner, from its first read on.
    form.ApplyVariant(APP_SCRIVANE);
    EXPECT_EQ(form.DepthSpinBox->value(), galleryDepth + 4);
    EXPECT_EQ(form.ScanAddressBox->itemText(0).toStdString(), server.Url("/"));
    EXPECT_EQ(form.Gallery().DepthSearchLevel(), galleryDepth + 4);
    EXPECT_NE(form.Gallery().ScanHistory().find(server.Url("/")), std::string::npos);
    form.ApplyVariant(APP_TESSELLON);
    EXPECT_EQ(form.Gallery().ScanHistory().find(server.Url("/")), std::string::npos);
}

TEST_F(FacesTest, EachFaceDescribesItself) {
    const auto welcome = [&] { return QFileInfo(form.WelcomePage()).fileName(); };
    EXPECT_EQ(form.About->WebReference->text(), "A picture-gallery web crawler for Linux");
    EXPECT_EQ(welcome(), "welcome.htm");
    form.ApplyVariant(APP_SCRIVANE);
    EXPECT_EQ(form.About->ProductName->text(), "Scrivane");
    EXPECT_EQ(form.About->windowTitle(), "About Scrivane");
    EXPECT_EQ(form.About->WebReference->text(), "A web link scanner for Linux");
    EXPECT_TRUE(form.WelcomePage().isEmpty()); // no browser in this face
    form.ApplyVariant(APP_HARVELLO);
    EXPECT_EQ(form.About->WebReference->text(), "A web file grabber for Linux");
    EXPECT_EQ(form.About->Version->text(), "version 1.21");
    EXPECT_EQ(form.Viewer()->windowTitle(), "Harvello Viewer");
    EXPECT_EQ(welcome(), "welcome-harvello.htm");
    form.ApplyVariant(APP_MISSIVANT);
    EXPECT_EQ(form.About->WebReference->text(), "A mail address collector for Linux");
    EXPECT_EQ(welcome(), "welcome-missivant.htm");
    // Each face's page is installed beside the program and names its face.
    for (const char* face : {"Harvello", "Missivant"}) {
        QFile page(QStringLiteral(TESSELLON_RESOURCES "/welcome-") + QString(face).toLower() +
                   ".htm");
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << face;
        const QString text = QString::fromUtf8(page.readAll());
        EXPECT_TRUE(text.contains(QStringLiteral("<h1>Welcome to ") + face)) << face;
        EXPECT_FALSE(text.contains("thumbnail")) << face;
    }
    form.ApplyVariant(APP_TESSELLON);
    EXPECT_EQ(form.About->Version->text(), "version 1.04 rev b");
    EXPECT_EQ(form.Viewer()->windowTitle(), "Tessellon Viewer");
}

// --- what the window says after a scan ---

namespace {

// The number after label in a statistics box ("errors: " -> 3).
int StatValue(QPlainTextEdit* box, const QString& label) {
    for (const QString& line : box->toPlainText().split('\n'))
        if (line.trimmed().startsWith(label)) return line.section(':', 1).trimmed().toInt();
    return -1;
}

int LineCount(const QString& text) {
    return text.isEmpty() ? 0 : int(text.split('\n').size());
}

} // namespace

TEST_F(FacesTest, AFailedStartPageEndsWithOneCountedErrorAndNoSearching) {
    TestHttpServer server; // nothing served: 404
    form.ApplyVariant(APP_SCRIVANE);
    form.Gallery().SetRetries(1);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/missing.htm")));
    form.StartButton->click();
    EXPECT_EQ(ListText(form.LinksList), "searching...");
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    EXPECT_EQ(form.ActivityStatusLabel->text(), "Done.");
    EXPECT_FALSE(ListText(form.LinksList).contains("searching"));
    EXPECT_EQ(LineCount(ListText(form.PageErrorsList)), 1);
    EXPECT_EQ(StatValue(form.PageStatsText, "errors:"), 1);
    form.ApplyVariant(APP_TESSELLON);
}

TEST_F(FacesTest, EveryFailedPageIsCountedAndTheFullQueueIsToldOnce) {
    constexpr int kLinks = 40, kQueue = 10;
    TestHttpServer server; // the linked pages are missing: 404
    server.Serve("/", "text/html", LinkDensePage(kLinks));
    form.ApplyVariant(APP_SCRIVANE);
    form.Gallery().SetRetries(1);
    form.Gallery().SetMaxQueueSize(kQueue);
    form.DepthSpinBox->setValue(2);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartButton->click();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    const QString told =
        QString::number(kLinks - kQueue) + " pages were not followed: the page queue was full";
    const QString errors = ListText(form.PageErrorsList);
    EXPECT_EQ(errors.count(told), 1) << errors.toStdString();
    EXPECT_EQ(form.DetailStatusLabel->text(), told);
    EXPECT_EQ(LineCount(errors), kQueue + 1);
    EXPECT_EQ(StatValue(form.PageStatsText, "errors:"), kQueue);
    EXPECT_EQ(StatValue(form.PageStatsText, "done:"), 1);
    form.ApplyVariant(APP_TESSELLON);
}

TEST_F(FacesTest, AfterStoppingTheFilesTheStatusEndsDoneAndTheStopMarkGoesWithTheScan) {
    TestHttpServer server;
    Gate gate;
    server.Serve("/", "text/html", "<a href=\"a.jpg\">a</a> <a href=\"b.jpg\">b</a>");
    const auto slowPicture = [&](const httplib::Request&, httplib::Response& res) {
        gate.Wait(10000);
        res.set_content("picture", "image/jpeg");
    };
    server.On("/a.jpg", slowPicture);
    server.On("/b.jpg", slowPicture);
    form.ApplyVariant(APP_HARVELLO);
    form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
    form.StartButton->click();
    ASSERT_TRUE(RunUntil([&] { return server.Count("/a.jpg") + server.Count("/b.jpg") > 0; }));
    ASSERT_TRUE(form.Gallery().FileDownloader.Working());
    form.StopFilesButton->click();
    EXPECT_EQ(form.StorageStatusLabel->text(), "stopping...");
    EXPECT_FALSE(form.Tabs->tabIcon(form.Tabs->indexOf(form.FileDownloadsTab)).isNull());
    gate.Open();
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    EXPECT_TRUE(form.ActivityStatusLabel->text().trimmed() == "Done.");
    EXPECT_EQ(form.StorageStatusLabel->text(), " Links found: 2");

    form.StartButton->click(); // the next scan starts unmarked
    EXPECT_TRUE(form.Tabs->tabIcon(form.Tabs->indexOf(form.FileDownloadsTab)).isNull());
    ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
    form.ApplyVariant(APP_TESSELLON);
}

// --- each face's scanner group ---

namespace {

// What is wrong with the scanner group as shown: visible controls that
// overlap, captions wider than their control.
std::vector<std::string> LayoutFaults(MainWindow& form) {
    std::vector<std::string> faults;
    std::vector<QWidget*> shown;
    for (QWidget* w : form.ScannerGroup->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(form.ScannerGroup)) shown.push_back(w);
    const auto name = [](QWidget* w) {
        return w->accessibleName().isEmpty() ? std::string(w->metaObject()->className())
                                             : w->accessibleName().toStdString();
    };
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (!form.ScannerGroup->contentsRect().contains(shown[i]->geometry()))
            faults.push_back(name(shown[i]) + " outside the group");
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            if (shown[i]->geometry().intersects(shown[j]->geometry()))
                faults.push_back(name(shown[i]) + " overlaps " + name(shown[j]));
    }
    const auto fits = [&](QWidget* w, const QString& text, int room) {
        if (w->fontMetrics().horizontalAdvance(text) > room)
            faults.push_back("\"" + text.toStdString() + "\" cut in " + name(w));
    };
    for (QWidget* w : shown) {
        if (auto* button = qobject_cast<QAbstractButton*>(w)) fits(w, button->text(), w->width());
        if (auto* label = qobject_cast<QLabel*>(w)) fits(w, label->text(), w->width());
        if (auto* panel = dynamic_cast<LightPanel*>(w)) {
            QLabel* caption = panel->CaptionLabel();
            fits(w, caption->text(), caption->width());
            if (caption->geometry().intersects(panel->Light()->geometry()))
                faults.push_back(name(w) + ": caption over the light");
        }
    }
    return faults;
}

} // namespace

TEST_F(FacesTest, EachFacesScannerGroupFitsFromTheMinimumWidthUp) {
    for (const AppVariant face : {APP_SCRIVANE, APP_HARVELLO, APP_MISSIVANT, APP_TESSELLON}) {
        form.ApplyVariant(face);
        for (const int width : {1, 1600}) {
            form.resize(width, 700); // the minimum the window allows, and a wide one
            QApplication::processEvents();
            const std::string where =
                form.windowTitle().toStdString() + " at " + std::to_string(form.width());
            const std::vector<std::string> faults = LayoutFaults(form);
            EXPECT_TRUE(faults.empty()) << where << ": " << ::testing::PrintToString(faults);
        }
        // What the face does not use does not show.
        EXPECT_EQ(form.StopFilesButton->isVisibleTo(&form),
                  face == APP_HARVELLO || face == APP_TESSELLON);
    }
    EXPECT_LT(form.minimumSizeHint().width(), 1024);
}

TEST_F(FacesTest, EachFaceIsSavedAsAScreenshotAfterAScan) {
    TestHttpServer server;
    server.Serve("/", "text/html",
                 "<a href=\"p.htm\">p</a> <a href=\"a.jpg\">a</a> "
                 "<a href=\"mailto:someone@a.example\">mail</a>");
    server.Serve("/p.htm", "text/html", "<p>a page</p>");
    server.Serve("/a.jpg", "image/jpeg", "picture");
    const QString folder = QStringLiteral(TESSELLON_SCREENSHOTS);
    QDir().mkpath(folder);
    for (const AppVariant face : {APP_SCRIVANE, APP_HARVELLO, APP_MISSIVANT}) {
        form.ApplyVariant(face);
        form.ScanAddressBox->setEditText(QString::fromStdString(server.Url("/")));
        form.StartButton->click();
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
        form.FlushLists();
        if (face != APP_SCRIVANE) form.Tabs->setCurrentWidget(form.PageAnalysisTab);
        const QString name = folder + "/face-" + form.windowTitle().toLower() + ".png";
        EXPECT_TRUE(form.grab().save(name)) << name.toStdString();
        form.Tabs->setCurrentWidget(form.HomeTab);
        EXPECT_TRUE(
            form.grab().save(folder + "/face-" + form.windowTitle().toLower() + "-home.png"));
    }
    form.ApplyVariant(APP_TESSELLON);
}
