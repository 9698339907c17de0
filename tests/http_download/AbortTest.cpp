// Aborting a transfer: while connecting and while the body arrives. The
// slot must end promptly, exactly once, with Cancelled set, and leave the
// storage folder as it was.
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>

namespace {

// An abort normally ends the transfer within milliseconds (the worker's
// wait is woken at once). The bound stays below the worker's own 1 s poll
// so that a missing wake-up shows, yet leaves a loaded machine a wide margin.
#if defined(__SANITIZE_THREAD__)
constexpr int kPromptMs = 5000;
#else
constexpr int kPromptMs = 900;
#endif

struct SlotRun {
    RequestSlot Slot;
    int ThreadDoneCalls = 0;
    std::vector<std::uint32_t> Progress;

    SlotRun(const std::string& url, const std::string& storage) {
        Slot.Url.Split(url, storage + "/");
        Slot.GetAction = BodyHandling::STORE_TO_FILE;
        Slot.HrefOrSrc = 'H';
        Slot.SetTimeOut(300);
        Slot.State = RequestState::GETHTTP_WAITING;
        Slot.OnThreadDone = [this](RequestSlot*) { ++ThreadDoneCalls; };
        Slot.OnProgress = [this](RequestSlot*, std::uint32_t bytes) { Progress.push_back(bytes); };
    }

    // Aborts and returns the milliseconds until the transfer ended (-1: never).
    qint64 AbortAndWait() {
        QElapsedTimer clock;
        clock.start();
        Slot.Abort();
        if (!RunUntil([&] { return Slot.State == RequestState::GETHTTP_THREAD_DONE; }, 30000))
            return -1;
        return clock.elapsed();
    }
};

} // namespace

TEST(Abort, DuringConnectEndsPromptlyWithCancelled) {
    BlackholeServer hole;
    if (!hole.ConnectsHang())
        GTEST_SKIP() << "the kernel completed the connection; no pending connect to abort";
    TempDir dir;
    SlotRun run(hole.Url("/never.jpg"), dir.Path());
    run.Slot.Get(RequestKind::GETHTTP_BODY);
    ASSERT_EQ(run.Slot.State, RequestState::GETHTTP_GETTING);
    RunFor(300);
    ASSERT_EQ(run.Slot.State, RequestState::GETHTTP_GETTING); // still connecting

    const qint64 ms = run.AbortAndWait();
    ASSERT_GE(ms, 0) << "the aborted transfer never ended";
    EXPECT_LT(ms, kPromptMs);
    ::testing::Test::RecordProperty("abort_ms", int(ms));
    run.Slot.ThreadDone();
    EXPECT_TRUE(run.Slot.Cancelled);
    EXPECT_FALSE(run.Slot.Success);
    EXPECT_FALSE(run.Slot.Busy);
    EXPECT_EQ(run.Slot.StatusCode, 0);
    RunFor(200);
    EXPECT_EQ(run.ThreadDoneCalls, 1);
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(Abort, DuringBodyEndsPromptlyAndKeepsTheEarlierFile) {
    std::atomic<bool> peerClosed{false};
    ScriptedServer server([&](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: image/jpeg", "Content-Length: 100000"}));
        c.Send(std::string(1000, 'p'));
        if (c.WaitPeerClosed(60000)) peerClosed = true;
    });
    TempDir dir;
    SlotRun run(server.Url("/big.jpg"), dir.Path());
    WriteFile(run.Slot.Url.LocalFileName(), "earlier picture");
    run.Slot.Get(RequestKind::GETHTTP_BODY);
    // Wait for the first chunk (progress: 4294967295, then 0 for the first chunk).
    ASSERT_TRUE(RunUntil([&] { return run.Progress.size() >= 2; }));

    const qint64 ms = run.AbortAndWait();
    ASSERT_GE(ms, 0) << "the aborted transfer never ended";
    EXPECT_LT(ms, kPromptMs);
    ::testing::Test::RecordProperty("abort_ms", int(ms));
    run.Slot.ThreadDone();
    EXPECT_TRUE(run.Slot.Cancelled);
    EXPECT_FALSE(run.Slot.Success);
    EXPECT_EQ(run.Slot.StatusCode, 200);
    RunFor(200);
    EXPECT_EQ(run.ThreadDoneCalls, 1);
    EXPECT_EQ(ReadFile(run.Slot.Url.LocalFileName()), "earlier picture");
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{server.HostFolder() + "/big.jpg"});
    EXPECT_TRUE(
        RunUntil([&] { return peerClosed.load(); }, 10000)); // the connection was really dropped
}

TEST(Abort, AbortAfterTheEndOnlyMarksTheSlot) {
    TestHttpServer server;
    server.Serve("/small.jpg", "image/jpeg", "small");
    TempDir dir;
    SlotRun run(server.Url("/small.jpg"), dir.Path());
    run.Slot.Get(RequestKind::GETHTTP_BODY);
    ASSERT_TRUE(RunUntil([&] { return run.Slot.State == RequestState::GETHTTP_THREAD_DONE; }));
    run.Slot.Abort();
    EXPECT_TRUE(run.Slot.Aborted);
    run.Slot.ThreadDone();
    EXPECT_TRUE(run.Slot.Success);
    EXPECT_FALSE(run.Slot.Cancelled);
    EXPECT_EQ(ReadFile(run.Slot.Url.LocalFileName()), "small");
    EXPECT_EQ(run.ThreadDoneCalls, 1);
}

// The temporary file exists from the moment a transfer is started, before
// its loop takes it up; a slot given up at once removes it and its folders.
TEST(Abort, SlotsDestroyedRightAfterTheyStartedLeaveNothingBehind) {
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.WaitPeerClosed(60000);
    });
    TempDir dir;
    TransferLoop loop;
    for (int round = 0; round < 20; ++round) {
        std::vector<std::unique_ptr<SlotRun>> runs;
        for (int i = 0; i < 8; ++i) {
            auto run = std::make_unique<SlotRun>(
                server.Url("/r" + std::to_string(round) + "/f" + std::to_string(i) + ".jpg"),
                dir.Path());
            run->Slot.Loop = &loop;
            run->Slot.StorageFolder = dir.Path();
            run->Slot.Get(RequestKind::GETHTTP_BODY);
            runs.push_back(std::move(run));
        }
        runs.clear();
        ASSERT_TRUE(EntriesUnder(dir.Path()).empty())
            << "round " << round << ": " << EntriesUnder(dir.Path()).front();
    }
}

TEST(Abort, StoppingTheManagerEndsTransfersWithoutReports) {
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: image/jpeg"}));
        c.Send("partial");
        c.WaitPeerClosed(60000);
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    for (int i = 0; i < 5; ++i)
        run.Add(server.Url("/s" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(RunUntil([&] { return server.Accepted() == 2; }));
    ASSERT_TRUE(
        RunUntil([&] { return run.Stats.size() >= 2 && run.Stats.back().Downloading == 2; }));
    run.M.SetStopping(true);
    EXPECT_TRUE(run.Add(server.Url("/ignored.jpg"))); // accepted but dropped
    ASSERT_TRUE(run.RunToIdle());

    EXPECT_TRUE(run.Errors.empty());
    EXPECT_TRUE(run.Received.empty());
    EXPECT_TRUE(run.FailedKinds.empty());
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_EQ(run.M.QueueCount(), 0);
    for (int i = 0; i < run.M.SlotCount(); ++i)
        EXPECT_FALSE(run.M.Slot(i).Busy);
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}
