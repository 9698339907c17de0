// Cookies kept by libcurl's cookie engine and shared by a manager's slots:
// which requests a cookie goes with, and what a damaged cookies file leaves.
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "http/CookieShare.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <memory>

namespace {

std::string Future() {
    return std::to_string(std::time(nullptr) + 86400);
}

std::string Line(const std::string& domain, bool sub, const std::string& path, bool secure,
                 const std::string& expiry, const std::string& name, const std::string& value) {
    return domain + "\t" + (sub ? "TRUE" : "FALSE") + "\t" + path + "\t" +
           (secure ? "TRUE" : "FALSE") + "\t" + expiry + "\t" + name + "\t" + value;
}

// The Cookie header of a raw request head; empty when there is none.
std::string CookieHeader(const std::string& head) {
    const auto at = head.find("\r\nCookie: ");
    if (at == std::string::npos) return {};
    const auto start = at + 10;
    return head.substr(start, head.find("\r\n", start) - start);
}

// A proxy on 127.0.0.1 that answers every request itself, so that requests
// to any host name reach the test, and may set a cookie with its answer.
class AnsweringProxy {
public:
    explicit AnsweringProxy(std::string setCookie = {})
        : Server_([this](RawConnection& c) {
              if (c.ReadHead().empty()) return;
              std::vector<std::string> headers = {"Content-Type: text/plain", "Content-Length: 2"};
              if (!SetCookie_.empty()) headers.push_back("Set-Cookie: " + SetCookie_);
              c.Send(ResponseHead(200, headers) + "ok");
          }),
          SetCookie_(std::move(setCookie)) {}

    // The cookies each absolute target was requested with.
    std::map<std::string, std::string> CookiesByTarget() const {
        std::map<std::string, std::string> out;
        for (const std::string& head : Server_.Heads()) {
            const auto sp1 = head.find(' ');
            const auto sp2 = head.find(' ', sp1 + 1);
            out[head.substr(sp1 + 1, sp2 - sp1 - 1)] = CookieHeader(head);
        }
        return out;
    }

    void Through(DownloadManager& m) const {
        m.ProxyType = ProxyMode::PROXY_USEPROXY;
        m.ProxyAddress = "127.0.0.1";
        m.ProxyPort = Server_.Port();
    }

private:
    ScriptedServer Server_;
    std::string SetCookie_;
};

// Fetches each address through the proxy, in memory, with the jar given.
void FetchAll(const AnsweringProxy& proxy, const std::shared_ptr<CookieShare>& jar,
              const std::vector<std::string>& urls) {
    ManagerRun run("");
    proxy.Through(run.M);
    run.M.Cookies = jar;
    run.M.ConcurrentDownloads = 1;
    run.M.QuietTicksBeforeIdle = 0;
    for (const std::string& u : urls)
        ASSERT_TRUE(run.Add(u, BodyHandling::STORE_TO_DATASTRING));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Received.size(), urls.size());
}

} // namespace

// Domain, path, expiry, Secure, another host and another port: a cookie goes
// only where RFC 6265 says it belongs. Ports do not separate cookies there,
// so another port of the same host gets them too.
TEST(Cookies, GoOnlyWhereTheyBelong) {
    auto jar = std::make_shared<CookieShare>();
    ASSERT_TRUE(jar->Valid());
    const std::string later = Future();
    ASSERT_TRUE(
        jar->AddNetscapeLine(Line(".a.example", true, "/gallery", false, later, "dom", "1")));
    ASSERT_TRUE(jar->AddNetscapeLine(Line("a.example", false, "/", false, later, "host", "2")));
    ASSERT_TRUE(jar->AddNetscapeLine(Line("a.example", false, "/", true, later, "sec", "3")));
    ASSERT_TRUE(jar->AddNetscapeLine(Line("a.example", false, "/", false, "1000", "old", "4")));
    ASSERT_TRUE(jar->AddNetscapeLine(Line("b.example", false, "/", false, "0", "other", "5")));

    AnsweringProxy proxy;
    FetchAll(proxy, jar,
             {"http://a.example/gallery/1.jpg", "http://www.a.example/gallery/2.jpg",
              "http://www.a.example/other/3.jpg", "http://a.example:8080/4.jpg",
              "http://b.example/5.jpg", "http://c.example/gallery/6.jpg",
              "http://a.example/galleryx/7.jpg"});
    const auto seen = proxy.CookiesByTarget();
    EXPECT_EQ(seen.at("http://a.example/gallery/1.jpg"), "dom=1; host=2");
    EXPECT_EQ(seen.at("http://www.a.example/gallery/2.jpg"), "dom=1");
    EXPECT_EQ(seen.at("http://www.a.example/other/3.jpg"), "");
    EXPECT_EQ(seen.at("http://a.example:8080/4.jpg"), "host=2");
    EXPECT_EQ(seen.at("http://b.example/5.jpg"), "other=5");
    EXPECT_EQ(seen.at("http://c.example/gallery/6.jpg"), "");
    EXPECT_EQ(seen.at("http://a.example/galleryx/7.jpg"), "host=2");
}

// A cookie an answer sets is sent with the next request to its site, by any
// slot, and not to another site; without a jar nothing is kept.
TEST(Cookies, SetByAnAnswerGoWithLaterRequests) {
    AnsweringProxy proxy("gate=open; Path=/");
    auto jar = std::make_shared<CookieShare>();
    {
        ManagerRun run("");
        proxy.Through(run.M);
        run.M.Cookies = jar;
        run.M.QuietTicksBeforeIdle = 0;
        ASSERT_TRUE(run.Add("http://a.example/page.html", BodyHandling::STORE_TO_DATASTRING));
        ASSERT_TRUE(run.RunToIdle());
        run.M.ConcurrentDownloads = 3;
        for (const char* u : {"http://a.example/1.jpg", "http://a.example/2.jpg",
                              "http://a.example/3.jpg", "http://b.example/4.jpg"})
            ASSERT_TRUE(run.Add(u, BodyHandling::STORE_TO_DATASTRING));
        ASSERT_TRUE(run.RunToIdle());
    }
    {
        ManagerRun run(""); // no jar
        proxy.Through(run.M);
        run.M.QuietTicksBeforeIdle = 0;
        ASSERT_TRUE(run.Add("http://a.example/5.jpg", BodyHandling::STORE_TO_DATASTRING));
        ASSERT_TRUE(run.RunToIdle());
    }
    const auto seen = proxy.CookiesByTarget();
    EXPECT_EQ(seen.at("http://a.example/page.html"), "");
    for (const char* u :
         {"http://a.example/1.jpg", "http://a.example/2.jpg", "http://a.example/3.jpg"})
        EXPECT_EQ(seen.at(u), "gate=open") << u;
    EXPECT_EQ(seen.at("http://b.example/4.jpg"), "");
    EXPECT_EQ(seen.at("http://a.example/5.jpg"), "");
}

// Damaged lines are skipped and counted, the good ones around them kept.
TEST(Cookies, DamagedFileKeepsItsGoodLines) {
    const std::string later = Future();
    std::string binary = "a.example\tFALSE\t/\tFALSE\t" + later + "\tbin\t";
    binary += std::string("\x01\x02\x00\xff\x7f", 5);
    const std::string text =
        "# Netscape HTTP Cookie File\n"
        "\n" +
        Line("a.example", false, "/", false, later, "good", "1") + "\r\n" + binary + "\n" +
        Line("a.example", false, "/", false, later, "long", std::string(100000, 'x')) + "\n" +
        "a.example\tFALSE\t/\tFALSE\t" + later + "\n" +                           // no name
        "a.example\tMAYBE\t/\tFALSE\t" + later + "\tflag\t1\n" +                  // bad flag
        "a.example\tFALSE\tnoslash\tFALSE\t" + later + "\tp\t1\n" +               // bad path
        "a.example\tFALSE\t/\tFALSE\tsoon\tx\t1\n" +                              // bad expiry
        Line("a.example", false, "/", false, "253402300799", "far", "2") + "\n" + // year 9999
        "#HttpOnly_" + Line("a.example", false, "/", false, "0", "session", "") + "\n" +
        "just some words";
    auto jar = std::make_shared<CookieShare>();
    const CookieShare::LoadCount count = jar->AddNetscapeText(text);
    EXPECT_EQ(count.Added, 3);
    EXPECT_EQ(count.Skipped, 7);
    const std::vector<std::string> lines = jar->Lines();
    ASSERT_EQ(lines.size(), 3U);
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    EXPECT_NE(all.find("\tgood\t1"), std::string::npos);
    EXPECT_NE(all.find("253402300799\tfar\t2"), std::string::npos);
    EXPECT_NE(all.find("\tsession\t"), std::string::npos);

    AnsweringProxy proxy;
    FetchAll(proxy, jar, {"http://a.example/x.jpg"});
    const std::string sent = proxy.CookiesByTarget().at("http://a.example/x.jpg");
    EXPECT_EQ(sent.size(), std::string("good=1; far=2; session=").size()) << sent;
    for (const char* c : {"good=1", "far=2", "session="})
        EXPECT_NE(sent.find(c), std::string::npos) << c;
}
