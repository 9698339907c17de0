#include "DemoSite.h"

#include "demo/DemoPictures.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

const char* const kDemoClipPath = "/gallery/media/clip.mpg";
const char* const kDemoOtherSite = "http://localhost:1/";

namespace {

const char* const kMailLink = "mailto:gallery@example.invalid";

std::string PairNumber(const DemoOptions& o, int pair) {
    std::string n = std::to_string(pair);
    const std::size_t width = o.Pairs >= 100 ? 3 : 2;
    if (n.size() < width) n.insert(0, width - n.size(), '0');
    return n;
}

std::string Label(const DemoOptions& o, int page, int pair) {
    return std::to_string(page) + "-" + PairNumber(o, pair);
}

// Different for every picture, the same on every run.
std::uint64_t Seed(int page, int pair, int kind) {
    return (std::uint64_t(page) << 32) ^ (std::uint64_t(pair) << 8) ^ std::uint64_t(kind);
}

// Paths inside the gallery folder, as the pages write them.
std::string Relative(const std::string& path) {
    return path.substr(std::string("/gallery/").size());
}

std::string Head(const std::string& title, const std::string& extra = {}) {
    return "<!DOCTYPE html>\n<html><head><title>" + title + "</title>\n<meta charset=\"utf-8\">" +
           extra + "</head><body>\n<h1>" + title + "</h1>\n";
}

const char* const kTail = "</body></html>\n";

std::string IndexPage(const DemoOptions& o) {
    std::string html = Head("Tessellon demo gallery");
    html += "<p>" + std::to_string(o.Pages) + " pages of " + std::to_string(o.Pairs) +
            " pictures each.</p>\n<ul>\n";
    for (int p = 1; p <= o.Pages; ++p)
        html += "<li><a href=\"" + DemoPagePath(p).substr(1) + "\">Gallery page " +
                std::to_string(p) + "</a></li>\n";
    html += "</ul>\n<p>\n";
    html += "<a href=\"private/index.html\">Staff only (robots keep out)</a>\n";
    html += std::string("<a href=\"") + kMailLink + "\">Write to the gallery</a>\n";
    html += std::string("<a href=\"") + kDemoOtherSite + "\">Another gallery elsewhere</a>\n";
    html += "</p>\n";
    return html + kTail;
}

// A 1x1 transparent GIF: what a lazy-loading page shows until its script
// swaps in the real picture.
const char* const kPlaceholder =
    "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7";

// One thumbnail of a modern page, never inside a link: in turn an IMG whose
// srcset offers the full-size picture by width, a PICTURE whose IMG offers
// it by pixel density, and a lazily loaded IMG whose real addresses wait in
// data-src and data-srcset.
std::string ModernThumbnail(const DemoOptions& o, int page, int pair) {
    const std::string thumb = Relative(DemoThumbPath(o, page, pair));
    const std::string full = Relative(DemoFullPath(o, page, pair));
    const std::string byWidth = thumb + " " + std::to_string(o.ThumbWidth) + "w, " + full + " " +
                                std::to_string(o.FullWidth) + "w";
    const std::string size = " alt=\"\" width=\"" + std::to_string(o.ThumbWidth) + "\" height=\"" +
                             std::to_string(DemoThumbHeight(o)) + "\"";
    const std::string sizes = " sizes=\"" + std::to_string(o.ThumbWidth) + "px\"";
    switch (pair % 3) {
    case 1:
        return "<img src=\"" + thumb + "\" srcset=\"" + byWidth + "\"" + sizes + size +
               " loading=\"lazy\">\n";
    case 2:
        return "<picture>\n  <source media=\"(min-width: 60em)\" srcset=\"" + byWidth + "\"" +
               sizes + ">\n  <img src=\"" + thumb + "\" srcset=\"" + thumb + " 1x, " + full +
               " 2x\"" + size + ">\n</picture>\n";
    default:
        return "<img class=\"lazyload\" src=\"" + std::string(kPlaceholder) + "\" data-src=\"" +
               thumb + "\" data-srcset=\"" + byWidth + "\" data-sizes=\"auto\"" + size + ">\n";
    }
}

// One thumbnail of a plain page, inside the link to its full-size picture.
std::string PlainThumbnail(const DemoOptions& o, int page, int pair) {
    return "<a href=\"" + Relative(DemoFullPath(o, page, pair)) + "\"><img src=\"" +
           Relative(DemoThumbPath(o, page, pair)) + "\" alt=\"\" width=\"" +
           std::to_string(o.ThumbWidth) + "\"></a>\n";
}

// A scripted page's tiles have a fixed height, and the box of the first
// batch is taller than a screen whatever the number of pairs, so that the
// sentinel below it comes into view only when the page is scrolled.
const char* const kScriptedStyle = "\n<style>\n"
                                   "#first, #later, #sentinel { display: block; }\n"
                                   "#first { min-height: 150vh; }\n"
                                   "#sentinel { height: 1px; }\n"
                                   "#first a, #later a { display: block; height: 240px; }\n"
                                   "</style>\n";

// Where the scripted page's thumbnails go: the first batch, the sentinel
// whose coming into view adds the second, and the second batch.
const char* const kScriptedBoxes = "<span id=\"first\">\n</span>\n"
                                   "<span id=\"sentinel\"></span>\n"
                                   "<span id=\"later\">\n</span>\n";

// The scripted page's loader: fetches the page's list (LIST stands for its
// address) and adds the plain markup of each pair, one anchor a line as in a
// plain page; the second batch waits until the sentinel is in view, noticed
// by an IntersectionObserver or, where there is none or it stays silent, on
// scroll.
const char* const kScriptedLoader = R"js(<script>
(function () {
  function add(box, pairs, width) {
    pairs.forEach(function (pair) {
      var link = document.createElement("a");
      link.setAttribute("href", pair.full);
      var thumb = document.createElement("img");
      thumb.setAttribute("src", pair.thumb);
      thumb.setAttribute("alt", "");
      thumb.setAttribute("width", String(width));
      link.appendChild(thumb);
      box.appendChild(link);
      box.appendChild(document.createTextNode("\n"));
    });
  }
  fetch("LIST").then(function (answer) {
    return answer.json();
  }).then(function (list) {
    add(document.getElementById("first"), list.atOnce, list.thumbWidth);
    var sentinel = document.getElementById("sentinel");
    var observer = null;
    function more() {
      if (!sentinel || sentinel.getBoundingClientRect().top > window.innerHeight) return;
      sentinel = null;
      window.removeEventListener("scroll", more);
      if (observer) observer.disconnect();
      add(document.getElementById("later"), list.onScroll, list.thumbWidth);
    }
    if ("IntersectionObserver" in window) {
      observer = new IntersectionObserver(more);
      observer.observe(sentinel);
    }
    window.addEventListener("scroll", more);
  });
})();
</script>
)js";

std::string ScriptedLoader(int page) {
    std::string script = kScriptedLoader;
    return script.replace(script.find("LIST"), 4, Relative(DemoListPath(page)));
}

// The list a scripted page fetches: its pairs' addresses relative to the
// page, the first half under "atOnce", the rest under "onScroll".
std::string PairList(const DemoOptions& o, int page) {
    const int atOnce = (o.Pairs + 1) / 2;
    const auto batch = [&](int from, int to) {
        std::string items;
        for (int k = from; k <= to; ++k)
            items += std::string(k == from ? "\n" : ",\n") + "  {\"thumb\": \"" +
                     Relative(DemoThumbPath(o, page, k)) + "\", \"full\": \"" +
                     Relative(DemoFullPath(o, page, k)) + "\"}";
        return "[" + items + "\n]";
    };
    return "{\"thumbWidth\": " + std::to_string(o.ThumbWidth) +
           ",\n\"atOnce\": " + batch(1, atOnce) + ",\n\"onScroll\": " + batch(atOnce + 1, o.Pairs) +
           "}\n";
}

std::string GalleryPage(const DemoOptions& o, int page) {
    const std::string n = std::to_string(page);
    const std::string poster = o.Modern ? "\n<meta property=\"og:image\" content=\"" +
                                              Relative(DemoPosterPath(page)) + "\">\n"
                                        : std::string();
    std::string html = Head("Demo gallery, page " + n + " of " + std::to_string(o.Pages),
                            o.Scripted ? kScriptedStyle : poster);
    html += "<p>\n";
    if (page > 1)
        html += "<a href=\"page" + std::to_string(page - 1) + ".html\">Previous page</a>\n";
    if (page < o.Pages)
        html += "<a href=\"page" + std::to_string(page + 1) + ".html\">Next page</a>\n";
    html += "<a href=\"../index.html\">All pages</a>\n</p>\n<p>\n";
    if (o.Scripted) {
        html += kScriptedBoxes;
    } else {
        for (int k = 1; k <= o.Pairs; ++k)
            html += o.Modern ? ModernThumbnail(o, page, k) : PlainThumbnail(o, page, k);
    }
    html += "</p>\n<p>\n";
    // The modern page names its poster only as its og:image, in the head;
    // the scripted page names no picture at all.
    if (!o.Modern && !o.Scripted)
        html += "<a href=\"" + Relative(DemoPosterPath(page)) + "\">Poster of page " + n +
                ", full size</a>\n";
    html += "<a href=\"" + Relative(kDemoClipPath) + "\">A short clip (MPEG video)</a>\n";
    html += "</p>\n<p>\n";
    html += std::string("<a href=\"") + kMailLink + "\">Write to the gallery</a>\n";
    html += std::string("<a href=\"") + kDemoOtherSite + "gallery/page" + n +
            ".html\">The same page on a mirror</a>\n";
    html += "</p>\n";
    if (o.Scripted) html += ScriptedLoader(page);
    return html + kTail;
}

std::string PrivatePage() {
    return Head("Staff only") + "<p>Nothing for robots here.</p>\n" +
           "<p>\n<a href=\"../index.html\">Back to the gallery</a>\n</p>\n" + kTail;
}

const char* const kRobots = "User-agent: *\n"
                            "Disallow: /private/\n";

void CheckOptions(const DemoOptions& o) {
    auto check = [](bool ok, const char* what) {
        if (!ok) throw std::invalid_argument(std::string("demo gallery: ") + what);
    };
    check(o.Pages >= 1 && o.Pages <= 9999, "pages must be from 1 to 9999");
    check(o.Pairs >= 1 && o.Pairs <= 999, "pairs must be from 1 to 999");
    check(o.FullWidth >= 32 && o.FullWidth <= 8192, "full width must be from 32 to 8192");
    check(o.FullHeight >= 32 && o.FullHeight <= 8192, "full height must be from 32 to 8192");
    check(o.ThumbWidth >= 8 && o.ThumbWidth <= o.FullWidth,
          "thumbnail width must be from 8 to the full width");
    check(o.Quality >= 1 && o.Quality <= 100, "quality must be from 1 to 100");
    check(!(o.Modern && o.Scripted), "the modern and the scripted pages cannot be combined");
}

using SiteEntry = std::pair<std::string, DemoFile>;

// Runs every job on all cores; the first failure is thrown once all have stopped.
void RunJobs(const std::vector<std::function<void()>>& jobs) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            try {
                jobs[i]();
            } catch (...) {
                std::lock_guard lock(failureLock);
                if (!failure) failure = std::current_exception();
                next = jobs.size();
            }
        }
    };
    const std::size_t threads =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), jobs.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace

std::string DemoPagePath(int page) {
    return "/gallery/page" + std::to_string(page) + ".html";
}

std::string DemoListPath(int page) {
    return "/gallery/page" + std::to_string(page) + ".json";
}

std::string DemoFullPath(const DemoOptions& o, int page, int pair) {
    return "/gallery/pics/full_" + std::to_string(page) + "_" + PairNumber(o, pair) + ".jpg";
}

std::string DemoThumbPath(const DemoOptions& o, int page, int pair) {
    return "/gallery/thumbs/thumb_" + std::to_string(page) + "_" + PairNumber(o, pair) +
           (DemoThumbIsGif(pair) ? ".gif" : ".jpg");
}

std::string DemoPosterPath(int page) {
    return "/gallery/pics/poster_" + std::to_string(page) + ".jpg";
}

int DemoThumbHeight(const DemoOptions& o) {
    return std::max(
        1, int((std::int64_t(o.ThumbWidth) * o.FullHeight + o.FullWidth / 2) / o.FullWidth));
}

bool DemoThumbIsGif(int pair) {
    return pair % 5 == 0;
}

std::map<std::string, DemoFile> BuildDemoSite(const DemoOptions& o) {
    CheckOptions(o);
    std::map<std::string, DemoFile> site;
    site["/"] = {"text/html", IndexPage(o)};
    site["/index.html"] = site["/"];
    site["/robots.txt"] = {"text/plain", kRobots};
    site["/private/index.html"] = {"text/html", PrivatePage()};
    site[kDemoClipPath] = {"video/mpeg", Demo::MakeClip()};
    for (int p = 1; p <= o.Pages; ++p) {
        site[DemoPagePath(p)] = {"text/html", GalleryPage(o, p)};
        if (o.Scripted) site[DemoListPath(p)] = {"application/json", PairList(o, p)};
    }

    // Each job fills its own slots, so no lock is needed until the merge.
    const int thumbHeight = DemoThumbHeight(o);
    std::vector<SiteEntry> pictures(std::size_t(o.Pages) * (o.Pairs * 2 + 1));
    std::vector<std::function<void()>> jobs;
    jobs.reserve(std::size_t(o.Pages) * (o.Pairs + 1));
    for (int p = 1; p <= o.Pages; ++p) {
        SiteEntry* slots = &pictures[std::size_t(p - 1) * (o.Pairs * 2 + 1)];
        jobs.push_back([&o, p, slots] {
            const Demo::RgbImage poster = Demo::PaintPicture(
                o.FullWidth, o.FullHeight, Seed(p, 0, 1), std::to_string(p) + "-T");
            slots[0] = {DemoPosterPath(p), {"image/jpeg", Demo::EncodeJpeg(poster, o.Quality)}};
        });
        for (int k = 1; k <= o.Pairs; ++k)
            jobs.push_back([&o, p, k, slots, thumbHeight] {
                const Demo::RgbImage full =
                    Demo::PaintPicture(o.FullWidth, o.FullHeight, Seed(p, k, 0), Label(o, p, k));
                const Demo::RgbImage thumb = Demo::Shrink(full, o.ThumbWidth, thumbHeight);
                slots[k * 2 - 1] = {DemoFullPath(o, p, k),
                                    {"image/jpeg", Demo::EncodeJpeg(full, o.Quality)}};
                slots[k * 2] = {DemoThumbPath(o, p, k),
                                DemoThumbIsGif(k)
                                    ? DemoFile{"image/gif", Demo::EncodeGif(thumb)}
                                    : DemoFile{"image/jpeg", Demo::EncodeJpeg(thumb, o.Quality)}};
            });
    }
    RunJobs(jobs);
    for (SiteEntry& e : pictures)
        site.insert(std::move(e));
    return site;
}
