// The embedded browser panel alone, its hooks recording what the window
// would get, a timer standing in for the window's tick, and pages from a
// local server.
#include "app/BrowserPanel.h"
#include "app/BrowserAddressBox.h"
#include "app/WebBrowser.h"
#include "common/Component.h"
#include "gallery/ScreenCursor.h"

#include "EventLoop.h"
#include "TestHttpServer.h"
#include "WebPageInput.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>

#include <memory>
#include <ostream>
#include <stdexcept>

// Readable failures.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

struct RecordedMessages : MessageSink {
    std::vector<std::string> Texts;
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
};

class BrowserPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        Server.Serve("/", "text/html",
                     "<html><body style='margin:0'>"
                     "<script>document.addEventListener('mousedown', "
                     "function(){window.probed=true;});</script>"
                     "<p><a id='http' href='/a'>plain web</a></p>"
                     "<p><a id='https' href='https://127.0.0.1:1/secure'>secure web</a></p>"
                     "<p><a id='mail' href='mailto:someone@example.com'>mail</a></p>"
                     "<p><button id='pop' onclick=\"window.open('/popup')\">pop up</button></p>"
                     "<form method='post' action='/form'><input name='q' value='1'>"
                     "<button id='send'>send</button></form></body></html>");
        for (const char* path : {"/a", "/b", "/c", "/popup", "/welcome"})
            Server.Serve(path, "text/html", std::string("<html><body>") + path + "</body></html>");
        Server.On("/slow", [this](const httplib::Request&, httplib::Response& res) {
            SlowGate.Wait();
            res.set_content("<html><body>slow</body></html>", "text/html");
        });
        Panel.CaptureOn = [this] { return Capture; };
        Panel.CaptureLink = [this](const QString& url) {
            if (Throw) throw std::runtime_error("hook failed");
            Captured.append(url);
            return true;
        };
        Panel.OnStatusText = [this](const QString& text) { Status.append(text); };
        Panel.OnUrlShown = [this](const std::string& url) { Shown.push_back(url); };
        Panel.resize(800, 600);
        Panel.show();
        QObject::connect(&Ticker, &QTimer::timeout, [this] {
            Panel.Tick();
            ++Ticks;
        });
        Ticker.start(20);
        QObject::connect(Panel.Browser, &QWebEngineView::loadFinished, [this] { ++Loads; });
    }
    void TearDown() override {
        SlowGate.Open();
        restoreSavedCursor();
    }

    QString Url(const std::string& path) const { return QString::fromStdString(Server.Url(path)); }
    // Requests path the way the window does and waits until it is shown.
    void Show(const std::string& path) {
        const int loads = Loads;
        Panel.BrowseTo(Url(path));
        ASSERT_TRUE(RunUntil([&] {
            return Loads > loads && Panel.Browser->url() == QUrl(Url(path)) && !Panel.BrowserBusy;
        }));
    }
    // Lets the tick run a few times more with the browser idle.
    void SettleTicks() {
        const int until = Ticks + 5;
        ASSERT_TRUE(RunUntil([&] { return Ticks >= until && !Panel.BrowserBusy; }));
    }
    QPoint Centre(const QString& id) { return ::Centre(Panel.Browser, id); }
    void WaitForInput() { ::WaitForInput(Panel.Browser, QPoint(700, 550)); }
    void Click(const QString& id, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        WaitForInput();
        QTest::mouseClick(Panel.Browser->focusProxy(), Qt::LeftButton, modifiers, Centre(id));
    }

    Gate SlowGate;
    TestHttpServer Server;
    RecordedMessages Messages;
    BrowserPanel Panel{nullptr, &Messages};
    QTimer Ticker;
    int Ticks = 0, Loads = 0;
    bool Capture = false, Throw = false;
    QStringList Captured, Status;
    std::vector<std::string> Shown;
};

TEST_F(BrowserPanelTest, CtrlClickCapturesWebLinksAndPagesOpenNoWindows) {
    Show("/");
    const int windows = QApplication::topLevelWidgets().size();
    Capture = true;
    // In this order, so that the capture of the last link also means the
    // earlier requests were all handled.
    Click("pop");
    Click("mail", Qt::ControlModifier);
    Click("http", Qt::ControlModifier);
    Click("https", Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return Captured.size() >= 2; }));
    EXPECT_EQ(Captured, QStringList({Url("/a"), "https://127.0.0.1:1/secure"}));
    SettleTicks();
    EXPECT_EQ(Server.Count("/a"), 0);
    EXPECT_EQ(Server.Count("/popup"), 0);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    EXPECT_EQ(Panel.Browser->url(), QUrl(Url("/")));

    // Capture off: a Ctrl-clicked link opens in place.
    Capture = false;
    Click("http", Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/a")); }));
    EXPECT_EQ(Captured.size(), 2);
}

TEST_F(BrowserPanelTest, FollowedLinksAndFormsLoadOnce) {
    Show("/");
    Click("http");
    ASSERT_TRUE(RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/a")); }));
    SettleTicks();
    EXPECT_EQ(Server.Count("/a"), 1);
    EXPECT_EQ(Panel.PendingUrl, Url("/a"));

    // A form's result stays; no GET of its action follows the POST.
    Show("/");
    Click("send");
    ASSERT_TRUE(RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/form")); }));
    SettleTicks();
    EXPECT_EQ(Server.Count("/form"), 0);

    // With the capture switch on, a plain click goes to the scanner.
    Show("/");
    Capture = true;
    Click("http");
    ASSERT_TRUE(RunUntil([&] { return Captured.size() == 1; }));
    SettleTicks();
    EXPECT_EQ(Server.Count("/a"), 1);
    EXPECT_EQ(Shown, (std::vector<std::string>{Server.Url("/"), Server.Url("/"), Server.Url("/")}));
}

TEST_F(BrowserPanelTest, AnExceptionInAHookIsReportedAndTheLinkFollowed) {
    // Thrown while the browser asks whether to follow a link.
    Show("/");
    Panel.CaptureOn = []() -> bool { throw std::runtime_error("no capture state"); };
    Click("http");
    ASSERT_TRUE(RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/a")); }));
    EXPECT_EQ(Messages.Texts, std::vector<std::string>{"Unexpected error: no capture state"});

    // Thrown by the scanner's start after a Ctrl-click.
    Show("/");
    Panel.CaptureOn = [] { return true; };
    Throw = true;
    Click("http", Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/a")); }));
    ASSERT_EQ(Messages.Texts.size(), 2u);
    EXPECT_EQ(Messages.Texts[1], "Unexpected error: hook failed");
}

TEST_F(BrowserPanelTest, BackDropsTheRequestItInterrupted) {
    Show("/a");
    Show("/b");
    // Back before the tick navigated /c: /c is not loaded.
    Panel.BrowseTo(Url("/c"));
    Panel.BrowserButtonClicked(bbBack);
    EXPECT_EQ(screenCursor(), ScreenCursor::AppStarting);
    ASSERT_TRUE(RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/a")); }));
    SettleTicks();
    EXPECT_EQ(Server.Count("/c"), 0);
    EXPECT_EQ(screenCursor(), ScreenCursor::Default);
    // Asked for again, it is shown.
    Show("/c");
}

TEST_F(BrowserPanelTest, ARequestStopsTheLoadingPageAndKeepsTheCursorUntilItsOwnPage) {
    Show("/");
    Panel.BrowseTo(Url("/slow"));
    ASSERT_TRUE(RunUntil([&] { return Panel.BrowserBusy && Server.Count("/slow") == 1; }));
    const int loads = Loads;
    Panel.BrowseTo(Url("/a"));
    // The stopped load ends; the cursor stays until /a is complete.
    ASSERT_TRUE(RunUntil([&] { return Loads > loads; }));
    EXPECT_EQ(screenCursor(), ScreenCursor::AppStarting);
    ASSERT_TRUE(
        RunUntil([&] { return Panel.Browser->url() == QUrl(Url("/a")) && !Panel.BrowserBusy; }));
    SettleTicks();
    EXPECT_EQ(screenCursor(), ScreenCursor::Default);
    EXPECT_EQ(Server.Count("/a"), 1);
}

TEST_F(BrowserPanelTest, ContextMenuOnlyOnLinksAndTheOKFocusBevel) {
    Show("/");
    WaitForInput();
    QTest::mouseClick(Panel.Browser->focusProxy(), Qt::RightButton, {}, Centre("http"));
    ASSERT_TRUE(RunUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    QApplication::activePopupWidget()->close();
    ASSERT_TRUE(RunUntil([] { return QApplication::activePopupWidget() == nullptr; }));
    QTest::mouseClick(Panel.Browser->focusProxy(), Qt::RightButton, {}, QPoint(700, 550));
    ASSERT_TRUE(RunUntil([&] {
        auto* request = Panel.Browser->lastContextMenuRequest();
        return request != nullptr && request->position() == QPoint(700, 550);
    }));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
    QApplication::sendEvent(Panel.OkButton, &in);
    EXPECT_EQ(Panel.BrowserFrame->frameShadow(), QFrame::Raised);
    QApplication::sendEvent(Panel.OkButton, &out);
    EXPECT_EQ(Panel.BrowserFrame->frameShape(), QFrame::NoFrame);
}

TEST_F(BrowserPanelTest, ButtonsSetTheCursorAndTheHomeIsTheWelcomePage) {
    EXPECT_EQ(Panel.Browser->accessibleName(), "web page");
    for (int tag : {bbBack, bbForward, bbStop, bbRefresh, bbHome, bbSearch})
        EXPECT_EQ(Panel.Button(tag)->accessibleName(), Panel.Button(tag)->toolTip());
    EXPECT_FALSE(Panel.Button(bbSearch)->isEnabled());

    // Nothing to go back to, no page to refresh, no search, no home: failed.
    for (int tag : {int(bbBack), int(bbForward), int(bbRefresh), int(bbHome), int(bbSearch), 999}) {
        setScreenCursor(ScreenCursor::AppStarting);
        Panel.BrowserButtonClicked(tag);
        EXPECT_EQ(screenCursor(), ScreenCursor::Default) << tag;
    }
    Panel.WelcomePage = [this] { return Url("/welcome"); };
    Panel.BrowserButtonClicked(bbHome);
    EXPECT_EQ(screenCursor(), ScreenCursor::AppStarting);
    ASSERT_TRUE(RunUntil([&] { return Loads == 1 && !Panel.BrowserBusy; }));
    EXPECT_EQ(Panel.Browser->url(), QUrl(Url("/welcome")));
    EXPECT_EQ(screenCursor(), ScreenCursor::Default);

    // OK: the address box's text.
    Panel.AddressBox->setEditText(Url("/a"));
    Panel.BrowserButtonClicked(bbOK);
    ASSERT_TRUE(RunUntil([&] { return Loads == 2 && !Panel.BrowserBusy; }));
    EXPECT_EQ(Panel.Browser->url(), QUrl(Url("/a")));
    EXPECT_EQ(Shown, std::vector<std::string>{Server.Url("/a")});
    // What shows the page is made by the engine: named like the view, so
    // that no unnamed frame stands between a screen reader and the page.
    EXPECT_EQ(Panel.BrowserFrame->accessibleName(), "web page frame");
    ASSERT_NE(Panel.Browser->focusProxy(), nullptr);
    for (QWidget* child : Panel.Browser->findChildren<QWidget*>())
        EXPECT_EQ(child->accessibleName(), "web page") << child->metaObject()->className();
}

TEST_F(BrowserPanelTest, TheUserGuideShowsAtTheSectionAsked) {
    const QUrl guide = QUrl::fromLocalFile(QStringLiteral(TESSELLON_RESOURCES "/userguide.htm"));
    QUrl section = guide;
    section.setFragment(QStringLiteral("5000"));
    Panel.resize(1000, 700);
    std::vector<QString> told;
    Panel.BeforeLoad = [&](const QString& url) { told.push_back(url); };
    const int loads = Loads;
    Panel.BrowseTo(section.toString());
    ASSERT_TRUE(RunUntil([&] { return Loads > loads && !Panel.BrowserBusy; }));
    EXPECT_EQ(Panel.Browser->url(), section);
    EXPECT_EQ(told, std::vector<QString>{section.toString()}) << "told before the load";
    Panel.BeforeLoad = nullptr;
    EXPECT_FALSE(Panel.Browser->title().isEmpty());
    // Shown at its section: the page's own view of itself.
    // One question at a time; an answer may come after the wait is over.
    auto where = std::make_shared<QString>();
    auto asked = std::make_shared<bool>(false);
    ASSERT_TRUE(RunUntil([&] {
        if (!*asked) {
            *asked = true;
            Panel.Browser->page()->runJavaScript(
                QStringLiteral("document.readyState + location.hash + (window.scrollY > 0)"),
                [where, asked](const QVariant& v) {
                    *where = v.toString();
                    *asked = false;
                });
        }
        return *where == "complete#5000true";
    })) << where->toStdString();
    const QString folder = QStringLiteral(TESSELLON_SCREENSHOTS);
    QDir().mkpath(folder);
    EXPECT_TRUE(Panel.grab().save(folder + "/userguide.png"));
}

TEST_F(BrowserPanelTest, StatusTextIsPassedOncePerChange) {
    for (const char* text : {"x", "x", "y", "", ""})
        emit Panel.Browser->page()->linkHovered(text);
    EXPECT_EQ(Status, QStringList({"x", "y", ""}));
}

TEST_F(BrowserPanelTest, OpenInNewWindowOpensOne) {
    Panel.OpenInNewWindow(Url("/b"));
    ASSERT_EQ(Panel.OpenWindows().size(), 1);
    EXPECT_TRUE(Panel.OpenWindows()[0]->isWindow());
    ASSERT_TRUE(RunUntil([&] { return Server.Count("/b") == 1; }));
    EXPECT_TRUE(Panel.PendingUrl.isEmpty());
}

} // namespace
