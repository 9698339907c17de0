// Scans that run each page's scripts first: what the scan reads, when it
// ends, how many pages render at once, and what a stop leaves in the journal.
#include "ScanHarness.h"
#include "engine/PageRenderer.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <map>

namespace {

// A renderer under the test's control. Each render answers at a later turn
// of the event loop (after DelayMs when set) with its entry in Answers, or
// the page unchanged; with Hold set, renders wait until cancelled.
class FakeRenderer : public PageRenderer {
public:
    std::map<std::string, Result> Answers; // by the address rendered
    bool Hold = false;
    int DelayMs = 0;
    std::vector<std::string> Rendered; // addresses, in call order
    int MostPending = 0;
    int Prepares = 0, Cancels = 0;
    Setup Prepared;

    void Prepare(const Setup& setup) override {
        Prepared = setup;
        ++Prepares;
    }
    void Render(const std::string& url, const std::string& html, Done done) override {
        Rendered.push_back(url);
        const int id = NextId_++;
        Pending_.push_back({id, url, html, std::move(done)});
        MostPending = std::max(MostPending, Pending());
        if (!Hold) Answer(id);
    }
    void CancelAll() override {
        Pending_.clear();
        ++Cancels;
    }
    int Pending() const override { return int(Pending_.size()); }

private:
    struct Entry {
        int Id;
        std::string Url, Html;
        Done Callback;
    };
    void Answer(int id) {
        QTimer::singleShot(DelayMs, &Context_, [this, id] {
            const auto it = std::find_if(Pending_.begin(), Pending_.end(),
                                         [id](const Entry& e) { return e.Id == id; });
            if (it == Pending_.end()) return; // cancelled
            Entry entry = std::move(*it);
            Pending_.erase(it);
            const auto answer = Answers.find(entry.Url);
            entry.Callback(answer != Answers.end() ? answer->second : Result{.Html = entry.Html});
        });
    }
    std::deque<Entry> Pending_;
    int NextId_ = 0;
    QObject Context_;
};

// The fetched index names raw.jpg and raw.html; its scripts build a
// document naming built.jpg and next.html instead.
const char* const kFetched = "<script>build()</script><a href=\"/raw.jpg\">x</a>"
                             "<a href=\"/raw.html\">x</a>";
const char* const kBuilt = "<a href=\"/built.jpg\">x</a><a href=\"/next.html\">x</a>";

void ScriptedSite(SiteServer& site) {
    site.Page("/index.html", kFetched);
    site.Page("/raw.html", "<a href=\"/raw-deep.jpg\">x</a>");
    site.Page("/next.html", "<a href=\"/deep.jpg\">x</a>");
    for (const char* f : {"/raw.jpg", "/raw-deep.jpg", "/built.jpg", "/deep.jpg"})
        site.File(f, "image/jpeg", std::string("JPEG ") + f);
}

struct RenderRun : ScanRun {
    FakeRenderer Renderer;
    int Ticks = 0;
    explicit RenderRun(const std::string& storage) : ScanRun(storage) {
        Grab.PageDownloader.QuietTicksBeforeIdle = 0;
        Grab.FileDownloader.QuietTicksBeforeIdle = 0;
        Grab.Renderer = &Renderer;
        Grab.SetRunPageScripts(true);
        Grab.TickHook = [this](ScanEngine&, bool closing) {
            ++Ticks;
            Grab.GrabberTick(closing);
        };
    }
};

} // namespace

// The rendered document is read, the fetched one stored; a problem is one
// page error line, and a page with no document left is read as fetched.
TEST(RenderScan, TheRenderedDocumentIsReadAndTheFetchedOneStored) {
    SiteServer site;
    ScriptedSite(site);
    site.Page("/robots.txt", "User-agent: *\n");
    TempDir dir;
    RenderRun run(dir.Path());
    run.Grab.SeekRobots = true;
    run.Grab.SetHtmlConcurrentDownloads(3);
    run.Grab.SetAgent("render-agent");
    const std::string why = "scripts still running after 15 s: read as it stood";
    run.Renderer.Answers[site.Url("/index.html")] = {.Html = kBuilt};
    run.Renderer.Answers[site.Url("/next.html")] = {.Html = "", .Problem = why};
    ASSERT_TRUE(run.Scan(site.Url("/index.html")));

    EXPECT_EQ(run.Renderer.Prepares, 1);
    EXPECT_EQ(run.Renderer.Prepared.Capacity, 3);
    EXPECT_EQ(run.Renderer.Prepared.Agent, "render-agent");
    // robots.txt is read as fetched.
    EXPECT_EQ(run.Renderer.Rendered, (std::vector<std::string>{site.Url("/index.html"),
                                                                site.Url("/next.html")}));
    EXPECT_EQ(site.Count("/built.jpg"), 1);
    EXPECT_EQ(site.Count("/deep.jpg"), 1) << "the built page's link was not followed";
    EXPECT_EQ(site.Count("/raw.jpg") + site.Count("/raw.html"), 0);
    EXPECT_EQ(ReadFile(dir.Sub(site.HostFolder() + "/index.html")), kFetched);
    EXPECT_EQ(run.PageErrors, std::vector<std::string>{"0 " + site.Url("/next.html")});
    EXPECT_FALSE(FileExists(dir.Sub(".tessellon/scan-journal"))) << "a finished scan's journal";
}

TEST(RenderScan, WithTheSettingOffOrNoRendererPagesAreReadAsFetched) {
    SiteServer site;
    ScriptedSite(site);
    for (const bool setting : {false, true}) {
        TempDir dir;
        RenderRun run(dir.Path());
        run.Grab.SetRunPageScripts(setting);
        if (setting) run.Grab.Renderer = nullptr;
        ASSERT_TRUE(run.Scan(site.Url("/index.html")));
        EXPECT_EQ(run.Renderer.Prepares + int(run.Renderer.Rendered.size()), 0);
        EXPECT_TRUE(run.HasLink("jpg " + site.Url("/raw-deep.jpg"))) << setting;
    }
}

// A held render keeps the scan going; a stop drops it and the journal keeps
// the page to do.
TEST(RenderScan, AHeldRenderKeepsTheScanGoingAndAStopKeepsItsPageToDo) {
    SiteServer site;
    ScriptedSite(site);
    TempDir dir;
    RenderRun run(dir.Path());
    run.Renderer.Hold = true;
    const std::string index = site.Url("/index.html");
    ASSERT_TRUE(run.Grab.StartScan(index));
    ASSERT_TRUE(RunUntil([&] { return run.Renderer.Pending() == 1; }));
    const int ticks = run.Ticks;
    ASSERT_TRUE(RunUntil([&] { return run.Ticks >= ticks + 3; }));
    EXPECT_TRUE(run.Grab.IsWorking()) << "the scan ended while a page was rendering";

    run.Grab.StopScan();
    EXPECT_EQ(run.Renderer.Cancels, 1);
    ASSERT_TRUE(RunUntil([&] { return !run.Grab.IsWorking(); }));
    EXPECT_TRUE(run.Links.empty());
    JournalState state;
    std::string why;
    ASSERT_TRUE(ScanJournal::Load(dir.Path() + "/", index, state, why)) << why;
    EXPECT_TRUE(state.DonePages.empty());
    ASSERT_EQ(state.PendingPages.size(), 1U);
    EXPECT_EQ(state.PendingPages[0].Url, index);
}

TEST(RenderScan, RendersAndTransfersTogetherStayWithinThePageSlots) {
    SiteServer site;
    std::string index;
    for (int i = 0; i < 12; ++i) {
        const std::string page = "/p" + std::to_string(i) + ".html";
        index += "<a href=\"" + page + "\">x</a>";
        site.Page(page, "<a href=\"/pic" + std::to_string(i) + ".jpg\">x</a>");
        site.File("/pic" + std::to_string(i) + ".jpg", "image/jpeg", "JPEG");
    }
    site.Page("/index.html", index);
    TempDir dir;
    RenderRun run(dir.Path());
    run.Grab.SetHtmlConcurrentDownloads(3);
    run.Renderer.DelayMs = 15; // renders outlast the transfers
    ASSERT_TRUE(run.Scan(site.Url("/index.html")));
    EXPECT_EQ(run.Renderer.Rendered.size(), 13U);
    EXPECT_LE(run.Renderer.MostPending, 3);
    EXPECT_EQ(FilesUnder(dir.Sub(site.HostFolder())).size(), 25U);
}
