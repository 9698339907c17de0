// How answers are judged: error statuses, silent drops, failed transfers
// and their retries, the earlier file kept whatever goes wrong.
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <zlib.h>

TEST(StatusJudging, NotFoundIsReportedAsErrorOnceAndNotRetried) {
    TestHttpServer server;
    TempDir dir;
    ManagerRun run(dir.Path());
    const std::string url = server.Url("/gone.jpg");
    WriteFile(run.Target(url), "earlier copy");
    run.Add(url, BodyHandling::STORE_TO_FILE, "http://ref.example/page.html");
    ASSERT_TRUE(run.RunToIdle());

    EXPECT_EQ(server.Count("/gone.jpg"), 1);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Tag, 2);
    EXPECT_EQ(run.Errors[0].Url, url);
    EXPECT_EQ(run.Errors[0].Code, 404u);
    EXPECT_EQ(run.Errors[0].Msg, "404 Not Found");
    EXPECT_EQ(run.Errors[0].Referrer, "http://ref.example/page.html");
    EXPECT_EQ(run.FailedKinds, std::vector<int>{1});
    EXPECT_EQ(run.M.Retries(), 0);
    EXPECT_EQ(run.M.Done(), 0);
    EXPECT_TRUE(run.Received.empty());
    // The error page does not replace the file already there.
    EXPECT_EQ(ReadFile(run.Target(url)), "earlier copy");
    EXPECT_TRUE(NoPartFiles(dir.Path()));
}

// A server error is tried again while tries are left, then reported with
// its status and text, whatever the error page is: html, or text a page
// manager refuses as no page.
TEST(StatusJudging, ServerErrorIsTriedAgainThenReportedAndLeavesTheFilesAsTheyWere) {
    TestHttpServer server;
    server.Serve("/busy.jpg", "text/html", "try later", 503);
    server.Serve("/busy-too.jpg", "text/plain", "try later", 500);
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 2;
    WriteFile(run.Target(server.Url("/busy-too.jpg")), "earlier copy");
    run.Add(server.Url("/busy.jpg"));
    run.Add(server.Url("/busy-too.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(server.Count("/busy.jpg"), 2);
    EXPECT_EQ(server.Count("/busy-too.jpg"), 2);
    ASSERT_EQ(run.Errors.size(), 2u);
    std::vector<std::string> messages{run.Errors[0].Msg, run.Errors[1].Msg};
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(messages,
              (std::vector<std::string>{"500 Internal Server Error", "503 Service Unavailable"}));
    EXPECT_TRUE(run.Received.empty());
    EXPECT_EQ(run.FailedKinds, (std::vector<int>{1, 1}));
    EXPECT_EQ(run.M.Errors(), 2);
    EXPECT_EQ(run.M.Retries(), 2);
    EXPECT_EQ(FilesUnder(dir.Path()),
              std::vector<std::string>{server.HostFolder() + "/busy-too.jpg"});
    EXPECT_EQ(ReadFile(run.Target(server.Url("/busy-too.jpg"))), "earlier copy");
}

TEST(StatusJudging, ServerErrorThenSuccessStoresOnlyTheSecondAnswer) {
    std::atomic<int> calls{0};
    TestHttpServer server;
    server.On("/flaky.jpg", [&](const httplib::Request&, httplib::Response& res) {
        if (calls++ == 0) {
            res.status = 503;
            res.set_content("busy", "text/plain");
        } else {
            res.set_content("the picture", "image/jpeg");
        }
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    const std::string url = server.Url("/flaky.jpg");
    run.Add(url);
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(ReadFile(run.Target(url)), "the picture");
    EXPECT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.M.Done(), 1);
    EXPECT_EQ(run.M.Retries(), 1);
    EXPECT_TRUE(run.Errors.empty());
}

TEST(StatusJudging, OtherSuccessStatusIsReportedAndNeverStored) {
    TestHttpServer server;
    server.Serve("/partial.jpg", "image/jpeg", "two hundred and six", 206);
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/partial.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_TRUE(run.Received.empty());
    EXPECT_EQ(run.M.Done(), 0);
    EXPECT_EQ(run.M.Errors(), 1);
    EXPECT_FALSE(FileExists(run.Target(server.Url("/partial.jpg"))));
}

TEST(Retries, AFailingUrlIsTriedRetryCountTimesAndReportedOnce) {
    ScriptedServer server([](RawConnection& c) { c.ReadHead(); }); // closes without answering
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 3;
    const std::string url = server.Url("/never.jpg");
    run.Add(url, BodyHandling::STORE_TO_FILE, "http://ref.example/");
    ASSERT_TRUE(run.RunToIdle());

    EXPECT_EQ(server.Accepted(), 3);
    EXPECT_EQ(run.M.Retries(), 2);
    EXPECT_EQ(run.M.Errors(), 1);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Url, url);
    EXPECT_EQ(run.Errors[0].Code, 0u);       // no answer: no status
    EXPECT_FALSE(run.Errors[0].Msg.empty()); // libcurl's reason
    EXPECT_EQ(run.Errors[0].Referrer, "http://ref.example/");
    EXPECT_EQ(run.FailedKinds, std::vector<int>{2});
    EXPECT_EQ(std::count(run.Log.begin(), run.Log.end(), "GetHttp_Error " + url), 1);
    ASSERT_FALSE(run.Stats.empty());
    EXPECT_EQ(run.Stats.back(), (StatsEvent{2, 0, 0, 0, 0, 2, 1, 0}));
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(Retries, NoAnswerReportsStatusZeroEvenAfterAnEarlierAnswerOnTheSameSlot) {
    TestHttpServer good;
    good.Serve("/first.jpg", "image/jpeg", "one");
    ScriptedServer silent([](RawConnection& c) { c.ReadHead(); });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 1; // both go through the same slot
    run.M.RetryCount = 1;
    run.Add(good.Url("/first.jpg"));
    run.Add(silent.Url("/second.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_EQ(run.Received.size(), 1u);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Url, silent.Url("/second.jpg"));
    EXPECT_EQ(run.Errors[0].Code, 0u);
}

namespace {

enum class Break { Close, Reset };

// A body cut short (announced 1000 bytes, 400 sent), by a close or a reset.
void CutShortKeepsTheEarlierFile(Break how) {
    ScriptedServer server([how](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: image/jpeg", "Content-Length: 1000"}));
        c.Send(std::string(400, 'n'));
        c.Pause(100);
        if (how == Break::Reset) c.Reset();
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 2;
    const std::string url = server.Url("/cut.jpg");
    WriteFile(run.Target(url), "good old picture");
    run.Add(url);
    ASSERT_TRUE(run.RunToIdle());

    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_EQ(run.M.Retries(), 1);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 200u); // the answer began
    EXPECT_FALSE(run.Errors[0].Msg.empty());
    if (how == Break::Close) {
        EXPECT_NE(run.Errors[0].Msg.find("closed"), std::string::npos) << run.Errors[0].Msg;
    }
    EXPECT_TRUE(run.Received.empty());
    EXPECT_EQ(ReadFile(run.Target(url)), "good old picture");
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{server.HostFolder() + "/cut.jpg"});
}

} // namespace

TEST(BrokenTransfer, TruncatedBodyIsRetriedThenReportedWithLibcurlText) {
    CutShortKeepsTheEarlierFile(Break::Close);
}

TEST(BrokenTransfer, ResetMidBodyIsRetriedThenReported) {
    CutShortKeepsTheEarlierFile(Break::Reset);
}

TEST(BrokenTransfer, EmptyStringBodyFails) {
    TestHttpServer server;
    server.Serve("/empty.html", "text/html", "");
    ManagerRun run("", 1);
    run.M.RetryCount = 1;
    run.Add(server.Url("/empty.html"), BodyHandling::STORE_TO_DATASTRING);
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_TRUE(run.Received.empty());
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 200u);
}

TEST(BrokenTransfer, EmptyFileBodyIsAnEmptyFile) {
    TestHttpServer server;
    server.Serve("/empty.jpg", "image/jpeg", "");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/empty.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(run.Received.size(), 1u);
    EXPECT_TRUE(FileExists(run.Target(server.Url("/empty.jpg"))));
    EXPECT_EQ(ReadFile(run.Target(server.Url("/empty.jpg"))), "");
}

TEST(BrokenTransfer, EndlessPageStopsAtTheCapWithOneError) {
    std::atomic<long long> sentTotal{0};
    ScriptedServer server([&](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: text/html"}));
        std::string chunk;
        while (chunk.size() < 65536)
            chunk += "<p>more and more</p>\n";
        // Bounded at 128 MiB so that a failing test still ends.
        for (long long sent = 0; sent < (128ll << 20); sent += (long long)chunk.size()) {
            if (!c.Send(chunk)) break;
            sentTotal += (long long)chunk.size();
        }
    });
    ManagerRun run("", 1);
    run.M.RetryCount = 2;
    run.Add(server.Url("/endless.html"), BodyHandling::STORE_TO_DATASTRING, "", 'H', 1);
    ASSERT_TRUE(run.RunToIdle(120000));
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_TRUE(run.Received.empty());
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_NE(run.Errors[0].Msg.find("32 MiB"), std::string::npos) << run.Errors[0].Msg;
    server.Stop();
    EXPECT_LT(sentTotal.load(), 2 * (64ll << 20)); // each stream was cut off, not read to the bound
    // The process stayed small: at most one capped body in memory at a time.
    std::ifstream status("/proc/self/status");
    long long peakKb = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) peakKb = std::stoll(line.substr(6));
    EXPECT_GT(peakKb, 0);
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    const long long limitKb = 512ll * 1024; // sanitizer shadow memory
#else
    const long long limitKb = 192ll * 1024;
#endif
    EXPECT_LT(peakKb, limitKb) << "peak resident memory " << peakKb << " kB";
}

// --- answers that are not a whole file ---

TEST(StatusJudging, NoContentPartialAndEmptyAnswersNeverReplaceAStoredFile) {
    TestHttpServer server;
    server.Serve("/none.jpg", "image/jpeg", "", 204);
    server.On("/part.jpg", [](const httplib::Request&, httplib::Response& res) {
        res.status = 206;
        res.set_header("Content-Range", "bytes 0-9/100");
        res.set_content("0123456789", "image/jpeg");
    });
    server.Serve("/empty.jpg", "image/jpeg", "");
    server.Serve("/new-empty.jpg", "image/jpeg", "");
    TempDir dir;
    ManagerRun run(dir.Path());
    for (const char* path : {"/none.jpg", "/part.jpg", "/empty.jpg"})
        WriteFile(run.Target(server.Url(path)), "the good picture");
    for (const char* path : {"/none.jpg", "/part.jpg", "/empty.jpg", "/new-empty.jpg"})
        run.Add(server.Url(path));
    ASSERT_TRUE(run.RunToIdle());

    for (const char* path : {"/none.jpg", "/part.jpg", "/empty.jpg"}) {
        EXPECT_EQ(ReadFile(run.Target(server.Url(path))), "the good picture") << path;
        EXPECT_EQ(server.Count(path), 1) << path << ": not retried";
    }
    ASSERT_EQ(run.Errors.size(), 3u);
    std::vector<std::string> messages;
    for (const ErrorEvent& e : run.Errors)
        messages.push_back(e.Msg);
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(messages[0],
              "empty answer: " + run.Target(server.Url("/empty.jpg")) + " kept as it was");
    EXPECT_EQ(messages[1], "the answer 204 is not the whole file: " +
                               run.Target(server.Url("/none.jpg")) + " kept as it was");
    EXPECT_EQ(messages[2], "the answer 206 is not the whole file: " +
                               run.Target(server.Url("/part.jpg")) + " kept as it was");
    // Nothing stored before: an empty file is what the server has.
    EXPECT_TRUE(FileExists(run.Target(server.Url("/new-empty.jpg"))));
    EXPECT_EQ(run.M.Done(), 1);
    EXPECT_TRUE(NoPartFiles(dir.Path()));
}

TEST(Transfer, CompressedAnswersAreStoredAndReadDecoded) {
    std::string picture(20000, '\0');
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = char(i * 7 % 251);
    const std::string page = "<html><body><a href=\"x.jpg\">x</a></body></html>";
    // Sent compressed whatever the request asked, as some object stores do.
    const auto deflated = [](const std::string& data) {
        uLongf size = compressBound(uLong(data.size()));
        std::string out(size, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 9);
        out.resize(size);
        return out;
    };
    TestHttpServer server;
    for (const auto& [path, body, type] : {std::tuple{"/p.jpg", picture, "image/jpeg"},
                                           std::tuple{"/page.html", page, "text/html"}}) {
        const std::string sent = deflated(body);
        server.On(path, [sent, type](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Encoding", "deflate");
            res.set_content(sent, type);
        });
    }
    TempDir dir;
    ManagerRun files(dir.Path());
    files.Add(server.Url("/p.jpg"));
    ASSERT_TRUE(files.RunToIdle());
    EXPECT_EQ(ReadFile(files.Target(server.Url("/p.jpg"))), picture);

    ManagerRun pages("");
    pages.Add(server.Url("/page.html"), BodyHandling::STORE_TO_DATASTRING);
    ASSERT_TRUE(pages.RunToIdle());
    ASSERT_EQ(pages.Received.size(), 1u);
    EXPECT_EQ(pages.Received[0].Body, page);
}
