// Throughput of page processing on large, link-dense gallery pages: the whole
// ProcessPage pipeline, and normalisation and tag marking on their own.
#include "HtmlMarkup.h"
#include "ScanCore.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

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

// Normalise, mark, close areas, extract, resolve, filter and dedupe, on a
// fresh scan core each time (empty visited list, as for a first page).
void ProcessPageBench(benchmark::State& state) {
    const std::string& body = Page(std::size_t(state.range(0)));
    long links = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TScanCore core;
        TPageInfo page;
        page.Url = kPageUrl;
        page.ReferringUrl = kPageUrl;
        page.Body = body;
        page.DepthLevel = 1;
        page.Parts.Crack(kPageUrl, "");
        links = 0;
        core.OnLinkFound = [&links](TComponent*, TLinkFound& lf) {
            benchmark::DoNotOptimize(lf.UrlFound.data());
            ++links;
        };
        state.ResumeTiming();
        core.ProcessPage(page);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(body.size()));
    state.counters["links"] = double(links);
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

constexpr long kKiB = 1024, kMiB = 1024 * 1024;

} // namespace

BENCHMARK(ProcessPageBench)->Name("ProcessPage")->Arg(2 * kMiB)->Arg(8 * kMiB)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(NormalizeHtmlBench)->Name("NormalizeHtml")->Arg(2 * kMiB)->Arg(8 * kMiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(MarkTagsBench)->Name("MarkTags")->Arg(2 * kMiB)->Arg(8 * kMiB)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
// Page size against time: with a linear pipeline bytes/s stays flat.
BENCHMARK(ProcessPageBench)->Name("ProcessPage/scaling")->RangeMultiplier(4)
    ->Range(256 * kKiB, 16 * kMiB)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
