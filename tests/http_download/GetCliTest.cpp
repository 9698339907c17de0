// tessellon-cli get, run as a separate process against servers of this test.
#include "CliRun.h"
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <thread>

namespace {

QStringList ToArgs(const std::vector<std::string>& args) {
    QStringList list{"get"};
    for (const auto& a : args)
        list << QString::fromStdString(a);
    return list;
}

CliResult RunGet(const std::vector<std::string>& args, int timeoutMs = 60000) {
    std::vector<std::string> all{"get"};
    all.insert(all.end(), args.begin(), args.end());
    return RunCli(all, nullptr, timeoutMs);
}

} // namespace

TEST(GetCommand, DownloadsEveryUrlAndExitsZero) {
    TestHttpServer server;
    server.Serve("/a.jpg", "image/jpeg", "picture a");
    server.Serve("/d/b.jpg", "image/jpeg", "picture b");
    TempDir dir;
    auto r = RunGet(
        {"--out", dir.Path(), "--concurrency", "2", server.Url("/a.jpg"), server.Url("/d/b.jpg")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_TRUE(r.Has("   done: " + server.Url("/a.jpg"))) << r.Out;
    EXPECT_TRUE(r.Has("   done: " + server.Url("/d/b.jpg"))) << r.Out;
    EXPECT_TRUE(r.Has("       in queue: 0"));
    EXPECT_TRUE(r.Has("           done: 2"));
    EXPECT_TRUE(r.Has("         errors: 0"));
    EXPECT_TRUE(r.Has("already on disk: 0"));
    EXPECT_EQ(ReadFile(dir.Sub(server.HostFolder() + "/a.jpg")), "picture a");
    EXPECT_EQ(ReadFile(dir.Sub(server.HostFolder() + "/d/b.jpg")), "picture b");
}

// A name at the file-name limit, and one the storage layout has to shorten,
// are both stored whole, with no temporary file left beside them.
TEST(GetCommand, LongFileNamesAreStored) {
    const std::string atLimit = std::string(240, 'a') + ".jpg";
    const std::string overLimit = std::string(300, 'b') + ".jpg";
    const std::string bodyA = BinaryBody(70000), bodyB = "b:" + BinaryBody(1000);
    TestHttpServer server;
    server.Serve("/" + atLimit, "image/jpeg", bodyA);
    server.Serve("/d/" + overLimit, "image/jpeg", bodyB);
    TempDir dir;
    auto r = RunGet({"--out", dir.Path(), "--concurrency", "2", server.Url("/" + atLimit),
                     server.Url("/d/" + overLimit)});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_TRUE(r.Has("           done: 2")) << r.Out;
    EXPECT_TRUE(r.Has("         errors: 0"));

    EXPECT_TRUE(ReadFile(dir.Sub(server.HostFolder() + "/" + atLimit)) == bodyA);
    const auto files = FilesUnder(dir.Path());
    ASSERT_EQ(files.size(), 2u);
    const std::string shortened =
        files[0].starts_with(server.HostFolder() + "/d/") ? files[0] : files[1];
    const std::string storedName = shortened.substr(shortened.rfind('/') + 1);
    EXPECT_TRUE(storedName.starts_with(std::string(200, 'b'))) << storedName;
    EXPECT_LE(storedName.size(), 255u);
    EXPECT_TRUE(ReadFile(dir.Sub(shortened)) == bodyB);
    EXPECT_TRUE(NoPartFiles(dir.Path()));
}

TEST(GetCommand, AFailedUrlPrintsItsErrorLineAndExitsOne) {
    TestHttpServer server;
    server.Serve("/ok.jpg", "image/jpeg", "fine");
    TempDir dir;
    auto r = RunGet({"--out", dir.Path(), "--referer", "http://ref.example/page.html",
                     server.Url("/ok.jpg"), server.Url("/missing.jpg")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Has("Error 404: " + server.Url("/missing.jpg") +
                      " 404 Not Found  (http://ref.example/page.html)"))
        << r.Out;
    EXPECT_TRUE(r.Has("   done: " + server.Url("/ok.jpg")));
    EXPECT_TRUE(r.Has("           done: 1"));
    EXPECT_EQ(server.Requests().at(0).Header("Referer"), "http://ref.example/page.html");
}

TEST(GetCommand, TransferFailureCarriesLibcurlTextAfterRetries) {
    ScriptedServer server([](RawConnection& c) { c.ReadHead(); });
    TempDir dir;
    auto r = RunGet({"--out", dir.Path(), "--retries", "2", server.Url("/x.jpg")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_NE(r.Out.find("Error 0: " + server.Url("/x.jpg") + " "), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("Error 0: " + server.Url("/x.jpg") + "   ("), std::string::npos)
        << "message missing";
    EXPECT_TRUE(r.Has("        retries: 1"));
    EXPECT_TRUE(r.Has("         errors: 1"));
}

// Without --polite a "too many requests" is an error; with it the address is
// fetched again after the wait and counted as a retry.
TEST(GetCommand, PoliteWaitsWhenTheServerAsksToSlowDown) {
    for (const bool polite : {false, true}) {
        TestHttpServer server;
        std::atomic<int> calls{0};
        server.On("/p.jpg", [&](const httplib::Request&, httplib::Response& res) {
            if (calls++ == 0) {
                res.status = 429;
                res.set_header("Retry-After", "1");
                return;
            }
            res.set_content("picture", "image/jpeg");
        });
        TempDir dir;
        std::vector<std::string> args{"--out", dir.Path(), server.Url("/p.jpg")};
        if (polite) args.insert(args.begin(), {"--per-host", "1"});
        auto r = RunGet(args);
        ASSERT_TRUE(r.Finished);
        EXPECT_EQ(r.ExitCode, polite ? 0 : 1) << r.Out << r.Err;
        EXPECT_EQ(calls.load(), polite ? 2 : 1);
        EXPECT_EQ(r.Has("        retries: 1"), polite) << r.Out;
        EXPECT_EQ(r.Has("Error 429: " + server.Url("/p.jpg") + " 429 Too Many Requests  ()"),
                  !polite)
            << r.Out;
    }
    EXPECT_EQ(RunGet({"--per-host", "0", "http://127.0.0.1:1/x.jpg"}).ExitCode, 2);
}

TEST(GetCommand, BadArgumentsExitTwo) {
    TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"--out", dir.Path()},
             {"--bogus", "http://127.0.0.1:9/a.jpg"},
             {"--concurrency", "0", "http://127.0.0.1:9/a.jpg"},
             {"--timeout", "abc", "http://127.0.0.1:9/a.jpg"},
             {"-i", dir.Sub("no-such-list.txt")},
             {"--out", dir.Path(), "not a url"},
             {"--out"},
         }) {
        auto r = RunGet(args, 20000);
        ASSERT_TRUE(r.Finished);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(r.ExitCode, 2) << joined << "\n" << r.Err;
        EXPECT_FALSE(r.Err.empty()) << joined;
    }
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(GetCommand, AddressListSkipsCommentsAndBlankLines) {
    TestHttpServer server;
    server.Serve("/one.jpg", "image/jpeg", "1");
    server.Serve("/two.jpg", "image/jpeg", "2");
    TempDir dir;
    WriteFile(dir.Sub("list.txt"), "# pictures to fetch\n\n" + server.Url("/one.jpg") +
                                       "\r\n   \n" + "#" + server.Url("/commented.jpg") + "\n" +
                                       server.Url("/two.jpg") + "  \n");
    auto r = RunGet({"--out", dir.Sub("store"), "-i", dir.Sub("list.txt")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(server.Count("/one.jpg"), 1);
    EXPECT_EQ(server.Count("/two.jpg"), 1);
    EXPECT_EQ(server.Total(), 2);
    EXPECT_TRUE(r.Has("           done: 2"));
}

TEST(GetCommand, ReuseReportsFilesAlreadyOnDisk) {
    TestHttpServer server;
    TempDir dir;
    WriteFile(dir.Sub(server.HostFolder() + "/have.jpg"), "kept");
    auto r = RunGet({"--out", dir.Path(), "--reuse", server.Url("/have.jpg")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_TRUE(r.Has("on disk: " + server.Url("/have.jpg"))) << r.Out;
    EXPECT_TRUE(r.Has("already on disk: 1"));
    EXPECT_EQ(server.Total(), 0);
}

TEST(GetCommand, InterruptStopsAndExitsWith130) {
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.WaitPeerClosed(60000);
    });
    TempDir dir;
    QProcess p;
    p.start(TESSELLON_CLI, ToArgs({"--out", dir.Path(), server.Url("/hang.jpg")}));
    ASSERT_TRUE(p.waitForStarted(10000));
    for (int i = 0; i < 3000 && server.Accepted() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server.Accepted(), 1);
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(GetCommand, AnOutFolderThatIsAFileIsRefusedAtStartForGetAndScan) {
    TestHttpServer server;
    server.Serve("/a.jpg", "image/jpeg", "picture a");
    TempDir dir;
    const std::string file = dir.Sub("not-a-folder");
    WriteFile(file, "the user's file");
    const auto r = RunGet({"--out", file, server.Url("/a.jpg")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_NE(r.Err.find("--out names a file, not a folder: " + file), std::string::npos) << r.Err;
    EXPECT_EQ(server.Total(), 0);

    QProcess scan;
    scan.start(TESSELLON_CLI, {"scan", "--out", QString::fromStdString(file + "/"),
                               QString::fromStdString(server.Url("/a.jpg"))});
    ASSERT_TRUE(scan.waitForFinished(60000));
    EXPECT_EQ(scan.exitCode(), 1);
    EXPECT_TRUE(scan.readAllStandardError().contains("--out names a file, not a folder"));
    EXPECT_EQ(ReadFile(file), "the user's file");
    EXPECT_EQ(server.Total(), 0);
}

TEST(GetCommand, TermAndHangUpStopAsCtrlCDoesAndAClosedOutputEndsNothing) {
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.WaitPeerClosed(60000);
    });
    for (int signal : {SIGTERM, SIGHUP}) {
        TempDir dir;
        QProcess p;
        p.start(TESSELLON_CLI, ToArgs({"--out", dir.Path(), server.Url("/hang.jpg")}));
        ASSERT_TRUE(p.waitForStarted(10000));
        const int before = server.Accepted();
        ASSERT_TRUE(RunUntil([&] { return server.Accepted() > before; }));
        ::kill(pid_t(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(p.exitCode(), 130) << signal;
        EXPECT_TRUE(FilesUnder(dir.Path()).empty()) << signal << ": no .part file left";
    }

    // Standard output closed early (as "| head" does): the download goes on.
    TestHttpServer files;
    files.Serve("/a.jpg", "image/jpeg", "picture a");
    TempDir dir;
    QProcess p;
    p.start(TESSELLON_CLI, ToArgs({"--out", dir.Path(), files.Url("/a.jpg")}));
    ASSERT_TRUE(p.waitForStarted(10000));
    p.closeReadChannel(QProcess::StandardOutput);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "ended by SIGPIPE";
    const std::vector<std::string> stored = FilesUnder(dir.Path());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(ReadFile(dir.Path() + "/" + stored[0]), "picture a");
}

// --- exit statuses: 0 only when everything wanted was stored ---

TEST(GetCommand, ServerErrorsPrintALineAndExitOne) {
    TestHttpServer server;
    server.Serve("/busy.jpg", "text/plain", "busy", 503);
    server.Serve("/a.jpg", "image/jpeg", "picture a");
    TempDir dir;
    const auto r = RunGet({"--out", dir.Path(), server.Url("/a.jpg"), server.Url("/busy.jpg")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_TRUE(r.Has("Error 503: " + server.Url("/busy.jpg") + " 503 Service Unavailable  ()"))
        << r.Out;
    EXPECT_EQ(server.Count("/busy.jpg"), 3) << "tried as often as allowed";
    EXPECT_TRUE(r.Has("         errors: 1")) << r.Out;
}

TEST(ScanCommand, ExitStatusIsOneWhenAPageOrAFileFailedOrNothingWasStored) {
    TestHttpServer server;
    server.Serve("/ok.html", "text/html", "<img src=\"a.jpg\">");
    server.Serve("/a.jpg", "image/jpeg", "picture a");
    server.Serve("/broken.html", "text/html", "<img src=\"missing.jpg\">");
    server.Serve("/plain.html", "text/html", "<p>no pictures</p>");
    server.Serve("/missing-start.html", "text/html", "<p>gone</p>", 404);
    const auto scan = [&](const std::string& path, std::string& out) {
        TempDir dir;
        QProcess p;
        p.start(TESSELLON_CLI, {"scan", "--out", QString::fromStdString(dir.Path()), "--depth", "1",
                                "--download", "src", QString::fromStdString(server.Url(path))});
        if (!p.waitForFinished(60000)) return -1;
        out = p.readAllStandardOutput().toStdString() + p.readAllStandardError().toStdString();
        return p.exitCode();
    };
    std::string out;
    EXPECT_EQ(scan("/ok.html", out), 0) << out;
    EXPECT_EQ(scan("/missing-start.html", out), 1) << out; // 404 start page
    EXPECT_NE(out.find("404: " + server.Url("/missing-start.html")), std::string::npos) << out;
    EXPECT_EQ(scan("/broken.html", out), 1) << out; // a 404 picture
    EXPECT_NE(out.find("Error 404: " + server.Url("/missing.jpg")), std::string::npos) << out;
    EXPECT_NE(out.find("         errors: 1"), std::string::npos) << out;
    EXPECT_EQ(scan("/plain.html", out), 1) << out; // nothing wanted was stored
    EXPECT_NE(out.find("nothing was stored"), std::string::npos) << out;
}

// Past the file size limit (as on a full disk) the first file fails without
// another try and the rest are not fetched: each address has its line.
TEST(GetCommand, AFullDiskStopsTheDownloadsAndListsWhatWasNotStored) {
    TestHttpServer server;
    std::vector<std::string> args;
    TempDir dir;
    args = {"--out", dir.Path(), "--concurrency", "1", "--retries", "3"};
    for (int i = 0; i < 4; ++i) {
        server.Serve("/p" + std::to_string(i) + ".jpg", "image/jpeg", BinaryBody(100000));
        args.push_back(server.Url("/p" + std::to_string(i) + ".jpg"));
    }
    QProcess p;
    p.setChildProcessModifier([] {
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    p.start(TESSELLON_CLI, ToArgs(args));
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string out = p.readAllStandardOutput().toStdString();
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), 1) << out << err;
    EXPECT_NE(err.find("disk full: " + dir.Path() + " (File too large)"), std::string::npos) << err;
    EXPECT_EQ(server.Total(), 1) << out;
    EXPECT_NE(out.find("Error 0: " + server.Url("/p0.jpg") + " cannot write the file: "),
              std::string::npos)
        << out;
    for (int i = 1; i < 4; ++i)
        EXPECT_NE(out.find("not stored: " + server.Url("/p" + std::to_string(i) + ".jpg") +
                           " (disk full)\n"),
                  std::string::npos)
            << out;
    EXPECT_NE(out.find("         errors: 4\n"), std::string::npos) << out;
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}
