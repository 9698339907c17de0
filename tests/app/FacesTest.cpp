// The link scanner, the file grabber and the mail collector as their users
// use them: a link-dense page, what the status bar and the statistics say
// after a scan, each face's settings, texts and layout.
#include "app/AboutBox.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"

#include "EventLoop.h"
#include "MainWindowFixture.h"
#include "TestHttpServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
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
