// The download manager itself: what the page manager refuses, files served
// from disk, statistics and idleness, the number of slots, and the storage
// folder as the only place anything is written.
#include "DownloadHarness.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

TEST(HeadHandling, PageManagerTakesOnlyHtmlAndRobots) {
    TestHttpServer server;
    server.Serve("/page.html", "text/html; charset=utf-8", "<html>page</html>");
    server.Serve("/pic.jpg", "image/jpeg", "jpeg bytes");
    server.Serve("/looks-like.jpg", "text/html", "<html>really a page</html>");
    server.Serve("/robots.txt", "text/plain", "User-agent: *\nDisallow: /private/\n");
    server.Serve("/notes.txt", "text/plain", "plain text");
    ManagerRun run("", 1);
    for (const char* p : {"/page.html", "/pic.jpg", "/looks-like.jpg", "/robots.txt", "/notes.txt"})
        run.Add(server.Url(p), BodyHandling::STORE_TO_DATASTRING, "", 'H', 2);
    ASSERT_TRUE(run.RunToIdle());

    std::vector<std::string> got;
    for (const auto& r : run.Received)
        got.push_back(r.Url.substr(server.Origin().size()));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"/looks-like.jpg", "/page.html", "/robots.txt"}));
    // Refused bodies of pages met on the way (depth 2) are dropped without a
    // report and without a retry; a start page's is told (engine tests).
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(run.M.Retries(), 0);
    EXPECT_EQ(server.Count("/pic.jpg"), 1);
    EXPECT_EQ(server.Count("/notes.txt"), 1);
    EXPECT_EQ(run.M.Done(), 3);
}

TEST(HeadHandling, FileManagerStoresWhateverTypeAndLetsItsOwnerRefuse) {
    TestHttpServer server;
    server.Serve("/html-answer.jpg", "text/html", "<html>not a picture</html>");
    server.Serve("/refused.jpg", "image/jpeg", "jpeg bytes");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.RefuseBody = [](const std::string& url) { return url.ends_with("/refused.jpg"); };
    run.Add(server.Url("/html-answer.jpg"));
    run.Add(server.Url("/refused.jpg"));
    ASSERT_TRUE(run.RunToIdle());

    EXPECT_EQ(run.Heads.size(), 2u);
    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.Received[0].Url, server.Url("/html-answer.jpg"));
    EXPECT_EQ(ReadFile(run.Target(server.Url("/html-answer.jpg"))), "<html>not a picture</html>");
    EXPECT_FALSE(FileExists(run.Target(server.Url("/refused.jpg"))));
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(server.Count("/refused.jpg"), 1);
    EXPECT_TRUE(NoPartFiles(dir.Path()));
}

TEST(ReuseExistingFiles, FilesOnDiskAreDeliveredByTheNextStepWithoutRequests) {
    TestHttpServer server;
    server.Serve("/c.html", "text/html", "<html>c from the net</html>");
    TempDir dir;
    ManagerRun run(dir.Path(), 1);
    run.M.ReuseExistingFiles = true;
    WriteFile(run.Target(server.Url("/a.html")), "<html>a on disk</html>");
    WriteFile(run.Target(server.Url("/b.html")), std::string("b\0with zero", 11));

    run.Add(server.Url("/a.html"), BodyHandling::STORE_TO_DATASTRING_AND_FILE, "", 'H', 1);
    run.Add(server.Url("/b.html"), BodyHandling::STORE_TO_DATASTRING_AND_FILE, "", 'H', 2);
    run.Add(server.Url("/c.html"), BodyHandling::STORE_TO_DATASTRING_AND_FILE, "", 'H', 1);
    EXPECT_TRUE(run.Received.empty()); // nothing inside AddDownload
    EXPECT_EQ(run.M.QueueCount(), 1);  // only c waits for the network
    ASSERT_TRUE(run.RunToIdle());

    ASSERT_EQ(run.Received.size(), 3u);
    EXPECT_EQ(run.Received[0].Url, server.Url("/a.html"));
    EXPECT_TRUE(run.Received[0].OnDisk);
    EXPECT_EQ(run.Received[0].Body, "<html>a on disk</html>");
    EXPECT_EQ(run.Received[1].Url, server.Url("/b.html"));
    EXPECT_EQ(run.Received[1].Body, std::string("b\0with zero", 11));
    EXPECT_EQ(run.Received[2].Url, server.Url("/c.html"));
    EXPECT_FALSE(run.Received[2].OnDisk);
    EXPECT_EQ(run.M.AlreadyOnDisk(), 2);
    EXPECT_EQ(run.M.Done(), 1);
    EXPECT_EQ(server.Count("/a.html"), 0);
    EXPECT_EQ(server.Count("/b.html"), 0);
    EXPECT_EQ(server.Count("/c.html"), 1);
    EXPECT_EQ(run.Stats.back().OnDisk, 2);
    EXPECT_TRUE(std::find(run.Log.begin(), run.Log.end(),
                          "(reloaded from disk) " + server.Url("/a.html")) != run.Log.end());
}

TEST(ReuseExistingFiles, CountedOnlyWhenDelivered) {
    TempDir dir;
    ManagerRun run(dir.Path(), 1);
    run.M.ReuseExistingFiles = true;
    WriteFile(run.Target("http://127.0.0.1:9/a.html"), "on disk");
    run.Add("http://127.0.0.1:9/a.html", BodyHandling::STORE_TO_DATASTRING, "", 'H', 1);
    EXPECT_EQ(run.M.AlreadyOnDisk(), 0);
    run.M.Tick();
    EXPECT_EQ(run.M.AlreadyOnDisk(), 1);
    ASSERT_EQ(run.Received.size(), 1u);
    // A stop before delivery drops what was waiting.
    run.Add("http://127.0.0.1:9/a.html", BodyHandling::STORE_TO_DATASTRING, "", 'H', 1);
    run.M.SetStopping(true);
    run.M.Tick();
    EXPECT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.M.AlreadyOnDisk(), 1);
}

TEST(Statistics, FirstReportAfterReinitIsZerosAndQuietStateReportsNothing) {
    ManagerRun run("");
    run.M.Reinit();
    ASSERT_EQ(run.Stats.size(), 1u); // Reinit's own report
    EXPECT_EQ(run.Stats[0], (StatsEvent{2, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(run.M.UpdateStats());
    ASSERT_EQ(run.Stats.size(), 2u); // the first report after Reinit
    EXPECT_EQ(run.Stats[1], (StatsEvent{2, 0, 0, 0, 0, 0, 0, 0}));

    // Quiet: no further report, idle declared at the eleventh quiet call.
    int trueCalls = 0;
    while (run.M.UpdateStats() && trueCalls < 50)
        ++trueCalls;
    EXPECT_EQ(trueCalls, 10);
    EXPECT_EQ(run.Stats.size(), 2u);
}

TEST(Statistics, ValuesAreRememberedWithoutAHandler) {
    ManagerRun run("");
    auto handler = run.M.OnUpdatedStats;
    run.M.OnUpdatedStats = nullptr;
    run.M.Reinit();
    run.M.UpdateStats();
    run.M.OnUpdatedStats = handler;
    run.M.UpdateStats();
    EXPECT_TRUE(run.Stats.empty());
}

TEST(Statistics, ReportsFollowAQueueAndItsEnd) {
    TestHttpServer server;
    server.Serve("/a.jpg", "image/jpeg", "a");
    server.Serve("/b.jpg", "image/jpeg", "b");
    TempDir dir;
    ManagerRun run(dir.Path());
    bool reinitRaised = false;
    run.M.OnReinit = [&] { reinitRaised = true; };
    std::vector<bool> working;
    run.M.OnWorking = [&](Component*, bool w) { working.push_back(w); };
    run.Add(server.Url("/a.jpg"));
    run.Add(server.Url("/b.jpg"));
    EXPECT_TRUE(reinitRaised);
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(working, (std::vector<bool>{true, false}));
    EXPECT_EQ(run.Stats.back(), (StatsEvent{2, 0, 0, 0, 2, 0, 0, 0}));
    for (std::size_t i = 1; i < run.Stats.size(); ++i)
        EXPECT_FALSE(run.Stats[i] == run.Stats[i - 1]);
}

TEST(Slots, LoweringConcurrencyFreesExtraSlotsOnlyAfterTheirTransfersEnd) {
    Gate firstFour;
    Concurrency early, late;
    TestHttpServer server;
    struct OpenAtEnd {
        Gate& ToOpen;
        ~OpenAtEnd() { ToOpen.Open(); } // a failed check must not leave handlers waiting
    } openAtEnd{firstFour};
    for (int i = 0; i < 4; ++i)
        server.On("/early" + std::to_string(i) + ".jpg",
                  [&](const httplib::Request&, httplib::Response& res) {
                      early.Enter();
                      firstFour.Wait();
                      early.Leave();
                      res.set_content("early", "image/jpeg");
                  });
    for (int i = 0; i < 6; ++i)
        server.On("/late" + std::to_string(i) + ".jpg",
                  [&](const httplib::Request&, httplib::Response& res) {
                      late.Enter();
                      std::this_thread::sleep_for(std::chrono::milliseconds(150));
                      late.Leave();
                      res.set_content("late", "image/jpeg");
                  });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 4;
    auto countGetting = [&] {
        int n = 0;
        for (int i = 0; i < run.M.SlotCount(); ++i)
            if (run.M.Slot(i).State == RequestState::GETHTTP_GETTING) ++n;
        return n;
    };
    for (int i = 0; i < 4; ++i)
        run.Add(server.Url("/early" + std::to_string(i) + ".jpg"));
    for (int i = 0; i < 6; ++i)
        run.Add(server.Url("/late" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(RunUntil([&] { return early.Now() == 4; }));
    EXPECT_EQ(late.Peak(), 0);

    run.M.ConcurrentDownloads = 2;
    RunFor(600); // three ticks: busy slots are neither freed nor aborted
    EXPECT_EQ(run.M.SlotCount(), 4);
    EXPECT_EQ(countGetting(), 4);
    EXPECT_EQ(run.Started(), 4);
    EXPECT_EQ(late.Peak(), 0);

    firstFour.Open();
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(run.M.SlotCount(), 2);
    EXPECT_EQ(run.M.Done(), 10);
    EXPECT_EQ(run.Started(), 10);
    EXPECT_LE(late.Peak(), 2);
    EXPECT_TRUE(run.Errors.empty());
}

TEST(Slots, NeverMoreTransfersThanSlots) {
    Concurrency running;
    TestHttpServer server;
    server.Fallback([&](const httplib::Request&, httplib::Response& res) {
        running.Enter();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        running.Leave();
        res.set_content("x", "image/jpeg");
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 3;
    for (int i = 0; i < 15; ++i)
        run.Add(server.Url("/f" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(run.M.Done(), 15);
    EXPECT_LE(running.Peak(), 3);
    EXPECT_GE(running.Peak(), 2); // the slots did work side by side
}

TEST(Slots, EndedTransfersAreRefilledWithoutWaitingForATick) {
    TestHttpServer server;
    server.Fallback([](const httplib::Request&, httplib::Response& res) {
        res.set_content("x", "image/jpeg");
    });
    TempDir dir;
    // No timer at all: only the rounds the manager posts itself move it on.
    DownloadManager manager;
    manager.Tag = 2;
    manager.DownloadPath = dir.Path() + "/";
    manager.ConcurrentDownloads = 1;
    int received = 0;
    manager.OnDataReceived = [&](Component*, RequestSlot*, bool) { ++received; };
    for (int i = 0; i < 10; ++i)
        manager.AddDownload(
            server.Url("/r" + std::to_string(i) + ".jpg"),
            {.DepthSearchLevel = -1, .HrefOrSrc = 'H', .GetAction = BodyHandling::STORE_TO_FILE});
    ASSERT_TRUE(RunUntil([&] { return received == 10; }));
    EXPECT_EQ(manager.Done(), 10);
    EXPECT_EQ(FilesUnder(dir.Path()).size(), 10u);
}

TEST(Slots, ProgressKnowsTheAnnouncedLengthWithoutAHeadHandler) {
    TestHttpServer server;
    const std::string body(300000, 'j');
    server.Serve("/big.jpg", "image/jpeg", body);
    TempDir dir;
    DownloadManager manager; // as the file downloads run with logs off: no head handler
    manager.Tag = 2;
    manager.DownloadPath = dir.Path() + "/";
    std::vector<std::int64_t> lengths;
    manager.OnProgress = [&](RequestSlot* get, std::uint32_t) {
        lengths.push_back(get->ContentLength);
    };
    int received = 0;
    manager.OnDataReceived = [&](Component*, RequestSlot*, bool) { ++received; };
    manager.AddDownload(server.Url("/big.jpg"),
                        {.DepthSearchLevel = -1, .GetAction = BodyHandling::STORE_TO_FILE});
    ASSERT_TRUE(RunUntil([&] { return received == 1; }));
    ASSERT_FALSE(lengths.empty());
    EXPECT_EQ(lengths.back(), std::int64_t(body.size())) << "a percentage needs the length";
}

TEST(QueueOrder, PriorityFirstThenLeavesFirst) {
    TestHttpServer server;
    server.Fallback(
        [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/html"); });
    ManagerRun run("", 1);
    run.M.ConcurrentDownloads = 1;
    run.M.LeavesFirst = true;
    // Queued before any round runs: the order of the requests shows the choice.
    run.M.AddDownload(server.Url("/d1a.html"), {.HrefOrSrc = 'H'});
    run.M.AddDownload(server.Url("/d3a.html"), {.DepthSearchLevel = 3, .HrefOrSrc = 'H'});
    run.M.AddDownload(server.Url("/d2.html"), {.DepthSearchLevel = 2, .HrefOrSrc = 'H'});
    run.M.AddDownload(server.Url("/d3b.html"), {.DepthSearchLevel = 3, .HrefOrSrc = 'H'});
    run.M.AddDownload(server.Url("/prio.html"), {.Priority = true, .HrefOrSrc = 'H'});
    ASSERT_TRUE(run.RunToIdle());
    std::vector<std::string> order;
    for (const auto& s : server.Requests())
        order.push_back(s.Path);
    EXPECT_EQ(order, (std::vector<std::string>{"/prio.html", "/d3a.html", "/d3b.html", "/d2.html",
                                               "/d1a.html"}));
}

TEST(StorageSafety, HostilePathsWriteNothingOutsideTheStorageFolder) {
    TestHttpServer server;
    server.Fallback([](const httplib::Request&, httplib::Response& res) {
        res.set_content("payload", "image/jpeg");
    });
    TempDir root;
    const std::string storage = root.Sub("a/b/store");
    WriteFile(root.Sub("a/b/store/keep"), "");
    const auto before = EntriesUnder(root.Path());
    ManagerRun run(storage);
    run.M.RetryCount = 1;
    const std::vector<std::string> urls = {
        server.Url("/%2e%2e/%2e%2e/x.jpg"),
        server.Url("/a/..%2f..%2f..%2f..%2fb.jpg"),
        server.Url("/%2E%2E%2F%2E%2E%2F%2E%2E%2Fc.jpg"),
        server.Url("/../../../d.jpg"),
        server.Url("/q.jpg?../../../../e.jpg"),
        server.Url("/q.jpg?%2e%2e%2f%2e%2e%2f%2e%2e%2ff.jpg%00"),
        server.Url("/q.jpg?/a/b/c/" + std::string(400, 'q')),
        server.Url("/\xff\xfe.jpg?\x01\xff/.."),
        "http:///nohost.jpg",
        server.Url("/" + std::string(2000, 'l') + ".jpg"),
        server.Url("/" + std::string(300, 's') + "/" + std::string(300, 't') + ".jpg"),
    };
    for (const auto& u : urls)
        run.Add(u);
    ASSERT_TRUE(run.RunToIdle());

    for (const auto& e : EntriesUnder(root.Path())) {
        if (std::find(before.begin(), before.end(), e) != before.end()) continue;
        EXPECT_TRUE(e.starts_with("a/b/store/" + server.HostFolder())) << e;
    }
    EXPECT_TRUE(NoPartFiles(root.Path()));
    // What was stored lies under the host's folder, escapes and all.
    EXPECT_FALSE(FilesUnder(storage + "/" + server.HostFolder()).empty());
}

TEST(StorageSafety, FileWhereAFolderIsNeededIsAnErrorWithoutRetry) {
    TestHttpServer server;
    server.Serve("/x.php", "text/html", "<html>script output</html>");
    server.Serve("/x.php/a.jpg", "image/jpeg", "picture");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/x.php"));
    ASSERT_TRUE(RunUntil([&] { return run.M.Done() == 1; }));
    run.Add(server.Url("/x.php/a.jpg"), BodyHandling::STORE_TO_FILE, "http://ref.example/");
    ASSERT_TRUE(run.RunToIdle());

    const std::string target = run.Target(server.Url("/x.php/a.jpg"));
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Url, server.Url("/x.php/a.jpg"));
    EXPECT_EQ(run.Errors[0].Code, 0u);
    EXPECT_EQ(run.Errors[0].Msg, "unable to create file: " + target + " (Not a directory)");
    EXPECT_EQ(run.Errors[0].Referrer, "http://ref.example/");
    EXPECT_EQ(run.M.Errors(), 1);
    EXPECT_EQ(run.M.Retries(), 0);
    EXPECT_EQ(server.Count("/x.php/a.jpg"), 0);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/x.php"))), "<html>script output</html>");
}

TEST(StorageSafety, AFailedRequestLeavesNoEmptyFolders) {
    TestHttpServer server;
    server.Serve("/keep/deep/ok.jpg", "image/jpeg", "picture");
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.M.ConcurrentDownloads = 1;
    run.Add(server.Url("/keep/deep/ok.jpg"));
    run.Add(server.Url("/gone/deeper/still/missing.jpg")); // 404
    run.Add(server.Url("/keep/deep/missing.jpg"));         // 404 beside the stored file
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(run.Errors.size(), 2u);
    struct stat st {};
    const std::string host = dir.Sub(server.HostFolder());
    EXPECT_NE(::stat((host + "/gone").c_str(), &st), 0) << "empty folders were left";
    EXPECT_EQ(FilesUnder(dir.Path()),
              (std::vector<std::string>{server.HostFolder() + "/keep/deep/ok.jpg"}));
    // The storage folder itself stays.
    EXPECT_EQ(::stat(dir.Path().c_str(), &st), 0);
}

// A disk that refuses the body part-way (full, or a file size limit) fails
// a file at once, without another try, with the reason, and keeps nothing of
// it; a page is processed from memory all the same. Both tell the owner.
TEST(StorageSafety, ABodyTheDiskRefusesPartWayFailsAFileAndSparesAPage) {
    TestHttpServer server;
    const std::string page = "<html>" + std::string(150000, ' ') + "</html>";
    server.Serve("/big/a.jpg", "image/jpeg", BinaryBody(300000));
    server.Serve("/small.jpg", "image/jpeg", "picture");
    server.Serve("/page.html", "text/html", page);
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 3;
    std::vector<std::string> diskFull;
    run.M.OnDiskFull = [&](Component*, const std::string& why) { diskFull.push_back(why); };

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 100000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN); // write then fails with EFBIG
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    run.Add(server.Url("/big/a.jpg"));
    run.Add(server.Url("/small.jpg"));
    run.Add(server.Url("/page.html"), BodyHandling::STORE_TO_DATASTRING_AND_FILE);
    const bool idle = run.RunToIdle();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(idle);

    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Url, server.Url("/big/a.jpg"));
    EXPECT_EQ(run.Errors[0].Msg, "cannot write the file: " + run.Target(server.Url("/big/a.jpg")) +
                                     " (File too large)");
    EXPECT_EQ(server.Count("/big/a.jpg"), 1) << "a full disk was tried again";
    EXPECT_EQ(run.M.Retries(), 0);
    ASSERT_EQ(run.Received.size(), 2u);
    const auto delivered = std::find_if(run.Received.begin(), run.Received.end(),
                                        [](const auto& r) { return r.Body.size() > 1000; });
    ASSERT_NE(delivered, run.Received.end());
    EXPECT_TRUE(delivered->Body == page);
    EXPECT_EQ(diskFull, (std::vector<std::string>{"File too large", "File too large"}));
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{server.HostFolder() + "/small.jpg"});
    EXPECT_TRUE(NoPartFiles(dir.Path()));
}

TEST(StorageSafety, ThumbnailsAreReadOnlyAndReplacedOnTheNextFetch) {
    std::atomic<int> version{1};
    TestHttpServer server;
    server.On("/t.jpg", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content("thumb v" + std::to_string(version.load()), "image/jpeg");
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(server.Url("/t.jpg"), BodyHandling::STORE_TO_FILE, "", 'S');
    ASSERT_TRUE(run.RunToIdle());
    const std::string target = run.Target(server.Url("/t.jpg"));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(ReadFile(target), "thumb v1");
    version = 2;
    run.Add(server.Url("/t.jpg"), BodyHandling::STORE_TO_FILE, "", 'S');
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(ReadFile(target), "thumb v2");
    EXPECT_TRUE(run.Errors.empty());
}

// A slot keeps its connection for its next request to the same server.
TEST(Slots, ASlotKeepsItsConnectionForTheNextRequest) {
    TestHttpServer server(10);
    std::mutex m;
    std::set<int> clientPorts;
    for (int i = 0; i < 4; ++i)
        server.On("/p" + std::to_string(i) + ".jpg",
                  [&](const httplib::Request& req, httplib::Response& res) {
                      {
                          std::lock_guard lk(m);
                          clientPorts.insert(req.remote_port);
                      }
                      res.set_content("jpeg", "image/jpeg");
                  });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 1;
    for (int i = 0; i < 4; ++i)
        run.Add(server.Url("/p" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(run.Received.size(), 4u);
    std::lock_guard lk(m); // the server's threads wrote it
    EXPECT_EQ(clientPorts.size(), 1u);
}

namespace {

// UpdateStats calls that still report work once the manager has nothing
// left, the call that declares it idle not counted.
int TicksUntilIdle(DownloadManager& m) {
    int n = 0;
    while (m.UpdateStats() && n < 100)
        ++n;
    return n;
}

} // namespace

TEST(ManagerIdle, QuietTicksBeforeIdleDecideWhenTheManagerIsDone) {
    TestHttpServer server;
    server.Serve("/a.jpg", "image/jpeg", "a");
    for (const int quiet : {10, 0}) {
        SCOPED_TRACE("quiet ticks " + std::to_string(quiet));
        TempDir dir;
        DownloadManager m;
        m.DownloadPath = dir.Path() + "/";
        m.QuietTicksBeforeIdle = quiet;
        int received = 0;
        m.OnDataReceived = [&](Component*, RequestSlot*, bool) { ++received; };
        m.AddDownload(
            server.Url("/a.jpg"),
            {.DepthSearchLevel = -1, .HrefOrSrc = 'H', .GetAction = BodyHandling::STORE_TO_FILE});
        ASSERT_TRUE(RunUntil([&] { return !m.HasWork(); }));
        EXPECT_EQ(received, 1);
        // The default: the tick that sees the changed statistics, then ten
        // quiet ticks still working; the eleventh quiet tick says idle. With
        // no quiet ticks, the first tick that finds nothing left says idle,
        // changed statistics or not.
        EXPECT_EQ(TicksUntilIdle(m), quiet == 0 ? 0 : 11);
    }
}

TEST(ManagerIdle, APageBeingDeliveredIsWorkEvenWithoutQuietTicks) {
    TempDir dir;
    WriteFile(dir.Sub("127.0.0.1/page.html"), "<html>kept</html>");
    DownloadManager m;
    m.DownloadPath = dir.Path() + "/";
    m.ReuseExistingFiles = true;
    m.QuietTicksBeforeIdle = 0;
    bool workDuringDelivery = false, activeDuringDelivery = false;
    int received = 0;
    m.OnDataReceived = [&](Component*, RequestSlot* get, bool onDisk) {
        ++received;
        EXPECT_TRUE(onDisk);
        EXPECT_EQ(get->Body, "<html>kept</html>");
        // A tick that runs while the page is handed over (its handler lets
        // pending events through) must not find the manager idle.
        workDuringDelivery = m.HasWork();
        activeDuringDelivery = m.UpdateStats();
    };
    m.AddDownload("http://127.0.0.1/page.html", {});
    ASSERT_TRUE(RunUntil([&] { return received == 1; }));
    EXPECT_TRUE(workDuringDelivery);
    EXPECT_TRUE(activeDuringDelivery);
    EXPECT_FALSE(m.HasWork());
    EXPECT_FALSE(m.UpdateStats());
}
