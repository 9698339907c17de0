// Fuzz target for the page-processing path of the crawl core.
//
// Input layout: the first line (up to the first '\n') is a URL, the rest is
// a page body. Every run cracks the URL, resolves the start of the body
// against it, runs each markup pass on its own copy, and scans the body as a
// page of a fixed site and, when the URL cracks, as a page of that URL.
// Broken invariants stop the run with __builtin_trap().
#include "common/StringTools.h"
#include "crawl/HtmlMarkup.h"
#include "crawl/PageProcessor.h"
#include "crawl/UrlParts.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kStorage = "/tmp/fz";
constexpr std::string_view kFixedPage = "http://fuzz.example/dir/page.html";

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool IsMarker(char c) {
    return c == Marker::EmptyValue || c == Marker::Href || c == Marker::Value || c == Marker::Src ||
           c == Marker::Base || c == Marker::AreaOpen || c == Marker::CountedAreaOpen ||
           c == Marker::AreaClose;
}

bool HasDotSegment(std::string_view path) {
    return path.find("/../") != std::string_view::npos ||
           path.find("/./") != std::string_view::npos || path.ends_with("/..") ||
           path.ends_with("/.") || path == "." || path == "..";
}

// A file name made from a URL must stay inside the storage folder.
void CheckLocalFileName(std::string_view name) {
    if (name.empty()) return;
    Check(name.starts_with("/tmp/fz/"));
    Check(!HasDotSegment(name));
    Check(name.find("//") == std::string_view::npos);
    for (unsigned char c : name)
        Check(c >= 32 && c != 127);
}

void CheckCrackInvariants(const UrlParts& u, std::string_view url) {
    Check(u.GetUrl() == url);
    if (!u.Valid()) {
        Check(u.LocalFileName().empty());
        return;
    }
    Check(url.size() <= kMaxUrlLength);
    Check(!u.HostName().empty());
    Check(!u.Scheme().empty());
    Check(u.Port() >= 0 && u.Port() <= 65535);
    Check(!u.UrlPath().empty() && u.UrlPath()[0] == '/');
    CheckLocalFileName(u.LocalFileName());
}

bool SameParts(const UrlParts& a, const UrlParts& b) {
    return a.Valid() == b.Valid() && a.GetUrl() == b.GetUrl() && a.Scheme() == b.Scheme() &&
           a.HostName() == b.HostName() && a.Port() == b.Port() &&
           a.UrlUserName() == b.UrlUserName() && a.UrlPassword() == b.UrlPassword() &&
           a.UrlPathWithFile() == b.UrlPathWithFile() &&
           a.RawPathWithFile() == b.RawPathWithFile() && a.ExtraInfos() == b.ExtraInfos() &&
           a.Domain() == b.Domain() && a.UrlPath() == b.UrlPath() &&
           a.LocalFileName() == b.LocalFileName();
}

bool HasOwnScheme(std::string_view s) {
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (s.empty() || !alpha(s[0])) return false;
    std::size_t i = 1;
    while (i < s.size() && (alpha(s[i]) || (s[i] >= '0' && s[i] <= '9') || s[i] == '+' ||
                            s[i] == '-' || s[i] == '.'))
        ++i;
    return i < s.size() && s[i] == ':';
}

// A reference with a path of its own must come out with every "." and ".."
// segment resolved; one with neither path nor authority keeps the base path
// as it stands.
void CheckCombine(std::string_view base, std::string_view ref) {
    std::string out;
    if (!CombineUrl(base, ref, out)) return;
    if (HasOwnScheme(ref)) {
        Check(out == ref);
        return;
    }
    const auto sep = out.find("://");
    Check(sep != std::string::npos && sep > 0);
    Check(std::string_view(out).substr(0, sep) == base.substr(0, sep));

    std::string_view r = ref;
    r = r.substr(0, r.find('#'));
    r = r.substr(0, r.find('?'));
    if (r.empty()) return;
    if (r.starts_with("//") && r.find('/', 2) == std::string_view::npos) return;

    std::string_view rest = std::string_view(out).substr(sep + 3);
    const auto pathStart = rest.find_first_of("/?#");
    if (pathStart == std::string_view::npos || rest[pathStart] != '/') return;
    std::string_view path = rest.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    Check(!HasDotSegment(path));
}

// Areas never nest once an area hook has run: every opening is closed
// before the next one opens.
void CheckAreasClosed(std::string_view text) {
    bool open = false;
    for (char c : text) {
        if (c == Marker::AreaOpen || c == Marker::CountedAreaOpen) {
            Check(!open);
            open = true;
        } else if (c == Marker::AreaClose) {
            open = false;
        }
    }
}

// A counted area holds both an HREF and a SRC marker before it closes.
void CheckCountedAreas(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != Marker::CountedAreaOpen) continue;
        bool href = false, src = false, closed = false;
        for (std::size_t j = i + 1; j < text.size(); ++j) {
            if (text[j] == Marker::Href) href = true;
            if (text[j] == Marker::Src) src = true;
            if (text[j] == Marker::AreaClose) {
                closed = true;
                break;
            }
        }
        Check(closed && href && src);
    }
}

void CheckNormalized(std::string_view in, const std::string& out, bool quotesToSpaces,
                     bool keepLineBreaks) {
    Check(out.size() <= in.size());
    for (char c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32) Check(quotesToSpaces && c == Marker::EmptyValue);
        if (!keepLineBreaks) Check(c != '\n');
        if (quotesToSpaces) Check(c != '"' && c != '\'' && c != ',');
    }
}

// Runs the markup passes on copies of the normalised body.
void FuzzMarkup(std::string_view body) {
    for (int flags = 0; flags < 4; ++flags) {
        const bool quotes = flags & 1, lines = flags & 2;
        CheckNormalized(body, NormalizeHtml(body, quotes, lines), quotes, lines);
    }
    const std::string normal = NormalizeHtml(body, true, false);

    std::string marked = normal;
    const bool any = MarkTags(marked);
    Check(marked.size() == normal.size());
    bool changed = false;
    for (std::size_t i = 0; i < marked.size(); ++i) {
        if (marked[i] == normal[i]) continue;
        changed = true;
        Check(IsMarker(marked[i]) && marked[i] != Marker::EmptyValue &&
              marked[i] != Marker::CountedAreaOpen);
    }
    Check(any == changed);

    std::string closed = marked;
    CloseAreas(closed);
    Check(closed.size() == marked.size());
    for (std::size_t i = 0; i < closed.size(); ++i)
        if (closed[i] != marked[i]) Check(closed[i] == Marker::AreaClose);
    CheckAreasClosed(closed);

    std::string counted = marked;
    MarkCountedAreas(counted);
    Check(counted.size() == marked.size());
    for (std::size_t i = 0; i < counted.size(); ++i)
        if (counted[i] != marked[i])
            Check(counted[i] == Marker::AreaClose || counted[i] == Marker::CountedAreaOpen);
    CheckAreasClosed(counted);
    CheckCountedAreas(counted);
}

// The scan core with a storage folder, so that every accepted link also
// gets a local file name.
class FuzzCore : public PageProcessor {
protected:
    std::string StorageFolder() const override { return std::string(kStorage); }
    void QueuePage(PageInfo&, const std::string& url, int, int) override {
        Check(!url.empty() && url.size() <= kMaxUrlLength);
    }
};

void ScanPage(std::string_view url, std::string_view body, bool countedAreas) {
    PageInfo page;
    page.Url.assign(url);
    page.ReferringUrl.assign(url);
    page.Body.assign(body);
    page.DepthLevel = 1;
    if (!page.Parts.Split(url, "")) return;

    // One core serves every run: its constructor reserves room for tens of
    // thousands of visited URLs, which under the sanitizers costs more than
    // the page itself. The per-scan state is reset instead.
    static FuzzCore core;
    core.VisitedUrls.Clear();
    core.KnownHosts.Clear();
    core.AreaCounter = 0;
    core.ResultsMode = 0;
    core.AreaHook = countedAreas ? MarkCountedAreas : CloseAreas;
    std::set<std::string> reported;
    core.OnLinkFound = [&](Component*, FoundLink& lf) {
        Check(!lf.UrlFound.empty());
        Check(lf.UrlFound.size() <= kMaxUrlLength);
        Check(lf.HrefOrSrc == 'H' || lf.HrefOrSrc == 'S' || lf.HrefOrSrc == ' ');
        Check(lf.CountArea >= 0 && lf.CountArea <= core.AreaCounter);
        if (!countedAreas) Check(lf.CountArea == 0);
        // The visited list compares without case: a link is reported once.
        Check(reported.insert(UpperCase(lf.UrlFound)).second);
    };
    core.LinkHook = [&](const LinkHookArgs& a) {
        Check(!a.UrlFound.empty() && a.UrlFound.size() <= kMaxUrlLength);
        CheckLocalFileName(a.LocalFileName);
    };
    core.OnMetaTag = [](Component*, const MetaTag&) {};
    core.ParseHead(page);
    core.ProcessPage(page);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto nl = input.find('\n');
    const std::string_view url = input.substr(0, nl);
    const std::string_view body =
        nl == std::string_view::npos ? std::string_view{} : input.substr(nl + 1);

    UrlParts parts;
    const bool cracked = parts.Split(url, kStorage);
    CheckCrackInvariants(parts, url);
    // One object serves many URLs: a crack after another gives the same parts.
    UrlParts reused;
    reused.Split("https://user:pw@reused.example.org:8443/a/b/c.html?q=1#f", kStorage);
    reused.Split(url, kStorage);
    Check(SameParts(parts, reused));

    CheckCombine(url, body.substr(0, 200));

    FuzzMarkup(body);

    ScanPage(kFixedPage, body, false);
    ScanPage(kFixedPage, body, true);
    if (cracked) ScanPage(url, body, false);
    return 0;
}
