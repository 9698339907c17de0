// Transfers of several slots share one loop thread: none may hold back the
// others, and a transfer that waits for the owner's answer to its head must
// get its whole body afterwards, or end cleanly when aborted meanwhile.
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A body of size bytes that differs from byte to byte, so that a piece lost
// or handed over twice shows.
std::string Pattern(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = char('a' + (i * 7 + i / 4096) % 26);
    return body;
}

} // namespace

// Two slots of one manager run on the same loop: a server that stalls one
// answer must not stop the other slot's transfers.
TEST(TransferLoop, AStalledAnswerHoldsBackNoOtherTransfer) {
    std::atomic<bool> release{false};
    TestHttpServer server;
    server.On("/stalled.jpg", [&](const httplib::Request&, httplib::Response& res) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        res.set_content("late", "image/jpeg");
    });
    for (int i = 0; i < 6; ++i)
        server.Serve("/q" + std::to_string(i) + ".jpg", "image/jpeg", "quick " + std::to_string(i));
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 2;
    run.Add(server.Url("/stalled.jpg"));
    for (int i = 0; i < 6; ++i)
        run.Add(server.Url("/q" + std::to_string(i) + ".jpg"));

    const bool othersDone = RunUntil([&] { return run.Received.size() == 6; });
    release = true;
    ASSERT_TRUE(othersDone) << run.Received.size() << " of 6 arrived beside the stalled one";
    ASSERT_TRUE(RunUntil([&] { return run.Received.size() == 7; }));
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(ReadFile(run.Target(server.Url("/stalled.jpg"))), "late");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ReadFile(run.Target(server.Url("/q" + std::to_string(i) + ".jpg"))),
                  "quick " + std::to_string(i));
}

// The manager's head handler makes every transfer wait for the owner when
// its head is complete. Bodies that arrive together with the head, and one
// far larger than a read, are stored whole all the same.
TEST(TransferLoop, BodiesAreWholeAfterTheOwnerAnsweredTheirHead) {
    const std::string tiny = "t";
    const std::string small = Pattern(3000);
    const std::string large = Pattern(3 << 20);
    TestHttpServer server;
    server.Serve("/tiny.jpg", "image/jpeg", tiny);
    server.Serve("/small.jpg", "image/jpeg", small);
    server.Serve("/large.jpg", "image/jpeg", large);
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.ConcurrentDownloads = 3;
    for (const char* name : {"/tiny.jpg", "/small.jpg", "/large.jpg"})
        run.Add(server.Url(name));
    ASSERT_TRUE(RunUntil([&] { return run.Received.size() == 3; }));
    EXPECT_EQ(run.Heads.size(), 3u);
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(ReadFile(run.Target(server.Url("/tiny.jpg"))), tiny);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/small.jpg"))), small);
    EXPECT_TRUE(ReadFile(run.Target(server.Url("/large.jpg"))) == large)
        << "the large body differs";
}

// Aborted by the owner while it answers the head: the transfer ends
// cancelled, once, and the picture stored before stays.
TEST(TransferLoop, AbortWhileTheHeadIsAnsweredEndsTheTransfer) {
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: image/jpeg", "Content-Length: 100000"}));
        c.Send(std::string(1000, 'p'));
        c.WaitPeerClosed(60000);
    });
    TempDir dir;
    RequestSlot slot;
    slot.Url.Split(server.Url("/pic.jpg"), dir.Path() + "/");
    slot.GetAction = BodyHandling::STORE_TO_FILE;
    slot.State = RequestState::GETHTTP_WAITING;
    int ends = 0;
    slot.OnThreadDone = [&](RequestSlot*) { ++ends; };
    slot.OnHeadComplete = [](RequestSlot* self, const std::string&, const std::string&, int,
                             const std::string&, std::int64_t, int, bool& ok, int) {
        self->Abort();
        ok = true;
    };
    WriteFile(slot.Url.LocalFileName(), "earlier picture");
    slot.Get(RequestKind::GETHTTP_BODY);
    ASSERT_TRUE(RunUntil([&] { return slot.State == RequestState::GETHTTP_THREAD_DONE; }));
    slot.ThreadDone();
    EXPECT_TRUE(slot.Cancelled);
    EXPECT_FALSE(slot.Success);
    RunFor(100);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(ReadFile(slot.Url.LocalFileName()), "earlier picture");
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{server.HostFolder() + "/pic.jpg"});
}
