// Throughput of page processing on large, link-dense gallery pages: the whole
// ProcessPage pipeline, and normalisation and tag marking on their own.
// Real pages too: every .html file under a folder (TESSELLON_BENCH_HTML, by
// default Debian's python3.11-doc), processed by one scan core as a crawl of
// that site would, and, when built with gumbo, parsed by gumbo with the
// links collected from the tree, as a baseline.
#include "crawl/HtmlMarkup.h"
#include "crawl/PageProcessor.h"
#include "crawl/ResponsiveImages.h"

#include <benchmark/benchmark.h>

#ifdef TESSELLON_BENCH_GUMBO
#include <gumbo.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kPageUrl = "http://www.example.com/gallery/index.html";

void Appendf(std::string& out, const char* fmt, long a, long b = 0) {
    char buf[256];
    const int n = std::snprintf(buf, sizeof buf, fmt, a, b);
    out.append(buf, std::size_t(n));
}

// A gallery index of about `bytes` bytes: rows of thumbnails linked to their
// pictures, with text, sub-page links (relative and absolute), repeated
// links, external pictures, scripts and table breaks mixed in.
std::string MakeGalleryPage(std::size_t bytes) {
    std::string page;
    page.reserve(bytes + 4096);
    page += "<html><head><title>Gallery</title>\n"
            "<meta name=\"keywords\" content=\"pictures, gallery, photos\">\n"
            "<link rel=stylesheet href=\"/css/site.css\"></head>\n"
            "<body bgcolor=\"#ffffff\">\n<h1>Pictures</h1>\n<table border=0 cellpadding=4>\n";
    for (long i = 0; page.size() < bytes; ++i) {
        Appendf(page,
                "<tr><td><a href=\"pics/big_%05ld.jpg\"><img src=\"thumbs/t_%05ld.jpg\" "
                "alt=\"\" width=120 height=90></a></td>\n",
                i, i);
        Appendf(page, "<td><A HREF='/gallery/set%ld/page%ld.html'>Set</A></td></tr>\n", i % 97,
                i / 97);
        if (i % 7 == 0)
            Appendf(page,
                    "<tr><td><a href=\"http://www.example.com/gallery/pics/big_%05ld.jpg\">"
                    "same picture</a> <a href=\"pics/big_%05ld.jpg\">again</a></td></tr>\n",
                    i / 2, i / 2);
        if (i % 10 == 0)
            page += "<tr><td colspan=2><p>Taken on a long walk along the coast, early in the "
                    "morning, with the light low over the water and the boats still moored "
                    "in the harbour. More pictures of the same day follow on the next "
                    "pages, sorted by the time they were taken.</p></td></tr>\n";
        if (i % 13 == 0)
            Appendf(page,
                    "<tr><td><a href=\"http://cdn%ld.example.net/img/p%ld.png\">"
                    "<img src=\"http://cdn.example.net/s/p.png\" border=0></a></td></tr>\n",
                    i % 5, i);
        if (i % 20 == 0) page += "</table>\n<table border=0 cellpadding=4>\n";
        if (i % 50 == 0)
            Appendf(page,
                    "<script language=\"JavaScript\">\nfunction openwin(u){ "
                    "window.open(u,'w','width=640,height=480'); }\n"
                    "document.write('<a href=\"javascript:openwin(pics/big_%05ld.jpg)\">"
                    "zoom</a>');\n</script>\n<a href=\"mailto:owner%ld@example.com\">mail</a>\n",
                    i, i % 3);
    }
    page += "</table></body></html>\n";
    return page;
}

const std::string& Page(std::size_t bytes) {
    static std::map<std::size_t, std::string> pages;
    auto it = pages.find(bytes);
    if (it == pages.end()) it = pages.emplace(bytes, MakeGalleryPage(bytes)).first;
    return it->second;
}

// Normalise, mark, close areas, extract, resolve, filter and dedupe body as a
// first page, on a fresh scan core each time (empty visited list); reports
// bytes per second and the links of the last pass.
void ProcessFreshPages(benchmark::State& state, const std::string& body, bool modern = false) {
    long links = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PageProcessor core;
        core.ModernMarkup = modern;
        PageInfo page;
        page.Url = kPageUrl;
        page.ReferringUrl = kPageUrl;
        page.Body = body;
        page.DepthLevel = 1;
        page.Parts.Split(kPageUrl, "");
        links = 0;
        core.OnLinkFound = [&links](Component*, FoundLink& lf) {
            benchmark::DoNotOptimize(lf.UrlFound.data());
            ++links;
        };
        state.ResumeTiming();
        core.ProcessPage(page);
        benchmark::DoNotOptimize(core.KnownHosts.Count());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(body.size()));
    state.counters["links"] = double(links);
}

void ProcessPageBench(benchmark::State& state) {
    ProcessFreshPages(state, Page(std::size_t(state.range(0))));
}

// A gallery of about `bytes` bytes in today's markup: responsive thumbnails
// (some linked, most not) with width and density candidates, pictures with
// sources, lazy-loaded images and cards with data attributes.
std::string MakeSrcsetPage(std::size_t bytes) {
    std::string page;
    page.reserve(bytes + 4096);
    page += "<!doctype html><html><head><title>Gallery</title>\n"
            "<meta property=\"og:image\" content=\"https://www.example.com/og/cover.jpg\">\n"
            "<link rel=\"image_src\" href=\"/share/cover.jpg\"></head>\n<body><main>\n";
    for (long i = 0; page.size() < bytes; ++i) {
        Appendf(page,
                "<figure class=\"card\"><img src=\"/t/%05ld-320.jpg\" loading=\"lazy\"\n"
                "  srcset=\"/t/%05ld-320.jpg 320w,\n",
                i, i);
        Appendf(page, "          /p/%05ld-640.jpg 640w,\n          /p/%05ld-1280.jpg 1280w\"\n", i,
                i);
        Appendf(page,
                "  sizes=\"(max-width: 640px) 100vw, 320px\" alt=\"Picture %ld\">"
                "<figcaption>Picture %ld</figcaption></figure>\n",
                i, i);
        if (i % 3 == 0)
            Appendf(page,
                    "<a href=\"/view/%05ld.html\"><picture>"
                    "<source type=\"image/webp\" srcset=\"/w/%05ld.webp 1x, /w/%05ld@2x.webp 2x\">",
                    i, i);
        if (i % 3 == 0) Appendf(page, "<img src=\"/w/%05ld.jpg\" alt=\"\"></picture></a>\n", i);
        if (i % 5 == 0)
            Appendf(page,
                    "<div class=\"lazy\" data-src=\"/l/%05ld.jpg\" "
                    "data-srcset=\"/l/%05ld.jpg 1x\"></div>\n",
                    i, i);
        if (i % 10 == 0)
            page += "<p class=\"note\">Taken on a long walk along the coast, early in the "
                    "morning, with the light low over the water.</p>\n";
    }
    page += "</main></body></html>\n";
    return page;
}

// The same srcset-dense page with the pictures of today's markup read or not.
void ModernMarkupBench(benchmark::State& state, bool modern) {
    static const std::string page = MakeSrcsetPage(std::size_t(state.range(0)));
    ProcessFreshPages(state, page, modern);
}

// The same pictures written the older way (every candidate a SRC, every
// unlinked thumbnail inside a link to its largest picture), read with the
// setting off: against "on", the cost of reading today's markup itself, the
// links being the same.
void ModernMarkupEquivalentBench(benchmark::State& state) {
    static const std::string page = [&] {
        std::string older;
        RewriteModernMarkup(MakeSrcsetPage(std::size_t(state.range(0))), older);
        return older;
    }();
    ProcessFreshPages(state, page, false);
}

// The older gallery page, which holds none of it: the cost of looking.
void ModernMarkupOnOldPageBench(benchmark::State& state, bool modern) {
    ProcessFreshPages(state, Page(std::size_t(state.range(0))), modern);
}

void NormalizeHtmlBench(benchmark::State& state) {
    const std::string& body = Page(std::size_t(state.range(0)));
    for (auto _ : state) {
        std::string text = NormalizeHtml(body, true, false);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(body.size()));
}

void MarkTagsBench(benchmark::State& state) {
    const std::string normal = NormalizeHtml(Page(std::size_t(state.range(0))), true, false);
    std::string text;
    for (auto _ : state) {
        state.PauseTiming();
        text = normal;
        state.ResumeTiming();
        benchmark::DoNotOptimize(MarkTags(text));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(normal.size()));
}

// A page of `links` links, each to a host of its own, with the host names in
// ascending or descending order. Every link names a new host, so the cost of
// entering hosts shows whatever the order: a list kept sorted by inserting
// each new name in place moves the whole list for every name of a descending
// page.
std::string MakeManyHostsPage(long links, bool descending) {
    std::string page = "<html><body>\n";
    page.reserve(std::size_t(links) * 48 + 64);
    for (long i = 0; i < links; ++i)
        Appendf(page, "<a href=\"http://h%06ld.example.com/p.jpg\">x</a>\n",
                descending ? links - 1 - i : i);
    page += "</body></html>\n";
    return page;
}

void ManyHostsBench(benchmark::State& state, bool descending) {
    ProcessFreshPages(state, MakeManyHostsPage(state.range(0), descending));
}

constexpr long kKiB = 1024, kMiB = 1024 * 1024;

} // namespace

// One page linking 200 000 distinct hosts: the time must not depend on the
// order the hosts come in.
BENCHMARK_CAPTURE(ManyHostsBench, ascending, false)
    ->Name("ManyHosts/ascending")
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ManyHostsBench, descending, true)
    ->Name("ManyHosts/descending")
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(ProcessPageBench)
    ->Name("ProcessPage")
    ->Arg(2 * kMiB)
    ->Arg(8 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Today's markup read against ignored, on a page dense with srcset.
BENCHMARK_CAPTURE(ModernMarkupBench, off, false)
    ->Name("ModernMarkup/off")
    ->Arg(4 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ModernMarkupBench, on, true)
    ->Name("ModernMarkup/on")
    ->Arg(4 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ModernMarkupEquivalentBench)
    ->Name("ModernMarkup/same-links-older-markup")
    ->Arg(4 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ModernMarkupOnOldPageBench, off, false)
    ->Name("ModernMarkup/old-page/off")
    ->Arg(4 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ModernMarkupOnOldPageBench, on, true)
    ->Name("ModernMarkup/old-page/on")
    ->Arg(4 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(NormalizeHtmlBench)
    ->Name("NormalizeHtml")
    ->Arg(2 * kMiB)
    ->Arg(8 * kMiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(MarkTagsBench)
    ->Name("MarkTags")
    ->Arg(2 * kMiB)
    ->Arg(8 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Page size against time: with a linear pipeline bytes/s stays flat.
BENCHMARK(ProcessPageBench)
    ->Name("ProcessPage/scaling")
    ->RangeMultiplier(4)
    ->Range(256 * kKiB, 16 * kMiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

namespace {

constexpr const char* kDefaultHtmlDir = "/usr/share/doc/python3.11/html";

struct RealPage {
    std::string Url;
    std::string Body;
};

struct RealSite {
    std::string Folder;
    std::vector<RealPage> Pages;
    std::int64_t Bytes = 0;
};

RealSite& LoadRealSite() {
    static RealSite site;
    return site;
}

// Every .html file under folder, in path order, as pages of a made-up host.
void LoadRealSite(const std::string& folder) {
    namespace fs = std::filesystem;
    RealSite& site = LoadRealSite();
    site.Folder = folder;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().extension() == ".html")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        RealPage page;
        page.Url = "http://docs.example.com/" + fs::relative(f, folder, ec).generic_string();
        page.Body = body.str();
        site.Bytes += std::int64_t(page.Body.size());
        site.Pages.push_back(std::move(page));
    }
}

// One scan core takes every page in turn, as during a crawl of the site:
// the visited list grows and repeated links are dropped.
// With modern set, the pictures of today's markup are read as well.
void RealPagesProcessBench(benchmark::State& state, bool modern) {
    const RealSite& site = LoadRealSite();
    long links = 0;
    std::vector<PageInfo> pages(site.Pages.size());
    for (auto _ : state) {
        state.PauseTiming();
        PageProcessor core;
        core.ModernMarkup = modern;
        links = 0;
        core.OnLinkFound = [&links](Component*, FoundLink& lf) {
            benchmark::DoNotOptimize(lf.UrlFound.data());
            ++links;
        };
        for (std::size_t i = 0; i < pages.size(); ++i) {
            PageInfo& page = pages[i];
            page = PageInfo{};
            page.Url = site.Pages[i].Url;
            page.ReferringUrl = site.Pages.front().Url;
            page.Body = site.Pages[i].Body;
            page.DepthLevel = 2;
            page.Parts.Split(page.Url, "");
        }
        state.ResumeTiming();
        for (PageInfo& page : pages)
            core.ProcessPage(page);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * site.Bytes);
    state.counters["pages"] = double(site.Pages.size());
    state.counters["links"] = double(links);
}

#ifdef TESSELLON_BENCH_GUMBO
// The values of the attributes that carry links, from every element of the tree.
void CollectLinks(const GumboNode* node, std::vector<std::string>& links) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return;
    const GumboElement& e = node->v.element;
    static const char* const kLinkAttributes[] = {"href",   "src",      "background", "data",
                                                  "action", "longdesc", "usemap"};
    for (unsigned i = 0; i < e.attributes.length; ++i) {
        const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
        for (const char* name : kLinkAttributes)
            if (std::strcmp(a->name, name) == 0) {
                links.emplace_back(a->value);
                break;
            }
    }
    for (unsigned i = 0; i < e.children.length; ++i)
        CollectLinks(static_cast<const GumboNode*>(e.children.data[i]), links);
}

void RealPagesGumboBench(benchmark::State& state) {
    const RealSite& site = LoadRealSite();
    std::vector<std::string> links;
    for (auto _ : state) {
        links.clear();
        for (const RealPage& page : site.Pages) {
            GumboOutput* out =
                gumbo_parse_with_options(&kGumboDefaultOptions, page.Body.data(), page.Body.size());
            CollectLinks(out->root, links);
            gumbo_destroy_output(&kGumboDefaultOptions, out);
        }
        benchmark::DoNotOptimize(links.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * site.Bytes);
    state.counters["pages"] = double(site.Pages.size());
    state.counters["links"] = double(links.size());
}
#endif

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const char* dir = std::getenv("TESSELLON_BENCH_HTML");
    LoadRealSite(dir != nullptr && *dir != '\0' ? dir : kDefaultHtmlDir);
    const RealSite& site = LoadRealSite();
    if (site.Pages.empty()) {
        std::fprintf(stderr,
                     "real pages skipped: no .html files under %s (apt-get install "
                     "python3.11-doc, or set TESSELLON_BENCH_HTML)\n",
                     site.Folder.c_str());
    } else {
        std::fprintf(stderr, "real pages: %zu files, %.1f MB under %s\n", site.Pages.size(),
                     double(site.Bytes) / 1e6, site.Folder.c_str());
        for (const bool modern : {false, true})
            benchmark::RegisterBenchmark(modern ? "RealPages/ProcessPage/modern-markup"
                                                : "RealPages/ProcessPage",
                                         RealPagesProcessBench, modern)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(2.0)
                ->UseRealTime();
#ifdef TESSELLON_BENCH_GUMBO
        benchmark::RegisterBenchmark("RealPages/GumboLinks", RealPagesGumboBench)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
#else
        std::fprintf(stderr, "gumbo baseline skipped: built without gumbo (apt-get install "
                             "libgumbo-dev, then configure again)\n");
#endif
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
