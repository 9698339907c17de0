// The inactivity time-out: a silent server times out once, a slow but
// steady one never does. These take their time by nature (TimeOut 10 s).
#include "DownloadHarness.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

TEST(TimeOut, SilentServerTimesOutOnceAndIsNotRetried) {
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.WaitPeerClosed(120000); // never answers
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.TimeOut = 10;
    run.M.RetryCount = 3;
    const std::string url = server.Url("/silent.jpg");
    QElapsedTimer clock;
    clock.start();
    run.Add(url, BodyHandling::STORE_TO_FILE, "http://ref.example/");
    ASSERT_TRUE(RunUntil([&] { return !run.Errors.empty(); }, 60000));
    EXPECT_GE(clock.elapsed(), 9900);
    ASSERT_TRUE(run.RunToIdle());

    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Url, url);
    EXPECT_EQ(run.Errors[0].Code, 0u);
    EXPECT_EQ(run.Errors[0].Msg, "timed out: nothing received for 10 s");
    EXPECT_EQ(run.Errors[0].Referrer, "http://ref.example/");
    EXPECT_EQ(run.FailedKinds, std::vector<int>{0});
    EXPECT_EQ(run.M.Errors(), 1);
    EXPECT_EQ(run.M.Retries(), 0);
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(TimeOut, TrickleOfTenChunkGroupsNeverTimesOut) {
    // Three bursts of 20 small chunks, 5 s apart: more than 10 s in all,
    // but every group of ten chunks comes well within the 10 s time-out.
    std::string expected;
    for (int burst = 0; burst < 3; ++burst)
        for (int i = 0; i < 20; ++i)
            expected += "chunk " + std::to_string(burst) + "." + std::to_string(i) + ";";
    ScriptedServer server([](RawConnection& c) {
        if (c.ReadHead().empty()) return;
        c.Send(ResponseHead(200, {"Content-Type: image/jpeg"}));
        for (int burst = 0; burst < 3; ++burst) {
            if (burst > 0 && !c.Pause(5000)) return;
            for (int i = 0; i < 20; ++i) {
                if (!c.Send("chunk " + std::to_string(burst) + "." + std::to_string(i) + ";"))
                    return;
                c.Pause(40);
            }
        }
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.TimeOut = 10;
    QElapsedTimer clock;
    clock.start();
    run.Add(server.Url("/slow.jpg"));
    ASSERT_TRUE(RunUntil([&] { return !run.Received.empty() || !run.Errors.empty(); }, 60000));
    EXPECT_GT(clock.elapsed(), 10000);
    EXPECT_TRUE(run.Errors.empty());
    ASSERT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/slow.jpg"))), expected);
    EXPECT_EQ(server.Accepted(), 1);
}
