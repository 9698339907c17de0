// The main window with its browser: holding Ctrl while clicking a web link
// starts a scan of it instead of following it.
#include "app/BrowserPanel.h"
#include "app/BrowserWiring.h"
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "app/WebBrowser.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "TestSettings.h"
#include "WebPageInput.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

TEST(FormCapture, CtrlClickOnAWebLinkScansItAndTheBrowserStays) {
    ConfigFolder config;
    WorkFolder work;
    TestHttpServer server;
    server.Serve("/", "text/html",
                 "<html><body style='margin:0'>"
                 "<script>document.addEventListener('mousedown', "
                 "function(){window.probed=true;});</script>"
                 "<p><a id='gallery' href='/gallery.htm'>a gallery</a></p>"
                 "<p><a id='mail' href='mailto:someone@example.com'>mail</a></p></body></html>");
    server.Serve("/gallery.htm", "text/html", "<html><body>no pictures</body></html>");
    {
        RecordedMessages messages;
        MainWindow form(&messages);
        form.resize(1024, 740);
        form.show();
        form.AfterCreate();
        form.WelcomeChecked = true; // no welcome page over ours
        BrowserPanel* browser = AttachBrowser(form, &messages);
        const QString home = QString::fromStdString(server.Url("/"));
        browser->BrowseTo(home);
        QWebEngineView* view = browser->Browser;
        ASSERT_TRUE(RunUntil([&] { return view->url() == QUrl(home) && !browser->BrowserBusy; }));
        WaitForInput(view, QPoint(view->width() - 10, view->height() - 10));

        // Ctrl is held as a user holds it: the window sees the key.
        QTest::keyPress(&form, Qt::Key_Control);
        EXPECT_TRUE(form.CaptureOn);
        QTest::mouseClick(view->focusProxy(), Qt::LeftButton, Qt::ControlModifier,
                          Centre(view, "mail"));
        QTest::mouseClick(view->focusProxy(), Qt::LeftButton, Qt::ControlModifier,
                          Centre(view, "gallery"));
        // The engine asks about the click a moment later: Ctrl stays down
        // until the link has reached the scan address box.
        const QString link = QString::fromStdString(server.Url("/gallery.htm"));
        ASSERT_TRUE(RunUntil([&] { return form.ScanAddressBox->itemText(0) == link; }))
            << form.ScanAddressBox->itemText(0).toStdString();
        QTest::keyRelease(&form, Qt::Key_Control);
        EXPECT_FALSE(form.CaptureOn);
        ASSERT_TRUE(RunUntil([&] { return server.Count("/gallery.htm") >= 1; })); // scanned
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
        EXPECT_EQ(view->url(), QUrl(home)); // the browser did not follow it
        EXPECT_EQ(form.ScanAddressBox->findText("mailto:someone@example.com"), -1);
    }
}

// "Scan this page as shown" from the File menu: the window scans the
// document the browser shows (built by its script) without fetching it
// again, and fetches the picture below it.
TEST(FormCapture, ScanThisPageAsShownScansTheShownDocument) {
    ConfigFolder config;
    WorkFolder work;
    TestHttpServer server;
    server.Serve("/built.html", "text/html",
                 "<html><body><script>var a = document.createElement('a');"
                 "a.href = 'pics/big.jpg'; var i = document.createElement('img');"
                 "i.src = 'pics/late.jpg'; a.appendChild(i);"
                 "document.body.appendChild(a);</script></body></html>");
    server.Serve("/pics/late.jpg", "image/jpeg", "JPEG");
    {
        RecordedMessages messages;
        MainWindow form(&messages);
        form.resize(1024, 740);
        form.show();
        form.AfterCreate();
        form.WelcomeChecked = true;
        BrowserPanel* browser = AttachBrowser(form, &messages);
        const QString page = QString::fromStdString(server.Url("/built.html"));
        browser->BrowseTo(page);
        QWebEngineView* view = browser->Browser;
        ASSERT_TRUE(RunUntil([&] { return view->url() == QUrl(page) && !browser->BrowserBusy; }));
        ASSERT_TRUE(form.FileMenu->actions().contains(browser->ScanShownAction));
        browser->ScanShownAction->trigger();
        ASSERT_TRUE(RunUntil([&] { return form.ScanAddressBox->itemText(0) == page; }));
        ASSERT_TRUE(RunUntil([&] { return server.Count("/pics/late.jpg") >= 1; }));
        ASSERT_TRUE(RunUntil([&] { return !form.Gallery().IsWorking(); }));
        EXPECT_EQ(server.Count("/built.html"), 1); // the browser's load only
    }
}
