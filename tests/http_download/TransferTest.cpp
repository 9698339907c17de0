// Bodies arriving intact: with and without a length, kept as files or as
// strings, long heads, redirects.
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "TestHttpServer.h"
#include "TlsTestServer.h"

#include <gtest/gtest.h>

TEST(Transfer, FileWithContentLengthIsStoredUnderItsUrlPath) {
    TestHttpServer server;
    const std::string body = BinaryBody(50000);
    server.Serve("/pics/a.jpg", "image/jpeg", body);
    TempDir dir;
    ManagerRun run(dir.Path());
    ASSERT_TRUE(
        run.Add(server.Url("/pics/a.jpg"), BodyHandling::STORE_TO_FILE, "http://ref.example/"));
    ASSERT_TRUE(run.RunToIdle());

    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_FALSE(run.Received[0].OnDisk);
    EXPECT_EQ(run.Received[0].Status, 200);
    EXPECT_EQ(run.M.Done(), 1);
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(FilesUnder(dir.Path()),
              std::vector<std::string>{server.HostFolder() + "/pics/a.jpg"});
    EXPECT_EQ(ReadFile(run.Target(server.Url("/pics/a.jpg"))), body);
    ASSERT_EQ(run.Heads.size(), 1u);
    EXPECT_EQ(run.Heads[0].ContentLength, 50000);
    EXPECT_EQ(run.Heads[0].ContentType, "image/jpeg");

    // The request as sent: HTTP/1.0, the agent, the entry's referrer.
    auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Header("User-Agent"), run.M.Agent);
    EXPECT_EQ(seen[0].Header("Referer"), "http://ref.example/");
}

TEST(Transfer, BodyWithoutContentLengthIsReadToTheClose) {
    const std::string body = BinaryBody(70000);
    ScriptedServer server([&](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: image/jpeg"}));
        c.Send(body.substr(0, 30000));
        c.Pause(50);
        c.Send(body.substr(30000));
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/b.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Received.size(), 1u);
    ASSERT_EQ(run.Heads.size(), 1u);
    EXPECT_EQ(run.Heads[0].ContentLength, 0);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/b.jpg"))), body);
    EXPECT_TRUE(run.Errors.empty());
}

TEST(Transfer, StringBodyKeepsZeroBytesAndProgressStartsAtMinusOne) {
    TestHttpServer server;
    const std::string body = BinaryBody(20000);
    server.Serve("/data.bin", "application/octet-stream", body);
    ManagerRun run(""); // no storage folder: bodies stay in memory
    std::vector<std::uint32_t> progress;
    run.M.OnProgress = [&](RequestSlot*, std::uint32_t bytes) { progress.push_back(bytes); };
    run.Add(server.Url("/data.bin"), BodyHandling::STORE_TO_FILE);
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.Received[0].Body, body);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[0], 4294967295u);
    EXPECT_EQ(progress[1], 0u);
    EXPECT_LT(progress.back(), 20000u); // the final total is never reported
}

TEST(Transfer, FileAndStringTogether) {
    TestHttpServer server;
    server.Serve("/p.html", "text/html", "<html>page</html>");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/p.html"), BodyHandling::STORE_TO_DATASTRING_AND_FILE);
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.Received[0].Body, "<html>page</html>");
    EXPECT_EQ(ReadFile(run.Target(server.Url("/p.html"))), "<html>page</html>");
}

TEST(Transfer, HeadLongerThan2048BytesIsAccepted) {
    TestHttpServer server;
    server.On("/big-head.jpg", [](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 6; ++i)
            res.set_header("X-Padding-" + std::to_string(i), std::string(900, 'p'));
        res.set_content("jpeg", "image/jpeg");
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/big-head.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Heads.size(), 1u);
    EXPECT_GT(run.Heads[0].Head.size(), 5000u);
    EXPECT_NE(run.Heads[0].Head.find("X-Padding-5"), std::string::npos);
    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/big-head.jpg"))), "jpeg");
}

TEST(Transfer, HeadFieldsAreReadWhateverTheirCaseAndBlanks) {
    ScriptedServer server([&](RawConnection& c) {
        const std::string request = c.ReadHead();
        if (request.empty()) return;
        if (request.starts_with("GET /old.gif ")) {
            c.Send("HTTP/1.0 302 Found\r\nlOcAtIoN: \t/new.gif \r\nContent-Length: 0\r\n\r\n");
            return;
        }
        c.Send("HTTP/1.0 200 OK\r\ncOnTeNt-TyPe:\t image/gif \r\nCONTENT-LENGTH:   4\r\n\r\nGIF8");
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/old.gif"));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Heads.size(), 1u);
    EXPECT_EQ(run.Heads[0].Status, 200);
    EXPECT_EQ(run.Heads[0].ContentType, "image/gif");
    EXPECT_EQ(run.Heads[0].ContentLength, 4);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/old.gif"))), "GIF8");
}

TEST(Transfer, EveryRequestOfASlotAsksForAFreshAnswerOverAKeptConnection) {
    TestHttpServer server(10);
    for (const char* path : {"/1.jpg", "/2.jpg", "/3.jpg"})
        server.Serve(path, "image/jpeg", path);
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 1; // one handle serves the three requests
    for (const char* path : {"/1.jpg", "/2.jpg", "/3.jpg"})
        run.Add(server.Url(path));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Received.size(), 3u);
    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& request : seen) {
        EXPECT_EQ(request.Header("Pragma"), "no-cache") << request.Path;
        EXPECT_EQ(request.Header("Cache-Control"), "no-cache") << request.Path;
        EXPECT_EQ(request.Header("Connection"), "Keep-Alive") << request.Path;
    }
}

TEST(Redirects, FileKeepsTheNameOfTheRequestedUrl) {
    TestHttpServer server;
    server.Redirect("/old/pic.jpg", "/new/other.jpg");
    server.Serve("/new/other.jpg", "image/jpeg", "moved picture");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/old/pic.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(server.Count("/new/other.jpg"), 1);
    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.Received[0].Url, server.Url("/old/pic.jpg"));
    EXPECT_EQ(FilesUnder(dir.Path()),
              std::vector<std::string>{server.HostFolder() + "/old/pic.jpg"});
    EXPECT_EQ(ReadFile(dir.Sub(server.HostFolder() + "/old/pic.jpg")), "moved picture");
    // The head handed on is the final answer's, not the redirect's.
    ASSERT_EQ(run.Heads.size(), 1u);
    EXPECT_EQ(run.Heads[0].Status, 200);
    EXPECT_EQ(run.Heads[0].ContentType, "image/jpeg");
}

TEST(Redirects, LoopFailsTheTransferAfterTenHops) {
    TestHttpServer server;
    server.Redirect("/a.jpg", "/b.jpg");
    server.Redirect("/b.jpg", "/a.jpg");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.Add(server.Url("/a.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(server.Total(), 11); // the request and ten redirects
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Url, server.Url("/a.jpg"));
    EXPECT_NE(run.Errors[0].Msg.find("redirect"), std::string::npos) << run.Errors[0].Msg;
    EXPECT_EQ(run.M.Errors(), 1);
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(Redirects, OnlyHttpTargetsAreFollowed) {
    TestHttpServer server;
    server.Redirect("/local.jpg", "file:///etc/hostname");
    server.Redirect("/ftp.jpg", "ftp://127.0.0.1/x.jpg");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.Add(server.Url("/local.jpg"));
    run.Add(server.Url("/ftp.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_TRUE(run.Received.empty());
    ASSERT_EQ(run.Errors.size(), 2u);
    for (const auto& e : run.Errors)
        EXPECT_FALSE(e.Msg.empty()) << e.Url;
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(Https, CertificateIsVerified) {
    TlsTestServer server("secret picture");
    ASSERT_TRUE(server.Valid());
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.Add(server.Url("/pic.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(server.Served(), 0); // refused during the handshake
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 0u);
    EXPECT_NE(run.Errors[0].Msg.find("certificate"), std::string::npos) << run.Errors[0].Msg;
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}
