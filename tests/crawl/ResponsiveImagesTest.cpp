// The srcset candidate list, the pictures of today's markup as page
// processing reports them, and the thumbnail pairing of unlinked IMG tags.
#include "crawl/ResponsiveImages.h"
#include "crawl/PageProcessor.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;
using Kind = SrcsetCandidate::Kind;

Lines Urls(std::string_view srcset) {
    Lines out;
    for (const SrcsetCandidate& c : ParseSrcset(srcset))
        out.emplace_back(c.Url);
    return out;
}

// --- the candidate list -----------------------------------------------------

TEST(ParseSrcset, DescriptorsAndBlanks) {
    const auto list = ParseSrcset(" a.jpg 320w ,\n\tb.jpg   640w,c.jpg 1.5x, d.jpg\r\n");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].Url, "a.jpg");
    EXPECT_EQ(list[0].Descriptor, Kind::Width);
    EXPECT_EQ(list[0].Value, 320);
    EXPECT_EQ(list[1].Url, "b.jpg");
    EXPECT_EQ(list[1].Value, 640);
    EXPECT_EQ(list[2].Descriptor, Kind::Density);
    EXPECT_DOUBLE_EQ(list[2].Value, 1.5);
    EXPECT_EQ(list[3].Url, "d.jpg");
    EXPECT_EQ(list[3].Descriptor, Kind::None);
    EXPECT_DOUBLE_EQ(list[3].DensityOr1(), 1.0);
}

TEST(ParseSrcset, UrlsWithCommas) {
    // A comma inside a URL belongs to it; commas ending a URL end the candidate.
    EXPECT_EQ(Urls("/img/w_320,h_200/a.jpg 320w, /img/w_640,h_400/a.jpg 640w"),
              (Lines{"/img/w_320,h_200/a.jpg", "/img/w_640,h_400/a.jpg"}));
    EXPECT_EQ(Urls("a.jpg,,, b.jpg"), (Lines{"a.jpg", "b.jpg"}));
    EXPECT_EQ(Urls("data:image/gif;base64,R0lGOD 1x"), Lines{"data:image/gif;base64,R0lGOD"});
}

TEST(ParseSrcset, HostileStrings) {
    EXPECT_TRUE(ParseSrcset("").empty());
    EXPECT_TRUE(ParseSrcset(" \n\t ").empty());
    EXPECT_TRUE(ParseSrcset(",,,,").empty());
    EXPECT_TRUE(ParseSrcset(" , , ,").empty());
    // Unterminated: a URL at the end, a descriptor at the end, an open parenthesis.
    EXPECT_EQ(Urls("a.jpg"), Lines{"a.jpg"});
    EXPECT_EQ(Urls("a.jpg 2x"), Lines{"a.jpg"});
    EXPECT_EQ(Urls("a.jpg 2x (b.jpg 3x, c.jpg 4x"), Lines{});
    // A descriptor without URL reads as a URL, as browsers read it.
    EXPECT_EQ(Urls(", 2x"), Lines{"2x"});
    EXPECT_EQ(Urls("a.jpg 1x, 2x"), (Lines{"a.jpg", "2x"}));
}

TEST(ParseSrcset, AMalformedDescriptorDropsOnlyItsCandidate) {
    for (const char* bad : {"x.jpg 0w", "x.jpg -5w", "x.jpg 1.5w", "x.jpg w", "x.jpg 2q",
                            "x.jpg 2x 3x", "x.jpg 100w 2x", "x.jpg -1x", "x.jpg 1e", "x.jpg .x",
                            "x.jpg 100h", "x.jpg 100w 50h 60h", "x.jpg 2x 50h", "x.jpg 0x1Fw"}) {
        const std::string list = std::string("a.jpg 1x, ") + bad + ", b.jpg 3x";
        EXPECT_EQ(Urls(list), (Lines{"a.jpg", "b.jpg"})) << list;
    }
    // Still well formed: a height after a width, an exponent, a zero density.
    EXPECT_EQ(Urls("a.jpg 100w 50h, b.jpg 1e1x, c.jpg 0x, d.jpg .5x"),
              (Lines{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
}

TEST(ParseSrcset, TenThousandCandidates) {
    std::string list;
    for (int i = 0; i < 10000; ++i)
        list += "p" + std::to_string(i) + ".jpg " + std::to_string(i + 1) + "w,\n ";
    const auto parsed = ParseSrcset(list);
    ASSERT_EQ(parsed.size(), 10000u);
    EXPECT_EQ(parsed.back().Url, "p9999.jpg");
    EXPECT_EQ(LargestCandidate(parsed)->Url, "p9999.jpg");
}

TEST(LargestCandidate, WidthWinsOverDensityElseDensestWithNoneAsOne) {
    EXPECT_EQ(LargestCandidate({}), nullptr);
    EXPECT_EQ(LargestCandidate(ParseSrcset("a 9x, b 300w, c 200w"))->Url, "b");
    EXPECT_EQ(LargestCandidate(ParseSrcset("a 0.5x, b, c 0.75x"))->Url, "b");
    EXPECT_EQ(LargestCandidate(ParseSrcset("a, b 2x, c 1.5x"))->Url, "b");
}

// --- reporting --------------------------------------------------------------

constexpr const char* kPage = "http://www.site.com/gallery/index.html";

class ModernCore : public PageProcessor {
public:
    explicit ModernCore(bool modern) {
        ModernMarkup = modern;
        OnLinkFound = [this](Component*, FoundLink& lf) {
            Found.push_back(std::string(1, lf.HrefOrSrc) + " " + std::to_string(lf.CountArea) +
                            " " + lf.TypeLink + " " + lf.UrlFound);
        };
    }
    void Run(const std::string& body, const std::string& url = kPage) {
        PageInfo page;
        page.Url = page.ReferringUrl = url;
        page.Body = body;
        page.Parts.Split(url, "/store");
        VisitedUrls.FindOrInsert(url, true);
        ProcessPage(page);
    }
    Lines Found;
};

Lines Reported(const std::string& body, bool modern = true) {
    ModernCore core(modern);
    core.Run(body);
    return core.Found;
}

TEST(ModernMarkup, SrcsetOfImgAndOfSourceInPicture) {
    EXPECT_EQ(Reported("<article>\n<a href=\"/photos/harbour.html\">\n"
                       "  <img src=\"/thumbs/harbour.jpg\"\n"
                       "       srcset=\"/photos/harbour-480.jpg 480w,\n"
                       "               /photos/harbour-960.jpg 960w\"\n"
                       "       sizes=\"(max-width: 600px) 480px, 960px\" alt=\"Harbour\">\n"
                       "</a></article>"),
              (Lines{"H 0 htm http://www.site.com/photos/harbour.html",
                     "S 0 jpg http://www.site.com/photos/harbour-480.jpg",
                     "S 0 jpg http://www.site.com/photos/harbour-960.jpg",
                     "S 0 jpg http://www.site.com/thumbs/harbour.jpg"}));
    // SOURCE counts only inside PICTURE; a SOURCE of a video does not.
    EXPECT_EQ(
        Reported("<picture>\n"
                 "  <source type=\"image/webp\" srcset='/i/boat.webp 1x, /i/boat@2x.webp 2x'>\n"
                 "  <source media=\"(min-width: 800px)\" data-srcset=\"/i/boat-wide.jpg\">\n"
                 "  <img src=\"/i/boat.jpg\" alt=\"\"></picture>\n"
                 "<video><source srcset=\"/v/poster.jpg\" src=\"/v/clip.mp4\"></video>"),
        (Lines{"S 0 webp http://www.site.com/i/boat.webp",
               "S 0 webp http://www.site.com/i/boat@2x.webp",
               "S 0 jpg http://www.site.com/i/boat-wide.jpg",
               "S 0 jpg http://www.site.com/i/boat.jpg",
               "S 0 mp4 http://www.site.com/v/clip.mp4"}));
}

TEST(ModernMarkup, CommasAndBlanksInCandidateUrlsSurviveNormalisation) {
    EXPECT_EQ(Reported("<a href=/a.html><img src=t.jpg "
                       "srcset=\"https://cdn.site.com/c_fill,w_800/p.jpg 800w\"></a>"),
              (Lines{"H 0 htm http://www.site.com/a.html",
                     "S 0 jpg https://cdn.site.com/c_fill%2Cw_800/p.jpg",
                     "S 0 jpg http://www.site.com/gallery/t.jpg"}));
}

TEST(ModernMarkup, LazyLoadingAttributesWhenTheyNameWebAddresses) {
    EXPECT_EQ(
        Reported("<div class=\"lazy\" data-src=\"/big/one.jpg\"></div>\n"
                 "<img class=lazyload src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" "
                 "data-original='two.jpg'>\n"
                 "<figure data-lazy-src=\"https://img.site.com/three.png\" "
                 "data-full=\"//img.site.com/four.jpg\" DATA-LARGE=five.jpg>\n"
                 "<span data-src=\"javascript:void(0)\" data-full=\"data:,x\" "
                 "data-large=\"ftp://site.com/six.jpg\" data-source=\"/no.jpg\"></span>"),
        (Lines{"S 0 jpg http://www.site.com/big/one.jpg",
               "S 0 jpg http://www.site.com/gallery/two.jpg",
               "S 0 png https://img.site.com/three.png", "S 0 jpg http://img.site.com/four.jpg",
               "S 0 jpg http://www.site.com/gallery/five.jpg"}));
}

TEST(ModernMarkup, OpenGraphImageAndImageSrcLink) {
    EXPECT_EQ(
        Reported("<html><head>\n<meta charset=\"utf-8\">\n"
                 "<meta property=\"og:title\" content=\"Harbour\">\n"
                 "<meta property=\"og:image\" content=\"https://www.site.com/og/harbour.jpg\">\n"
                 "<link rel=\"image_src\" href=\"/share/harbour.jpg\">\n"
                 "<link rel=\"stylesheet\" href=\"/s.css\">\n</head></html>"),
        (Lines{"S 0 jpg https://www.site.com/og/harbour.jpg",
               "S 0 jpg http://www.site.com/share/harbour.jpg",
               "H 0 css http://www.site.com/s.css"}));
}

TEST(ModernMarkup, CandidatesPassTheFiltersAndTheVisitedSet) {
    ModernCore core(true);
    core.KeywordsFilterEnabled = true;
    core.Run("<img src=a.jpg srcset=\"a.jpg 1x, /stat/b.jpg 2x\" data-src=a.jpg>"
             "<img src=c.jpg srcset=\"c.jpg 1x, d.jpg 1x\">");
    EXPECT_EQ(core.Found, (Lines{"S 0 jpg http://www.site.com/gallery/a.jpg",
                                 "S 0 jpg http://www.site.com/gallery/c.jpg",
                                 "S 0 jpg http://www.site.com/gallery/d.jpg"}));
}

// --- pairing ----------------------------------------------------------------

Lines Paired(const std::string& body) {
    ModernCore core(true);
    core.AreaHook = MarkCountedAreas;
    core.Run(body);
    return core.Found;
}

TEST(ModernMarkup, AnUnlinkedImgWithALargerCandidatePairsWithTheLargest) {
    // As if written <a href=largest><img src=thumb></a>: by width...
    EXPECT_EQ(Paired("<p><img src=\"s/1.jpg\" srcset=\"m/1.jpg 600w, l/1.jpg 1200w\"></p>"),
              (Lines{"H 1 jpg http://www.site.com/gallery/l/1.jpg",
                     "S 1 jpg http://www.site.com/gallery/m/1.jpg",
                     "S 1 jpg http://www.site.com/gallery/s/1.jpg"}));
    // ...else by density, the SRC standing for 1x.
    EXPECT_EQ(Paired("<img src=s/2.jpg srcset=\"s/2.jpg, l/2.jpg 2x\">"),
              (Lines{"H 1 jpg http://www.site.com/gallery/l/2.jpg",
                     "S 1 jpg http://www.site.com/gallery/s/2.jpg"}));
}

// The candidates of a PICTURE's sources travel with its IMG: one that names
// the full-size picture too does not take it up before the pair is made.
TEST(ModernMarkup, APictureWhoseSourcesNameTheFullSizePicturePairs) {
    EXPECT_EQ(Paired("<picture><source media=\"(min-width: 60em)\" "
                     "srcset=\"t/1.jpg 110w, f/1.jpg 640w\">\n"
                     "<img src=t/1.jpg srcset=\"t/1.jpg 1x, f/1.jpg 2x\"></picture>"),
              (Lines{"H 1 jpg http://www.site.com/gallery/f/1.jpg",
                     "S 1 jpg http://www.site.com/gallery/t/1.jpg"}));
    // Sources that no IMG takes are still reported, where the PICTURE ends
    // or, left open, at the end of the page.
    EXPECT_EQ(Paired("<picture><source srcset=\"a.jpg\"></picture>"
                     "<picture><img src=b.jpg><source srcset=\"c.jpg 2x\">"),
              (Lines{"S 0 jpg http://www.site.com/gallery/a.jpg",
                     "S 0 jpg http://www.site.com/gallery/b.jpg",
                     "S 0 jpg http://www.site.com/gallery/c.jpg"}));
}

TEST(ModernMarkup, NoPairingWithoutALargerCandidateOrWhenALinkWrapsTheImg) {
    EXPECT_EQ(Paired("<img src=s/3.jpg srcset=\"s/3.jpg 2x\">"
                     "<img src=s/4.jpg srcset=\"h/4.jpg 0.5x\">"
                     "<img srcset=\"l/5.jpg 2x\">"),
              (Lines{"S 0 jpg http://www.site.com/gallery/s/3.jpg",
                     "S 0 jpg http://www.site.com/gallery/h/4.jpg",
                     "S 0 jpg http://www.site.com/gallery/s/4.jpg",
                     "S 0 jpg http://www.site.com/gallery/l/5.jpg"}));
    // A wrapping link still wins: the page it names is the pair of the thumbnail.
    EXPECT_EQ(Paired("<A HREF=\"/view/6.html\"><img src=s/6.jpg srcset=\"l/6.jpg 2x\"></A>"
                     "<img src=s/7.jpg srcset=\"l/7.jpg 2x\">"),
              (Lines{"H 1 htm http://www.site.com/view/6.html",
                     "S 1 jpg http://www.site.com/gallery/l/6.jpg",
                     "S 1 jpg http://www.site.com/gallery/s/6.jpg",
                     "H 2 jpg http://www.site.com/gallery/l/7.jpg",
                     "S 2 jpg http://www.site.com/gallery/s/7.jpg"}));
    // A named anchor left open is no link (it still opens an area of its own).
    EXPECT_EQ(Paired("<a name=top><img src=s/8.jpg srcset=\"l/8.jpg 2x\">"),
              (Lines{"H 2 jpg http://www.site.com/gallery/l/8.jpg",
                     "S 2 jpg http://www.site.com/gallery/s/8.jpg"}));
}

// --- the setting off --------------------------------------------------------

// The results file of one page processed by a core as given.
std::string ResultsOf(ModernCore& core, const std::string& body) {
    TempDir tmp;
    core.SetFileOfResults(tmp.Path() + "/r.txt");
    EXPECT_TRUE(core.OpenResultsFile());
    core.AreaHook = MarkCountedAreas;
    core.Run(body);
    core.CloseResultsFile();
    std::ifstream in(tmp.Path() + "/r.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ModernMarkup, OffLeavesTheResultsOfEveryPageUnchanged) {
    const std::filesystem::path fixtures = TESSELLON_CLI_PAGES; // the pages of the links tests
    std::vector<std::string> pages;
    for (const char* name : {"attributes.html", "edge_links.html", "filters.html"}) {
        std::ifstream in(fixtures / name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::stringstream text;
        text << in.rdbuf();
        pages.push_back(text.str());
    }
    const std::string modern =
        "<a href=p.html><img src=t.jpg srcset=\"l.jpg 2x\" data-src=d.jpg></a>"
        "<img src=u.jpg srcset=\"m.jpg 900w\"><meta property=og:image content=o.jpg>";
    // The fixtures hold nothing of today's markup: on or off, the same bytes.
    for (const std::string& page : pages) {
        ModernCore off(false), on(true);
        const std::string before = ResultsOf(off, page);
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(ResultsOf(on, page), before);
    }
    // Off, today's markup is read as it always was: only SRC and HREF.
    ModernCore off(false);
    const std::string results = ResultsOf(off, modern);
    EXPECT_EQ(off.Found, (Lines{"H 1 htm http://www.site.com/gallery/p.html",
                                "S 1 jpg http://www.site.com/gallery/t.jpg",
                                "S 0 jpg http://www.site.com/gallery/u.jpg"}));
    EXPECT_EQ(results.find("l.jpg"), std::string::npos);
    std::string unchanged;
    EXPECT_FALSE(RewriteModernMarkup("<a href=x.html><img src=y.jpg></a>", unchanged));
}

} // namespace
