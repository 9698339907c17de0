// The browser's logins: cookies the embedded browser holds (set by a page it
// showed, or stored) are handed to a scan as Netscape lines and go with the
// scan's requests to the same site.
#include "app/BrowserCookies.h"
#include "app/BrowserPanel.h"
#include "app/WebBrowser.h"
#include "engine/Grabber.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QStandardPaths>
#include <QToolButton>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include <algorithm>

namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

} // namespace

TEST(BrowserCookies, NetscapeLinesKeepWhereACookieBelongs) {
    QNetworkCookie host("sid", "abc");
    host.setDomain("127.0.0.1");
    host.setPath("/");
    EXPECT_EQ(NetscapeLine(host), "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc");
    QNetworkCookie wide("w", "1");
    wide.setDomain(".example.test");
    wide.setPath("/pics");
    wide.setSecure(true);
    wide.setHttpOnly(true);
    wide.setExpirationDate(QDateTime::fromSecsSinceEpoch(253402300799));
    EXPECT_EQ(NetscapeLine(wide), "#HttpOnly_.example.test\tTRUE\t/pics\tTRUE\t253402300799\tw\t1");
    QNetworkCookie broken("a\tb", "1");
    broken.setDomain("example.test");
    EXPECT_EQ(NetscapeLine(broken), "");
}

TEST(BrowserCookies, ALoginInTheBrowserReachesTheScan) {
    TestHttpServer site;
    site.On("/login", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "member=granted; Path=/");
        res.set_content("<html><body>welcome</body></html>", "text/html");
    });
    site.On("/g.html", [](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Cookie").find("member=granted") == std::string::npos) {
            res.status = 403;
            return;
        }
        res.set_content("<img src=\"p.jpg\">", "text/html");
    });
    site.Serve("/p.jpg", "image/jpeg", "JPEG");

    QWebEngineProfile* profile = BrowserProfile();
    // The profile lives in a private folder of the user's data folder.
    const QFileInfo folder(profile->persistentStoragePath());
    EXPECT_TRUE(folder.isDir());
    EXPECT_EQ(int(folder.permissions() & 0x0077), 0) << folder.filePath().toStdString();
    EXPECT_TRUE(folder.filePath().startsWith(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));

    BrowserCookies cookies(profile);
    WebBrowser browser;
    browser.load(QUrl(QString::fromStdString(site.Url("/login"))));
    ASSERT_TRUE(RunUntil([&] { return HasLine(cookies.Lines(), "\tmember\tgranted"); }, 30000));

    TempDir dir;
    Grabber grab;
    grab.ResultsMode = 0;
    grab.SetDownloadPath(dir.Path() + "/");
    grab.PageDownloader.QuietTicksBeforeIdle = 0;
    grab.FileDownloader.QuietTicksBeforeIdle = 0;
    grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    grab.CookieSource = [&] { return cookies.Lines(); };
    ASSERT_TRUE(grab.StartScan(site.Url("/g.html")));
    ASSERT_TRUE(RunUntil([&] { return site.Count("/p.jpg") == 1 && !grab.IsWorking(); }, 30000));

    // A cookie the browser forgets is no longer handed over.
    profile->cookieStore()->deleteAllCookies();
    ASSERT_TRUE(RunUntil([&] { return cookies.Lines().empty(); }, 30000));
}

// "Scan this page as shown" hands over the document as it stands, with what
// the page's scripts built, and refuses pages that are no web page.
TEST(BrowserCookies, ScanThisPageTakesTheDocumentAsShown) {
    TestHttpServer site;
    site.Serve("/built.html", "text/html",
               "<html><body><script>var i = document.createElement('img');"
               "i.src = 'pics/late.jpg'; document.body.appendChild(i);</script></body></html>");
    BrowserPanel panel;
    panel.resize(800, 600);
    panel.show();
    QString url, html;
    panel.ScanShown = [&](const QString& u, const QString& h) {
        url = u;
        html = h;
    };
    EXPECT_EQ(panel.ScanShownButton->accessibleName(), "scan this page");
    panel.Browser->load(QUrl(QString::fromStdString(site.Url("/built.html"))));
    ASSERT_TRUE(RunUntil(
        [&] {
            return !panel.Browser->page()->isLoading() &&
                   panel.Browser->url().path() == "/built.html";
        },
        30000));
    panel.ScanShownButton->click();
    ASSERT_TRUE(RunUntil([&] { return !html.isEmpty(); }, 30000));
    EXPECT_EQ(url.toStdString(), site.Url("/built.html"));
    EXPECT_TRUE(html.contains("pics/late.jpg")) << html.toStdString();
    EXPECT_EQ(site.Count("/built.html"), 1);
}
