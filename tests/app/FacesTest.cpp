// The link scanner, the file grabber and the mail collector as their users
// use them: a link-dense page, what the status bar and the statistics say
// after a scan, each face's settings, texts and layout.
#include "app/AboutBox.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "viewer/ViewerWindow.h"

#include "EventLoop.h"
#include "MainWindowFixture.h"
#include "TestHttpServer.h"

#include <QApplication>
#include <QCheckBox>
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

// --- a link-dense page ---

TEST_F(MainWindowTest, ALinkDensePageIsNotRepaintedLinkByLink) {
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

TEST_F(MainWindowTest, EachFaceStartsFromTheHistoryAndDepthItStored) {
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

TEST_F(MainWindowTest, EachFaceDescribesItself) {
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
