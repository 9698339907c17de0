// Link typing, extraction and processing of whole pages, and the head tags.
#include "crawl/PageProcessor.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A scan core that records what it queues and hands on, storing under a
// fixed folder.
class RecordingCore : public PageProcessor {
public:
    RecordingCore() {
        OnLinkFound = [this](Component*, FoundLink& lf) {
            Found.push_back(lf);
            if (Handler) Handler(lf);
        };
        LinkHook = [this](const LinkHookArgs& a) {
            Hooked.push_back(a.TypeLink + " " + a.UrlFound);
            LastHook = {a.TypeLink,
                        a.UrlFound,
                        a.HostName,
                        a.FromUrl,
                        std::string(1, a.HrefOrSrc),
                        std::to_string(a.CountArea),
                        a.LocalFileName(),
                        a.Flag ? "1" : "0"};
        };
    }

    // Processes one page; the page itself counts as visited, as in a scan.
    PageInfo Run(const std::string& url, const std::string& body, int depth = 1,
                 const std::string& referrer = {}, bool markVisited = true) {
        PageInfo page;
        page.Url = url;
        page.ReferringUrl = referrer.empty() ? url : referrer;
        page.Body = body;
        page.DepthLevel = depth;
        page.Parts.Split(url, Storage);
        if (markVisited) VisitedUrls.FindOrInsert(url, true);
        ProcessPage(page);
        return page;
    }

    std::vector<std::string> Links() const {
        std::vector<std::string> out;
        for (const auto& lf : Found)
            out.push_back(lf.TypeLink + " " + lf.UrlFound);
        return out;
    }

    std::string Storage = "/store";
    bool Stopping = false;
    std::vector<FoundLink> Found;
    std::vector<std::string> Queued, Hooked, LastHook;
    std::function<void(FoundLink&)> Handler;

protected:
    bool IsStopping() const override { return Stopping; }
    std::string StorageFolder() const override { return Storage; }
    void QueuePage(PageInfo&, const std::string& url, int, int) override {
        Queued.push_back("page " + url);
    }
    void QueueRobots(PageInfo&, const std::string& url, int, int) override {
        Queued.push_back("robots " + url);
    }
};

const std::string kPage = "http://www.h.com/gal/index.htm";

std::vector<std::string> LinksOf(const std::string& body, const std::string& url = kPage) {
    RecordingCore core;
    core.Run(url, body);
    return core.Links();
}

using Lines = std::vector<std::string>;

} // namespace

// --- TypeOfUrl --------------------------------------------------------------

TEST(TypeOfUrl, ByExtensionSchemeAndQuery) {
    PageProcessor core;
    const std::pair<const char*, const char*> cases[] = {
        {"http://h.com/a/b.php?x=1", "php"},
        {"http://h.com/a/", "htm"},
        {"http://h.com", "htm"},
        {"http://h.com/pic.JPEG", "jpg"},
        {"http://h.com/x.Html", "htm"},
        {"http://h.com/a/b.cgi?x=1.jpg", "cgi"},
        {"http://h.com/cgi-bin/run.?x=1", "cgi"},
        {"http://h.com/dbm/run.", "dbm"},
        {"http://h.com/run.", "unknown"},
        {"http://h.com/a.b/c", "htm"},
        {"http://h.com/f.tar.gz", "gz"},
        {"http://h.com/x.jpg#frag", "jpg"},
        {"http://h.com/a.php&b=c.jpg", "php"},
        {"https://h.com/a.jpg", "jpg"},
        {"HTTPS://h.com/", "htm"},
        {"ftp://f.com/a.zip", "ftp"},
        {"http://localhost/gallery", "htm"},
        {"http://localhost/pics/a.png", "png"},
    };
    for (const auto& [url, type] : cases) {
        std::string scheme;
        int slash = 0;
        EXPECT_EQ(core.TypeOfUrl(url, scheme, slash), type) << url;
    }
    std::string scheme;
    int slash = 0;
    core.TypeOfUrl("HTTP://h.com/a/b.jpg", scheme, slash);
    EXPECT_EQ(scheme, "http");
    EXPECT_EQ(slash, 15); // the slashes of "://" do not count
}

// --- values of the attributes -----------------------------------------------

TEST(ExtractLinks, ValueChecks) {
    EXPECT_EQ(LinksOf("<a href=\"my pic.jpg\">"), Lines{"htm http://www.h.com/gal/my"});
    EXPECT_EQ(LinksOf("<a href=x.jpg<br>"), Lines{"jpg http://www.h.com/gal/x.jpg"});
    EXPECT_EQ(LinksOf("<a href==>"), Lines{});
    EXPECT_EQ(LinksOf("<a href=\"x.htm?target=Top.Window\">"), Lines{});
    EXPECT_EQ(LinksOf("<a href=x.jpg"), Lines{}); // still being collected at the end
    EXPECT_EQ(LinksOf("<a\nhref=\"x.jpg\">x</a>"), Lines{});
}

TEST(ExtractLinks, ValueAttributeNeedsASlashAndNoSemicolon) {
    EXPECT_EQ(LinksOf("<option value=\"/pics/v.htm\"> <input value=hello> "
                      "<input value=\"a/b;c\"> <option value=big/c.jpg>"),
              (Lines{"htm http://www.h.com/pics/v.htm", "jpg http://www.h.com/gal/big/c.jpg"}));
}

TEST(ExtractLinks, OpenwinAndBracketArguments) {
    EXPECT_EQ(LinksOf("<a href=\"#\" onclick=\"openwin('o.jpg')\">"),
              Lines{"jpg http://www.h.com/gal/o.jpg"});
    EXPECT_EQ(LinksOf("<a href=# onclick=openwin(p.jpg)>"), Lines{});
    EXPECT_EQ(LinksOf("<a href=javascript:show(pic.jpg)>"),
              Lines{"jpg http://www.h.com/gal/pic.jpg"});
    EXPECT_EQ(LinksOf("<a href=javascript:go(/p/q.htm)>"), Lines{"htm http://www.h.com/p/q.htm"});
    EXPECT_EQ(LinksOf("<a href=\"javascript:show('q.jpg')\">"), Lines{});
    EXPECT_EQ(LinksOf("<a href=javascript:void(0)> <a href=go(3)>"), Lines{});
}

TEST(ExtractLinks, ScriptAndMailOnlyAsLeadingSchemes) {
    EXPECT_EQ(LinksOf("<a href=\"javascript-guide.html\"> <a href=\"/learn-javascript/pics/\"> "
                      "<a href=\"JavaScript:alert('x')\">"),
              (Lines{"htm http://www.h.com/gal/javascript-guide.html",
                     "htm http://www.h.com/learn-javascript/pics/"}));
    EXPECT_EQ(LinksOf("<a href=\"mailto:jo@h.com\"> <a href=\"/share?to=mailto:a@b\">"),
              (Lines{"mail jo@h.com", "htm http://www.h.com/share?to=mailto:a@b"}));
}

TEST(ExtractLinks, EmptyAttributeValuesYieldNothingAndDoNotHideTheNext) {
    EXPECT_EQ(
        LinksOf("<a href=\"\">e</a> <img src=''> <a href=>f</a> <img alt=\"\" src=\"a.jpg\">"),
        Lines{"jpg http://www.h.com/gal/a.jpg"});
}

TEST(ExtractLinks, BaseHrefAffectsOnlyLaterLinks) {
    RecordingCore core;
    const PageInfo page =
        core.Run("http://h.com/a/b/page.htm",
                 "<img src=first.jpg> <base href=\"../img/\"> <img src=x.jpg> "
                 "<a href=/top.htm> <base href=\"http://other.com/x/\"> <img src=y.jpg>");
    EXPECT_EQ(core.Links(), (Lines{"jpg http://h.com/a/b/first.jpg", "htm http://h.com/a/img/",
                                   "jpg http://h.com/a/img/x.jpg", "htm http://h.com/top.htm",
                                   "htm http://other.com/x/", "jpg http://other.com/x/y.jpg"}));
    EXPECT_EQ(core.Found[1].HrefOrSrc, ' ');
    EXPECT_EQ(page.Parts.HostName(), "other.com");
}

// The base value is resolved against the page to become the new base; the
// link reported for it must be that address, not the value resolved a
// second time against itself (sub/ would become sub/sub/).
TEST(ExtractLinks, RelativeBaseHrefIsReportedAsResolvedOnce) {
    EXPECT_EQ(LinksOf("<base href=\"sub/\"> <img src=x.jpg>", "http://h.com/a/b/page.htm"),
              (Lines{"htm http://h.com/a/b/sub/", "jpg http://h.com/a/b/sub/x.jpg"}));
}

// --- ProcessLink ------------------------------------------------------------

TEST(ProcessLink, EachUrlOncePerScan) {
    RecordingCore core;
    core.Run(kPage, "<a href=a.jpg> <a href=a.jpg#top> <img src=HTTP://WWW.H.COM/gal/a.jpg> "
                    "<img src=\"A.JPG\"> <a href=index.htm>");
    core.Run("http://www.h.com/gal/two.htm", "<img src=a.jpg> <img src=b.jpg>", 2, kPage);
    // A path in other letters names another file: it is handled too.
    EXPECT_EQ(core.Links(),
              (Lines{"jpg http://www.h.com/gal/a.jpg", "jpg http://www.h.com/gal/A.JPG",
                     "jpg http://www.h.com/gal/b.jpg"}));
}

TEST(ProcessLink, TypeNormalisation) {
    RecordingCore core;
    core.Run(kPage, "<a href=x.com> <a href=f.toolongext> <a href=f.7z> <a href=f.0ab> "
                    "<a href=f.JPEG> <a href=f.tar.gz> <a href=f.abcdef>");
    EXPECT_EQ(core.Links(),
              (Lines{"htm http://www.h.com/gal/x.com", "??? http://www.h.com/gal/f.7z",
                     "0ab http://www.h.com/gal/f.0ab", "jpg http://www.h.com/gal/f.JPEG",
                     "gz http://www.h.com/gal/f.tar.gz", "abcdef http://www.h.com/gal/f.abcdef"}));
    EXPECT_EQ(core.Queued, Lines{"page http://www.h.com/gal/x.com"});
}

// One processor resolves the links of pages of any scheme and port in turn;
// a page that is not a web page has its links resolved as http (on its port).
TEST(ProcessLink, EachPageResolvesAgainstItsOwnAddress) {
    RecordingCore core;
    core.Run("https://h.com:8443/a/p.htm", "<a href=\"x.jpg\">");
    core.Run("ftp://f.example/d/p.htm", "<a href=\"y.jpg\">");
    core.Run("http://g.com/p.htm", "<a href=\"z.jpg\">");
    EXPECT_EQ(core.Links(), (Lines{"jpg https://h.com:8443/a/x.jpg",
                                   "jpg http://f.example:21/d/y.jpg", "jpg http://g.com/z.jpg"}));
}

TEST(ProcessLink, WebLinksThatCannotBeSplitAreDropped) {
    EXPECT_EQ(LinksOf("<a href=http:///x.jpg> <a href=http://h.com:99999/a.jpg> "
                      "<a href=news:comp.pics> <img src=ok.jpg>"),
              Lines{"jpg http://www.h.com/gal/ok.jpg"});
}

TEST(ProcessLink, SecureLinksAreWebLinks) {
    RecordingCore core;
    core.SeekRobots = true;
    core.Run("https://h.com/a/index.htm",
             "<a href=b.htm> <img src=c.JPEG> <a href=\"HTTPS://h.com/D.htm\">");
    EXPECT_EQ(core.Links(), (Lines{"htm https://h.com/a/b.htm", "jpg https://h.com/a/c.JPEG",
                                   "htm HTTPS://h.com/D.htm"}));
    EXPECT_EQ(core.Found[1].HostName, "h.com");
    EXPECT_EQ(core.Queued, (Lines{"robots https://h.com/robots.txt", "page https://h.com/a/b.htm",
                                  "page HTTPS://h.com/D.htm"}));
    EXPECT_EQ(core.Hooked.size(), 3u);
}

TEST(ProcessLink, EscapedPageFolderStaysEscapedInLinks) {
    RecordingCore core;
    core.Run("https://h/my%20pics/a%2Fb.html", "<img src=c.jpg>");
    ASSERT_EQ(core.Links(), Lines{"jpg https://h/my%20pics/c.jpg"});
    EXPECT_EQ(core.Found[0].UrlPath, "/my pics");
    EXPECT_EQ(core.Found[0].UrlPathWithFile, "/my pics/c.jpg");
    EXPECT_EQ(core.LastHook[6], "/store/h/my pics/c.jpg");
}

TEST(ProcessLink, WhatTheHandlerAndTheLinkHookAreGiven) {
    RecordingCore core;
    core.Run(kPage, "<img src=\"pics/a%20b.jpg?size=2\">");
    ASSERT_EQ(core.Found.size(), 1u);
    const FoundLink& lf = core.Found[0];
    EXPECT_EQ(lf.UrlFound, "http://www.h.com/gal/pics/a%20b.jpg?size=2");
    EXPECT_EQ(lf.TypeLink, "jpg");
    EXPECT_EQ(lf.FromUrl, kPage);
    EXPECT_EQ(lf.HostName, "www.h.com");
    EXPECT_EQ(lf.UrlPath, "/gal/pics");
    EXPECT_EQ(lf.UrlPathWithFile, "/gal/pics/a b.jpg");
    EXPECT_EQ(lf.ExtraInfos, "?size=2");
    EXPECT_EQ(lf.HrefOrSrc, 'S');
    EXPECT_EQ(lf.CountArea, 0);
    EXPECT_EQ(core.LastHook, (Lines{"jpg", lf.UrlFound, "www.h.com", kPage, "S", "0",
                                    "/store/www.h.com/gal/pics/a b%3Fsize=2.jpg", "1"}));
    EXPECT_TRUE(core.Queued.empty());
}

TEST(ProcessLink, OtherSchemesAreReportedButNeitherFollowedNorHooked) {
    RecordingCore core;
    core.Run(kPage, "<a href=mailto:jo@h.com> <a href=ftp://f.com/a.zip>");
    EXPECT_EQ(core.Links(), (Lines{"mail jo@h.com", "ftp ftp://f.com/a.zip"}));
    for (const auto& lf : core.Found) {
        EXPECT_EQ(lf.FromUrl, kPage);
        // A mail address names its domain as its host.
        EXPECT_EQ(lf.HostName, lf.TypeLink == "mail" ? "h.com" : "");
        EXPECT_EQ(lf.UrlPath, "");
        EXPECT_EQ(lf.UrlPathWithFile, "");
    }
    EXPECT_TRUE(core.Hooked.empty());
    EXPECT_TRUE(core.Queued.empty());
}

TEST(ProcessLink, ClearedFollowFlagStopsQueueingAndTheLinkHook) {
    RecordingCore core;
    core.Handler = [](FoundLink& lf) {
        if (lf.UrlFound.find("/no") != std::string::npos) lf.FollowIfHtmlLink = false;
    };
    core.Run(kPage, "<a href=no.htm> <img src=no.jpg> <a href=yes.htm> <img src=yes.jpg>");
    EXPECT_EQ(core.Links().size(), 4u);
    EXPECT_EQ(core.Queued, Lines{"page http://www.h.com/gal/yes.htm"});
    EXPECT_EQ(core.Hooked,
              (Lines{"htm http://www.h.com/gal/yes.htm", "jpg http://www.h.com/gal/yes.jpg"}));
    // Marked as page or not only when followed.
    ASSERT_TRUE(core.VisitedUrls.Contains("http://www.h.com/gal/yes.htm"));
    EXPECT_EQ(core.VisitedUrls.Mark("http://www.h.com/gal/yes.htm"), 1);
}

TEST(ProcessLink, StopRequestEndsThePageAtOnce) {
    RecordingCore core;
    core.Handler = [&core](FoundLink&) { core.Stopping = true; };
    core.Run(kPage, "<a href=a.htm> <a href=b.htm> <img src=c.jpg>");
    EXPECT_EQ(core.Links(), Lines{"htm http://www.h.com/gal/a.htm"});
    EXPECT_TRUE(core.Queued.empty());
    EXPECT_TRUE(core.Hooked.empty());
}

TEST(ProcessLink, RobotsFileReportsItselfAsText) {
    RecordingCore core;
    core.Run("http://h.com/ROBOTS.TXT",
             "User-agent: *\nDisallow: /private/\n# map: <a href=/map.htm>map</a>\n", 2, {}, false);
    EXPECT_EQ(core.Links(), (Lines{"txt http://h.com/ROBOTS.TXT", "htm http://h.com/map.htm"}));
    EXPECT_EQ(core.Found[0].HrefOrSrc, ' ');
    EXPECT_EQ(core.Hooked.front(), "txt http://h.com/ROBOTS.TXT");
    // A robots file without any tag still reports itself.
    RecordingCore plain;
    plain.Run("http://h.com/robots.txt", "User-agent: *\nDisallow:\n", 2, {}, false);
    EXPECT_EQ(plain.Links(), Lines{"txt http://h.com/robots.txt"});
}

TEST(ProcessLink, SeekRobotsQueuesEachNewHostsRobotsFileOnce) {
    const std::string body =
        "<img src=http://img.com/p.jpg> <a href=http://img.com/g.htm> <a href=/one.htm> "
        "<a href=/two.htm> <a href=http://b.com:8080/x.htm> <a href=https://s.com/y.htm>";
    RecordingCore core;
    core.SeekRobots = true;
    core.Run("http://a.com/index.htm", body);
    EXPECT_EQ(core.Queued,
              (Lines{"page http://img.com/g.htm", "robots http://a.com/robots.txt",
                     "page http://a.com/one.htm", "page http://a.com/two.htm",
                     "robots http://b.com:8080/robots.txt", "page http://b.com:8080/x.htm",
                     "robots https://s.com/robots.txt", "page https://s.com/y.htm"}));
    // robots.txt requests are not entered in the visited list.
    EXPECT_FALSE(core.VisitedUrls.Contains("http://a.com/robots.txt"));

    RecordingCore off;
    off.Run("http://a.com/index.htm", body);
    EXPECT_EQ(off.Queued.size(), 5u);
}

TEST(ProcessLink, ARepeatOfTheStartingAddressNotesItsHost) {
    // The repeat is refused, but its host counts as met: the next link to
    // that host is not its first, and no robots.txt is asked for.
    RecordingCore core;
    core.SeekRobots = true;
    core.Run("http://a.com/index.htm",
             "<a href=index.htm> <a href=one.htm> <a href=http://b.com/x.htm>");
    EXPECT_EQ(core.Queued, (Lines{"page http://a.com/one.htm", "robots http://b.com/robots.txt",
                                  "page http://b.com/x.htm"}));
    // Repeats of other addresses are refused as well, whatever the case of
    // their scheme and host; a path in other letters is another address.
    core.Run("http://a.com/one.htm",
             "<a href=ONE.htm> <a href=HTTP://B.COM/x.htm> <a href=two.htm> <a href=one.htm>", 2);
    EXPECT_EQ(core.Queued.size(), 5u);
    EXPECT_EQ(core.Queued[3], "page http://a.com/ONE.htm");
    EXPECT_EQ(core.Queued[4], "page http://a.com/two.htm");
}

TEST(ProcessLink, KnownHostsAreCaseBlindInAnyOrderAndForgottenWhenCleared) {
    // Hosts in descending order, each named again in other letter cases by a
    // link to another file: one robots.txt per host.
    std::string body;
    for (int i = 999; i >= 0; --i) {
        const std::string n = std::to_string(i);
        body += "<a href=http://h" + n + ".com/a.htm> <a href=HTTP://H" + n + ".COM/b.htm> ";
    }
    body += "<a href=http://h5.Com/c.htm>";
    RecordingCore core;
    core.SeekRobots = true;
    core.Run("http://start.com/index.htm", body);
    int robots = 0;
    for (const std::string& q : core.Queued)
        if (q.starts_with("robots ")) ++robots;
    EXPECT_EQ(robots, 1000);
    EXPECT_EQ(core.Queued.size(), 1000u + 2001u);
    EXPECT_EQ(core.Queued[0], "robots http://h999.com/robots.txt");
    EXPECT_EQ(core.Queued[1], "page http://h999.com/a.htm");
    EXPECT_EQ(core.Queued[2], "page HTTP://H999.COM/b.htm");

    // The engine clears the hosts between scans: a host is then new again.
    core.KnownHosts.Clear();
    core.Queued.clear();
    core.Run("http://start.com/next.htm", "<a href=http://H7.com/d.htm>", 2);
    EXPECT_EQ(core.Queued, (Lines{"robots http://h7.com/robots.txt", "page http://H7.com/d.htm"}));
}

TEST(ProcessLink, CountedAreasThroughTheAreaHook) {
    const std::string body =
        "<a href=\"big.jpg\"><img src=\"small.jpg\"></a> <a href=\"p.htm\">x</a> "
        "<a href=\"b2.jpg\"><img src=\"s2.jpg\"></a>";
    RecordingCore core;
    core.AreaHook = MarkCountedAreas;
    core.Run(kPage, body);
    std::vector<std::string> got;
    for (const auto& lf : core.Found)
        got.push_back(lf.UrlFound.substr(21) + " " + lf.HrefOrSrc + std::to_string(lf.CountArea));
    EXPECT_EQ(got, (Lines{"big.jpg H1", "small.jpg S1", "p.htm H0", "b2.jpg H3", "s2.jpg S3"}));
    EXPECT_EQ(core.AreaCounter, 3);
    core.Run("http://www.h.com/gal/two.htm", "<a href=m.jpg><img src=n.jpg></a>", 2, kPage);
    EXPECT_EQ(core.Found.back().CountArea, 4); // the counter runs on over pages
    EXPECT_EQ(core.AreaCounter, 4);

    RecordingCore plain; // the default hook counts areas but marks none as counted
    plain.Run(kPage, body);
    for (const auto& lf : plain.Found)
        EXPECT_EQ(lf.CountArea, 0);
    EXPECT_EQ(plain.AreaCounter, 3);
}

// --- ParseHead --------------------------------------------------------------

TEST(ParseHead, TitleAndShortTagsOfAnExactHead) {
    PageProcessor core;
    std::vector<MetaTag> tags;
    core.OnMetaTag = [&](Component*, const MetaTag& m) { tags.push_back(m); };
    PageInfo page;
    page.Url = kPage;
    page.ReferringUrl = "http://www.h.com/";
    page.Body = "<html><HEAD><title>My\nPics</title><meta name=\"author\" content=\"Jo\">"
                "<link rel=icon href=f.ico><meta a=1 b=2 c=3 d=4><meta name=x /></HEAD>"
                "<body><meta name=late content=1></body>";
    core.ParseHead(page);
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].TagType, "TITLE");
    EXPECT_EQ(tags[0].Tag1stAttrib, "TITLE");
    EXPECT_EQ(tags[0].Tag1stValue, "My Pics");
    EXPECT_EQ(tags[0].Url, kPage);
    EXPECT_EQ(tags[0].ReferringUrl, "http://www.h.com/");
    EXPECT_EQ(tags[1].TagType, "META");
    EXPECT_EQ(tags[1].Tag1stValue, "author");
    EXPECT_EQ(tags[1].Tag2ndValue, "Jo");
    EXPECT_EQ(tags[1].Url, kPage);
    EXPECT_EQ(tags[2].TagType, "LINK");
    EXPECT_EQ(tags[2].Tag2ndValue, "F.ICO");

    tags.clear();
    page.Body = "<html><head lang=en><title>T</title><meta name=a content=b></head>";
    core.ParseHead(page);
    EXPECT_TRUE(tags.empty());
}

// --- values read as a browser reads them -------------------------------------

TEST(DecodeEntities, NamedAndNumericReferences) {
    const std::pair<std::string, std::string> cases[] = {
        {"a.jpg?a=1&amp;b=2", "a.jpg?a=1&b=2"},
        {"&lt;&gt;&quot;&#39;&apos;&AMP;", "<>\"''&"},
        {"&#65;&#x42;&#X43;&#0000068;", "ABCD"},
        {"caf&#233;/&#x20AC;/&#x1F600;", "caf\xC3\xA9/\xE2\x82\xAC/\xF0\x9F\x98\x80"},
        // Kept as written: no ";", unknown names, wrong case, no digits, out of
        // range, surrogates, control characters, digits past any integer.
        {"a&amp b", "a&amp b"},
        {"&nbsp;&Amp;&#;&#x;&#xZ1;", "&nbsp;&Amp;&#;&#x;&#xZ1;"},
        {"&#x110000;&#xD800;&#0;&#10;&#x7F;", "&#x110000;&#xD800;&#0;&#10;&#x7F;"},
        {"&#99999999999;&#xFFFFFFFFFFFFFFFF;", "&#99999999999;&#xFFFFFFFFFFFFFFFF;"},
        {"&&amp;;", "&&;"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DecodeEntities(in), out) << in;
}

TEST(ExtractLinks, AttributeValuesAreEntityDecoded) {
    EXPECT_EQ(LinksOf("<img src=\"a.jpg?a=1&amp;b=2\"> <a href=\"p&#46;htm?x=&#x31;\"> "
                      "<a href=\"mailto:ivan&#64;example.com\">"),
              (Lines{"jpg http://www.h.com/gal/a.jpg?a=1&b=2", "htm http://www.h.com/gal/p.htm?x=1",
                     "mail ivan@example.com"}));
}

TEST(ExtractLinks, BracketsAndPlusInPlainValuesAreAddresses) {
    EXPECT_EQ(LinksOf("<a href=a+b.jpg> <a href=\"pic(1).jpg\"> <a href=\"list.php?ids[]=1\"> "
                      "<img src=\"http://[::1]:8603/x.jpg\"> <a href=\"/w/Sun_(star)/p.jpg\">"),
              (Lines{"jpg http://www.h.com/gal/a+b.jpg", "jpg http://www.h.com/gal/pic(1).jpg",
                     "php http://www.h.com/gal/list.php?ids[]=1", "jpg http://[::1]:8603/x.jpg",
                     "jpg http://www.h.com/w/Sun_(star)/p.jpg"}));
    // Script calls keep their rules: a plain name as argument, nothing else.
    EXPECT_EQ(LinksOf("<a href=show(a+b.jpg)> <a href=go(x[1].jpg);> <a href=void(0)>"), Lines{});
}

TEST(ExtractLinks, ScriptCallsAreTellableFromNames) {
    const std::pair<const char*, bool> cases[] = {
        {"javascript:x", true},    {"show(pic.jpg)", true},  {"go(3);", true},
        {"win.open(a.jpg)", true}, {"pic(1).jpg", false},    {"(a).jpg", false},
        {"/w/f(1)", false},        {"http://h/f(x)", false}, {"1go(3)", false},
        {"a-b(c)", false},         {"plain.jpg", false},
    };
    for (const auto& [value, script] : cases)
        EXPECT_EQ(PageProcessor::IsScriptCall(value), script) << value;
}

TEST(ProcessLink, LinksUpTo8192CharactersAreTakenLongerOnesNoted) {
    RecordingCore core;
    std::vector<std::string> notes;
    core.OnLog = [&](Component*, const std::string& m) { notes.push_back(m); };
    const std::string head = "https://bucket.example/k.jpg?X-Amz-Signature=";
    const std::string signedUrl = head + std::string(8192 - head.size(), 's');
    const std::string tooLong = head + std::string(8193 - head.size(), 't');
    core.Run(kPage,
             "<img src=\"" + signedUrl + "\"> <img src=\"" + tooLong + "\"> <img src=ok.jpg>");
    EXPECT_EQ(core.Links(), (Lines{"jpg " + signedUrl, "jpg http://www.h.com/gal/ok.jpg"}));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("longer than 8192 characters (8193)"), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find(head), std::string::npos);
    // The long one is stored under a name the file system takes.
    EXPECT_FALSE(core.LastHook.empty());
}
