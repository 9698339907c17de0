// The renderer against pages of a local test server: pages built by their
// scripts, grown by scrolling, that never settle or never return, and the
// limits it keeps (no pictures, capacity, cancelling).
#include "render/WebPageRenderer.h"

#include "BuiltPage.h"
#include "EventLoop.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <optional>

namespace {

using Result = PageRenderer::Result;

class RenderTest : public ::testing::Test {
protected:
    // Renders one page and waits for its result.
    Result RenderOne(WebPageRenderer& renderer, const std::string& path, const std::string& html) {
        std::optional<Result> result;
        renderer.Render(Server.Url(path), html, [&](Result r) { result = std::move(r); });
        EXPECT_FALSE(result) << "done was called inside Render";
        EXPECT_TRUE(RunUntil([&] { return result.has_value(); }, 60000));
        return result.value_or(Result{.Html = {}, .Problem = "no result"});
    }

    static int Occurrences(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }

    TestHttpServer Server{100};
};

TEST_F(RenderTest, ScriptBuiltPageIsReadWithWhatItsScriptsAdded) {
    Server.Serve("/gallery/list.json", "application/json", R"(["a.jpg","b.jpg","c.jpg"])");
    WebPageRenderer renderer;
    renderer.Prepare({.Capacity = 2});
    const Result result = RenderOne(renderer, "/gallery/index.html", kBuiltPage);
    EXPECT_EQ(result.Problem, "");
    EXPECT_EQ(result.Html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(result.Html.find(R"(<a href="big/c.jpg"><img src="thumb/c.jpg"></a>)"),
              std::string::npos)
        << result.Html;
    // Resolved against the page's own address, and not refused as cross-origin.
    EXPECT_EQ(Server.Count("/gallery/list.json"), 1);
    EXPECT_EQ(Server.Count("/list.json"), 0);
    EXPECT_EQ(renderer.Pending(), 0);
}

TEST_F(RenderTest, ScriptErrorsLeaveTheDocumentReadable) {
    const Result result = [&] {
        WebPageRenderer renderer;
        renderer.Prepare({});
        return RenderOne(renderer, "/p.html", R"(<html><body><p id="x">before</p>
<script>document.getElementById('x').textContent = 'changed'; undefinedCall();</script>
<script>throw new Error('broken');</script>
<script>document.body.appendChild(document.createElement('hr'));</script></body></html>)");
    }();
    EXPECT_EQ(result.Problem, "");
    EXPECT_NE(result.Html.find("<p id=\"x\">changed</p>"), std::string::npos) << result.Html;
    EXPECT_NE(result.Html.find("<hr>"), std::string::npos);
}

// Each scroll to the end of the page fetches one more batch, up to `batches`.
std::string ScrollingPage(int batches) {
    return R"(<html><body style="margin:0"><div id="g"></div><script>
let next = 1, loading = false;
function more() {
  if (loading || next > )" +
           std::to_string(batches) + R"() return;
  loading = true;
  fetch('batch?n=' + next).then(r => r.text()).then(t => {
    const d = document.createElement('div'); d.style.height = '3000px'; d.textContent = t;
    document.getElementById('g').appendChild(d); ++next; loading = false;
  });
}
window.addEventListener('scroll', () => {
  if (window.scrollY + window.innerHeight >= document.body.scrollHeight - 100) more();
});
more();
</script></body></html>)";
}

TEST_F(RenderTest, ScrollingToTheEndLoadsMoreBatchesUpToTheScreenLimit) {
    Server.On("/batch", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("batch-" + req.get_param_value("n") + "-item", "text/plain");
    });
    {
        WebPageRenderer renderer;
        renderer.Prepare({});
        const Result result = RenderOne(renderer, "/scroll.html", ScrollingPage(4));
        EXPECT_EQ(result.Problem, "");
        for (int n = 1; n <= 4; ++n)
            EXPECT_NE(result.Html.find("batch-" + std::to_string(n) + "-item"), std::string::npos)
                << n;
    }
    {
        // A lazy loader watching the end of the list, and a frame callback.
        WebPageRenderer renderer;
        renderer.Prepare({});
        const Result result = RenderOne(renderer, "/observed.html", R"(<html><body>
<div id="g"></div><div id="end"></div><script>
let next = 1;
new IntersectionObserver(entries => {
  if (!entries.some(e => e.isIntersecting) || next > 3) return;
  fetch('batch?n=' + next++).then(r => r.text()).then(t => {
    const d = document.createElement('div'); d.style.height = '3000px'; d.textContent = t;
    document.getElementById('g').appendChild(d);
  });
}, { rootMargin: '200px' }).observe(document.getElementById('end'));
requestAnimationFrame(() => document.body.append('framed'));
</script></body></html>)");
        EXPECT_EQ(result.Problem, "");
        EXPECT_NE(result.Html.find("batch-3-item"), std::string::npos) << result.Html;
        EXPECT_NE(result.Html.find("framed"), std::string::npos);
    }
    {
        // Two scrolls: the first batch comes with the load, two more by scrolling.
        WebPageRenderer renderer({.TimeLimitMs = 15000, .MaxScreens = 2});
        renderer.Prepare({});
        const Result result = RenderOne(renderer, "/scroll.html", ScrollingPage(10));
        EXPECT_EQ(result.Problem, "");
        EXPECT_NE(result.Html.find("batch-3-item"), std::string::npos);
        EXPECT_EQ(result.Html.find("batch-4-item"), std::string::npos);
    }
}

TEST_F(RenderTest, PageThatNeverSettlesIsReadAsItStoodAtTheLimit) {
    // Limits of a few seconds leave room for a page process started under load.
    WebPageRenderer renderer({.TimeLimitMs = 6000});
    renderer.Prepare({});
    QElapsedTimer clock;
    clock.start();
    const Result result = RenderOne(renderer, "/busy.html", R"(<html><body><script>
setInterval(() => { const p = document.createElement('p'); p.className = 'tick';
  document.body.appendChild(p); }, 50);
</script></body></html>)");
    EXPECT_LE(clock.elapsed(), 12000);
    EXPECT_EQ(result.Problem, "page still changing after 6 s: read as it stood");
    EXPECT_GT(Occurrences(result.Html, "class=\"tick\""), 5);
}

TEST_F(RenderTest, ScriptThatNeverReturnsIsGivenUpAndTheNextPagesRender) {
    Server.Serve("/list.json", "application/json", R"(["z.jpg"])");
    WebPageRenderer renderer({.TimeLimitMs = 6000});
    renderer.Prepare({.Capacity = 1});
    for (const char* path : {"/stuck1.html", "/stuck2.html"}) {
        const Result stuck = RenderOne(renderer, path,
                                       "<html><body><p>text</p><script>while (true) {}</script>"
                                       "</body></html>");
        EXPECT_EQ(stuck.Html, "");
        EXPECT_EQ(stuck.Problem, "scripts did not finish in 6 s: read as fetched");
    }
    // Pages of the same site share a page process: the stuck one must be gone.
    const Result next = RenderOne(renderer, "/next.html", kBuiltPage);
    EXPECT_EQ(next.Problem, "");
    EXPECT_NE(next.Html.find("thumb/z.jpg"), std::string::npos);
}

TEST_F(RenderTest, NoPictureMediaFontOrIconIsRequested) {
    Server.Fallback([](const httplib::Request&, httplib::Response& res) {
        res.set_content("x", "application/octet-stream");
    });
    Server.Serve("/list.json", "application/json", R"(["a.jpg"])");
    WebPageRenderer renderer;
    renderer.Prepare({});
    const Result result = RenderOne(renderer, "/pictures.html", R"(<html><head>
<link rel="icon" href="/icon.png">
<style>@font-face { font-family: f; src: url(/font.woff2); }
body { font-family: f; background: url(/back.jpg); }</style></head>
<body><img src="/tag.jpg"><picture><source srcset="/source.webp"><img src="/p.jpg"></picture>
<video src="/clip.mp4" autoplay></video><audio src="/sound.mp3" autoplay></audio>
<script>new Image().src = '/script.jpg'; fetch('/list.json');</script>
</body></html>)");
    EXPECT_EQ(result.Problem, "");
    for (const auto& seen : Server.Requests())
        EXPECT_EQ(seen.Path, "/list.json");
    EXPECT_EQ(Server.Count("/list.json"), 1);
}

TEST_F(RenderTest, LargerPagesThanTheEngineTakesAreHandedBackEmpty) {
    WebPageRenderer renderer;
    renderer.Prepare({});
    // Spaces and brackets triple in the data address that carries the page.
    const std::string html = "<html><body>" + std::string(800 * 1024, '<') + "</body></html>";
    const Result result = RenderOne(renderer, "/big.html", html);
    EXPECT_EQ(result.Html, "");
    EXPECT_NE(result.Problem.find("page too large"), std::string::npos) << result.Problem;
}

// Pages whose data request waits at the gate until the test opens it. Each
// asks for its own address: the engine holds back a second request for an
// address already being fetched.
const char* const kWaitingPage =
    "<html><body><script>fetch('data?' + location.pathname).then(r => r.text()).then(t => "
    "{ document.body.append(t); });</script></body></html>";

TEST_F(RenderTest, NoMorePagesRunAtOnceThanTheCapacity) {
    Gate gate;
    Concurrency inFlight;
    Server.On("/data", [&](const httplib::Request&, httplib::Response& res) {
        inFlight.Enter();
        gate.Wait(20000);
        inFlight.Leave();
        res.set_content("data-done", "text/plain");
    });
    WebPageRenderer renderer;
    renderer.Prepare({.Capacity = 2});
    int done = 0;
    for (int i = 0; i < 5; ++i)
        renderer.Render(Server.Url("/page" + std::to_string(i) + ".html"), kWaitingPage,
                        [&](Result r) {
                            EXPECT_NE(r.Html.find("data-done"), std::string::npos);
                            ++done;
                        });
    EXPECT_EQ(renderer.Pending(), 5);
    ASSERT_TRUE(RunUntil([&] { return inFlight.Now() == 2; }));
    // The three others wait: none of their requests may come in meanwhile.
    EXPECT_FALSE(RunUntil([&] { return inFlight.Now() > 2; }, 1500));
    EXPECT_EQ(renderer.Pending(), 5);
    gate.Open();
    ASSERT_TRUE(RunUntil([&] { return done == 5; }, 60000));
    EXPECT_EQ(inFlight.Peak(), 2);
    EXPECT_EQ(renderer.Pending(), 0);
}

TEST_F(RenderTest, CancelledAndDestroyedRendersNeverAnswer) {
    Gate gate;
    Server.On("/data", [&](const httplib::Request&, httplib::Response& res) {
        gate.Wait(20000);
        res.set_content("data-done", "text/plain");
    });
    int cancelledDone = 0;
    {
        WebPageRenderer renderer;
        renderer.Prepare({.Capacity = 1});
        for (int i = 0; i < 3; ++i)
            renderer.Render(Server.Url("/page.html"), kWaitingPage,
                            [&](Result) { ++cancelledDone; });
        ASSERT_TRUE(RunUntil([&] { return Server.Count("/data") == 1; }));
        renderer.CancelAll();
        EXPECT_EQ(renderer.Pending(), 0);
        // Still usable: a later page renders and is the only one answered.
        Server.Serve("/list.json", "application/json", R"(["after.jpg"])");
        const Result after = RenderOne(renderer, "/after.html", kBuiltPage);
        EXPECT_NE(after.Html.find("after.jpg"), std::string::npos);
        // Destroyed while a page waits for its data.
        renderer.Render(Server.Url("/page.html"), kWaitingPage, [&](Result) { ++cancelledDone; });
        ASSERT_TRUE(RunUntil([&] { return Server.Count("/data") == 2; }));
    }
    gate.Open();
    RunFor(200); // let the dropped pages' last events through
    EXPECT_EQ(cancelledDone, 0);
}

} // namespace

TEST_F(RenderTest, DataRequestsGoThroughTheGivenProxy) {
    Server.Fallback([](const httplib::Request& req, httplib::Response& res) {
        if (req.target == "http://gallery.test/list.json")
            res.set_content(R"(["proxied.jpg"])", "application/json");
        else
            res.status = 404;
    });
    WebPageRenderer renderer;
    renderer.Prepare({.ProxyType = ProxyMode::PROXY_USEPROXY,
                      .ProxyAddress = "127.0.0.1",
                      .ProxyPort = Server.Port()});
    std::optional<Result> result;
    renderer.Render("http://gallery.test/index.html", kBuiltPage,
                    [&](Result r) { result = std::move(r); });
    ASSERT_TRUE(RunUntil([&] { return result.has_value(); }, 60000));
    EXPECT_NE(result->Html.find("thumb/proxied.jpg"), std::string::npos) << result->Html;
    renderer.Prepare({.ProxyType = ProxyMode::PROXY_DEFAULT});
}

TEST_F(RenderTest, PagesInTheirDeclaredCharsetAreReadAsText) {
    WebPageRenderer renderer;
    renderer.Prepare({});
    const Result result = RenderOne(
        renderer, "/latin.html",
        "<html><head><meta charset=\"windows-1252\"></head><body><p>caf\xe9</p></body></html>");
    EXPECT_NE(result.Html.find("<p>caf\xc3\xa9</p>"), std::string::npos) << result.Html;
}
