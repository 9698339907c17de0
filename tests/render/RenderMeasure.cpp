// Figures, not checks: run with --gtest_also_run_disabled_tests
// --gtest_filter='*Measure*'. Time per page and the memory of this process
// and its helper processes (the engine's renderers) over a long run.
#include "render/WebPageRenderer.h"

#include "BuiltPage.h"
#include "EventLoop.h"
#include "ProcessTree.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

TEST(RenderMeasure, DISABLED_TimePerPageAndMemoryOverALongScan) {
    TestHttpServer server(100);
    server.Fallback([](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"(["a.jpg","b.jpg","c.jpg","d.jpg"])", "application/json");
    });
    WebPageRenderer renderer;
    renderer.Prepare({.Capacity = 1});
    std::vector<qint64> times;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        bool done = false;
        renderer.Render(server.Url("/p" + std::to_string(i) + "/index.html"), kBuiltPage,
                        [&](PageRenderer::Result r) {
                            EXPECT_NE(r.Html.find("thumb/d.jpg"), std::string::npos)
                                << i << r.Problem << r.Html;
                            done = true;
                        });
        ASSERT_TRUE(RunUntil([&] { return done; }, 60000));
        times.push_back(clock.elapsed());
    }
    std::sort(times.begin(), times.end());
    std::printf("ms per page, one at a time: median %lld, min %lld, max %lld\n",
                (long long)times[times.size() / 2], (long long)times.front(),
                (long long)times.back());

    renderer.Prepare({.Capacity = 4});
    long peak = 0;
    int peakProcesses = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const ProcessTree tree = ProcessTree::Now();
        peak = std::max(peak, tree.RssKb);
        peakProcesses = std::max(peakProcesses, tree.Processes);
    });
    sample.start(100);
    int done = 0;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 50; ++i)
            renderer.Render(server.Url("/q" + std::to_string(round * 50 + i) + "/index.html"),
                            kBuiltPage, [&](PageRenderer::Result) { ++done; });
        ASSERT_TRUE(RunUntil([&] { return done == (round + 1) * 50; }, 300000));
        const ProcessTree tree = ProcessTree::Now();
        std::printf("after %d pages: %ld MB in %d processes (peak so far %ld MB)\n", done,
                    tree.RssKb / 1024, tree.Processes, peak / 1024);
    }
    std::printf("200 pages at capacity 4: %lld ms, %lld ms per page; peak %ld MB in at most %d "
                "processes\n",
                (long long)clock.elapsed(), (long long)clock.elapsed() / 200, peak / 1024,
                peakProcesses);
}
