#include "PageProcessor.h"

#include "common/StringTools.h"
#include "crawl/ResponsiveImages.h"

#include <charconv>

namespace {

constexpr const char* kDefaultKeywordsFilter = "track\nhitbox\nreferer\nstat\ncount\n";
constexpr const char* kDefaultHtmlExtensions =
    "htm\nhtml\nphp\nphp3\nphp4\nphp5\npl\nasp\ncgi\nphtm\nphtml\nshtm\nshtml\n";

char HrefOrSrcOf(int tagKind) {
    if (tagKind == Marker::Href) return 'H';
    if (tagKind == Marker::Src) return 'S';
    return ' ';
}

bool IsWebScheme(std::string_view scheme) {
    return scheme == "http" || scheme == "https";
}

} // namespace

PageProcessor::PageProcessor() {
    VisitedUrls.Reserve(32000);
    KnownHosts.Reserve(10000);
    SetKeywordsFilter(kDefaultKeywordsFilter);
    SetHtmlExtensions(kDefaultHtmlExtensions);
    SetFileOfResults("results.txt");
}

void PageProcessor::AssignList(StringList& list, std::string_view text) {
    list.SetText(LowerCase(text));
    list.Sort();
}

std::string PageProcessor::ResultsPathFor(const std::string& name) {
    if (!name.empty() && name.find('/') == std::string::npos)
        return CurrentFolder() + "/Download/" + name;
    return name;
}

void PageProcessor::SetFileOfResults(const std::string& name) {
    FileOfResults_ = ResultsPathFor(name);
}

bool PageProcessor::ContainsAny(const StringList& words, std::string_view url) {
    // The words are lower case; an address of usual length is lowered on the stack.
    char buffer[512];
    std::string heap;
    std::string_view lower;
    if (url.size() <= sizeof buffer) {
        for (std::size_t i = 0; i < url.size(); ++i)
            buffer[i] = LowerChar(url[i]);
        lower = std::string_view(buffer, url.size());
    } else {
        heap = LowerCase(url);
        lower = heap;
    }
    for (int i = 0; i < words.Count(); ++i)
        if (lower.find(words[i]) != std::string_view::npos) return true;
    return false;
}

bool PageProcessor::PassesKeywordFilters(std::string_view url) const {
    if (KeywordsFilterEnabled && KeywordsFilter_.Count() > 0 && ContainsAny(KeywordsFilter_, url))
        return false;
    if (KeywordsLimiterEnabled && KeywordsLimiter_.Count() > 0 &&
        !ContainsAny(KeywordsLimiter_, url))
        return false;
    return true;
}

bool PageProcessor::IsHtmlType(std::string_view type) const {
    int found = -1, insert = -1;
    return const_cast<StringList&>(HtmlExtensions_).FindOrInsert(type, found, insert, false);
}

bool PageProcessor::OpenResultsFile() {
    ResultsName_.clear();
    std::string name;
    if (ResultsMode == 1) name = FileOfResults_;
    if (ResultsMode == 2) name = CurrentFolder() + "/Download/" + DatedResultsName();
    if (name.empty()) return true;
    const bool ok =
        ResultsMode == 2 ? Results_.OpenExclusive(name, ResultsName_) : Results_.Open(name);
    if (!ok) {
        ShowMessage("unable to create file: " + name);
        return false;
    }
    if (ResultsMode == 1) ResultsName_ = name;
    return true;
}

void PageProcessor::ResolveLink(std::string_view link, const UrlParts& page, std::string& urlFound,
                                std::string& typeLink) {
    std::string base;
    ResolveLink(link, page, urlFound, typeLink, base);
}

void PageProcessor::ResolveLink(std::string_view link, const UrlParts& page, std::string& urlFound,
                                std::string& typeLink, std::string& base) {
    urlFound.clear();
    std::string_view trimmed = link;
    while (!trimmed.empty() && trimmed.front() == ' ')
        trimmed.remove_prefix(1);

    if (StartsWithNoCase(trimmed, "mailto:")) {
        typeLink = "mail";
        urlFound.assign(trimmed.substr(7));
        return;
    }
    if (StartsWithNoCase(trimmed, "javascript:")) return;

    if (!StartsWithNoCase(link, "http://") && !StartsWithNoCase(link, "https://")) {
        const std::string& scheme = page.Scheme();
        const std::string_view baseScheme =
            IsWebScheme(scheme) ? std::string_view(scheme) : std::string_view("http");
        base.assign(baseScheme).append("://").append(page.HostName());
        if (page.Port() != 0 && page.Port() != UrlParts::DefaultPort(baseScheme)) {
            char digits[8];
            const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, page.Port());
            base.append(1, ':').append(digits, end);
        }
        base += page.RawPathWithFile();
        if (!CombineUrl(base, link, urlFound)) urlFound.clear();
    } else {
        urlFound.assign(link);
    }
    const auto hash = urlFound.find('#');
    if (hash != std::string::npos && hash > 0) urlFound.resize(hash);
}

std::string PageProcessor::TypeOfUrl(std::string_view url, std::string& scheme,
                                     int& lastSlash) const {
    std::string_view u = url;
    std::string type = "unknown";
    scheme = "http";
    const auto sep = u.find("://");
    const bool hasScheme = sep != std::string_view::npos && sep > 0;
    if (hasScheme) scheme = LowerCase(u.substr(0, sep));
    for (char cut : {'&', '?', '#'}) {
        const auto p = u.find(cut);
        if (p != std::string_view::npos && p > 0) u = u.substr(0, p);
    }
    // The slashes of "://" do not count as the path's.
    auto slash = u.rfind('/');
    if (hasScheme && slash != std::string_view::npos && (slash == sep + 1 || slash == sep + 2))
        slash = u.rfind('/', sep);
    const int s = slash == std::string_view::npos ? 0 : int(slash) + 1;
    const int d = LastCharPos('.', u);
    const int len = int(u.size());
    lastSlash = s;
    if (!IsWebScheme(scheme)) {
        type = scheme;
    } else if (d > 0) {
        if (s <= 0 || s > d)
            type = "htm";
        else if (d < len)
            type = u.substr(std::size_t(d));
        else if (u.find("cgi") != std::string_view::npos)
            type = "cgi";
        else if (u.find("dbm") != std::string_view::npos)
            type = "dbm";
    }
    if (EqualsNoCase(type, "jpeg")) type = "jpg";
    if (EqualsNoCase(type, "html")) type = "htm";
    if (type == "unknown" && d < len) {
        const std::string_view after = u.substr(std::size_t(d));
        type = "htm";
        // The extensions list is searched in list order, first match wins.
        for (int i = 0; i < HtmlExtensions_.Count(); ++i) {
            const std::string& e = HtmlExtensions_[i];
            if (StartsWithNoCase(after, e)) {
                type = e;
                break;
            }
        }
    }
    return LowerCase(type);
}

void PageProcessor::ProcessPage(PageInfo& page) {
    UrlParts scratch;
    scratch.Split(page.ReferringUrl, {});
    const std::string siteKey = scratch.Domain();

    std::string rewritten;
    const bool rewrite = ModernMarkup && RewriteModernMarkup(page.Body, rewritten);
    std::string text = NormalizeHtml(rewrite ? rewritten : page.Body, true, false);
    Breathe();

    const std::string& url = page.Url;
    if (url.size() >= 10 &&
        EqualsNoCase(std::string_view(url).substr(url.size() - 10), "robots.txt"))
        ProcessLink(page, url, page.Parts.Domain(), 0, scratch, Marker::NoAttribute);

    const bool marked = MarkTags(text);
    if (marked) {
        Breathe();
        if (AreaHook) AreaHook(text);
        ExtractLinks(page, text, siteKey, scratch);
    }
    // Addresses in the text come after the links, and a page without a
    // single link may still write some.
    if (FindTextAddresses && !IsStopping()) {
        for (const std::string& address : TextMailAddresses(page.Body)) {
            ReportMail(page, address, 0, ' ');
            if (IsStopping()) return;
        }
    }
    if (marked && PageParsedHook) PageParsedHook(*this, page);
}

void PageProcessor::ExtractLinks(PageInfo& page, std::string& marked, const std::string& siteKey,
                                 UrlParts& scratch) {
    bool collecting = false;
    bool inCounted = false;
    int tagKind = Marker::NoAttribute;
    std::string value;
    value.reserve(256);
    const std::size_t n = marked.size();
    for (std::size_t i = 0; i < n; ++i) {
        // Outside a value only markers matter.
        if (!collecting) {
            i = NextMarker(marked, i);
            if (i == n) break;
        }
        // The stop request can only change while events are processed, which
        // happens after each link: checking it there is checking it always.
        const char c = marked[i];
        switch (c) {
        case Marker::AreaOpen:
            collecting = false;
            ++AreaCounter;
            continue;
        case Marker::CountedAreaOpen:
            inCounted = true;
            collecting = false;
            ++AreaCounter;
            continue;
        case Marker::AreaClose:
            inCounted = false;
            collecting = false;
            continue;
        case Marker::EmptyValue:
            collecting = false; // an empty attribute value yields no link
            continue;
        default:
            break;
        }
        if (static_cast<unsigned char>(c) <= 12) {
            tagKind = c;
            collecting = true;
            value.clear();
            continue;
        }
        if (!collecting) continue;
        if (value.empty()) {
            if (c == ' ') continue;
            if (c == '>') {
                collecting = false;
                continue;
            }
        } else if (c == ' ' || c == '>') {
            collecting = false;
            EndValue(page, value, siteKey, inCounted ? AreaCounter : 0, scratch, tagKind);
            if (IsStopping()) return;
            continue;
        }
        value += c;
    }
}

bool PageProcessor::IsScriptCall(std::string_view value) {
    if (StartsWithNoCase(value, "javascript:")) return true;
    const auto open = value.find('(');
    if (open == std::string_view::npos || open == 0) return false;
    for (std::size_t i = 0; i < open; ++i) {
        const char c = value[i];
        const bool letter =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(i > 0 && (digit || c == '.'))) return false;
    }
    // The call ends the value: pic(1).jpg is a file name, not a call.
    const auto close = value.rfind(')');
    return close != std::string_view::npos && close > open &&
           (close + 1 == value.size() || value.substr(close + 1) == ";");
}

void PageProcessor::EndValue(PageInfo& page, std::string& value, const std::string& siteKey,
                             int countArea, UrlParts& scratch, int tagKind) {
    if (FindNoCase(value, "TOP.WINDOW") != std::string::npos) return;

    const bool script = IsScriptCall(value);
    const auto open = value.find('(');
    if (script && open != std::string::npos && open > 0) {
        value.erase(0, open + 1);
        const auto close = value.find(')');
        if (close != std::string::npos && close > 0) value.resize(close);
        // A call such as show(pic.jpg) names a file; void(0) or go(3) names none.
        if (FindAnyOf(value, "./") == std::string::npos) return;
    }
    const auto lt = value.find('<');
    if (lt != std::string::npos) value.resize(lt);
    const auto gt = value.find('>');
    if (gt != std::string::npos) value.resize(gt);
    // The argument of a script call is taken only when it is a plain name;
    // an attribute value is an address whatever brackets or "+" it holds.
    if (script && FindAnyOf(value, "()+[]") != std::string::npos) return;
    // The page's character references stand for the characters they name.
    if (value.find('&') != std::string::npos) value = DecodeEntities(value);
    if (value == "=" || value.empty()) return;
    if (tagKind == Marker::Value &&
        (FindAnyOf(value, " ;") != std::string::npos || value.find('/') == std::string::npos))
        return;
    if (tagKind == Marker::Base) {
        // Later links of the page resolve against the base address.
        std::string baseUrl, ignored;
        ResolveLink(value, page.Parts, baseUrl, ignored);
        UrlParts probe;
        if (!baseUrl.empty() && probe.Split(baseUrl, StorageFolder())) {
            page.Parts = probe;
            // The base itself is reported as the address it resolved to,
            // not resolved a second time against itself.
            value = baseUrl;
        }
    }
    ProcessLink(page, value, siteKey, countArea, scratch, tagKind);
    Breathe();
}

void PageProcessor::ProcessLink(PageInfo& page, std::string_view link, const std::string& siteKey,
                                int countArea, UrlParts& scratch, int tagKind) {
    bool accept = true;
    bool isHttp = false;
    const char hrefOrSrc = HrefOrSrcOf(tagKind);
    std::string typeLink = "unknown";
    std::string urlFound;
    std::string scheme;
    // The visited list's key of urlFound, worked out once for its lookups.
    UrlSet::Key visited;
    bool visitedKnown = false;

    ResolveLink(link, page.Parts, urlFound, typeLink, ResolveBase_);
    if (typeLink == "mail") {
        ProcessMailLink(page, urlFound, countArea, tagKind);
        return;
    }
    if (urlFound.size() > kMaxUrlLength) {
        Log("link refused, longer than " + std::to_string(kMaxUrlLength) + " characters (" +
            std::to_string(urlFound.size()) + "): " + urlFound.substr(0, 100) + "...");
        return;
    }
    if (urlFound.empty()) accept = false;
    if (accept && !PassesKeywordFilters(urlFound)) accept = false;

    if (accept) {
        int lastSlash = 0;
        if (typeLink == "unknown") typeLink = TypeOfUrl(urlFound, scheme, lastSlash);
        isHttp = IsWebScheme(scheme);
        if (typeLink == "unknown") {
            accept = false;
        } else if (isHttp && urlFound.back() != ')' &&
                   VisitedUrls.Contains(visited = UrlSet::KeyOf(urlFound))) {
            // A repeat of a web address handled in this scan: that address was
            // split without fault before, and only its host is still to be
            // noted (a repeat of the starting address may be the host's first
            // link). Most links of a site are repeats: they skip the splitting.
            KnownHosts.FindOrInsert(UrlParts::HostPart(urlFound), true);
            return;
        } else {
            visitedKnown = isHttp && urlFound.back() != ')';
            scratch.Split(urlFound, {});
        }
        // A web link that cannot be split cannot be fetched or stored.
        if (accept && isHttp && !scratch.Valid()) accept = false;
    }

    bool newHost = false;
    if (accept && isHttp) {
        if (!urlFound.empty() && urlFound.back() == ')') urlFound.pop_back();
        newHost = !KnownHosts.FindOrInsert(scratch.HostName(), true);
    }

    if (accept && !urlFound.empty()) {
        if (!visitedKnown) visited = UrlSet::KeyOf(urlFound); // ")" dropped, or not a web link
        if (VisitedUrls.FindOrInsert(visited, true)) accept = false;
    }

    if (typeLink == "com" || typeLink == "net" || typeLink == "org")
        typeLink = "htm";
    else if (typeLink.size() > 6)
        accept = false;
    if (!typeLink.empty() && typeLink[0] >= '1' && typeLink[0] <= '9') typeLink = "???";

    if (!accept) return;

    // Sites are compared for web links alone; a listener and the results
    // file see every reported link, and without them nothing is copied.
    const bool sameSite = isHttp && EqualsNoCase(scratch.Domain(), siteKey);
    const bool report = !isHttp || ReportExternalLinks || sameSite;
    if (report && OnLinkFound) {
        FoundLink lf;
        lf.UrlFound = urlFound;
        lf.TypeLink = typeLink;
        lf.FromUrl = page.Url;
        lf.WriteToFile.assign(1, 'x');
        lf.HrefOrSrc = hrefOrSrc;
        lf.CountArea = countArea;
        lf.FollowIfHtmlLink = accept;
        if (isHttp) {
            lf.HostName = scratch.HostName();
            lf.UrlPath = scratch.UrlPath();
            lf.UrlPathWithFile = scratch.UrlPathWithFile();
            lf.ExtraInfos = scratch.ExtraInfos();
        }
        OnLinkFound(this, lf);
        accept = lf.FollowIfHtmlLink;
        WriteResult(lf);
    } else if (report && ResultsOpen()) {
        Results_.WriteLink(typeLink, urlFound);
    }

    if (!accept || !isHttp) return;

    // The handler may have let other pages run: find the entry again.
    if (IsHtmlType(typeLink)) {
        VisitedUrls.SetMark(visited, 1);
        bool follow = !(page.DepthLevel > 1 && StayOnSite && !sameSite);
        if (follow && !IsStopping()) {
            if (newHost && SeekRobots)
                QueueRobots(page, scratch.Origin() + "/robots.txt", tagKind, countArea);
            QueuePage(page, urlFound, tagKind, countArea);
        }
    } else {
        VisitedUrls.SetMark(visited, 0);
    }

    if (!IsStopping() && LinkHook)
        LinkHook(LinkHookArgs{typeLink,
                              urlFound,
                              scratch.HostName(),
                              page.Url,
                              hrefOrSrc,
                              countArea,
                              {},
                              true,
                              &scratch,
                              this});
}

std::string LinkHookArgs::LocalFileName() const {
    if (Parts == nullptr || Processor == nullptr) return std::string(GivenFileName);
    return Parts->LocalFileNameUnder(Processor->StorageFolder());
}

void PageProcessor::WriteResult(const FoundLink& link) {
    if (!ResultsOpen()) return;
    if (link.WriteToFile == "x")
        Results_.WriteLink(link.TypeLink, link.UrlFound);
    else if (!link.WriteToFile.empty())
        Results_.WriteLine(link.WriteToFile);
}

void PageProcessor::ProcessMailLink(PageInfo& page, std::string_view afterScheme, int countArea,
                                    int tagKind) {
    for (const std::string& address : MailtoAddresses(afterScheme)) {
        ReportMail(page, address, countArea, HrefOrSrcOf(tagKind));
        if (IsStopping()) return;
    }
}

void PageProcessor::ReportMail(PageInfo& page, const std::string& address, int countArea,
                               char hrefOrSrc) {
    if (!PassesKeywordFilters(address) || !MailAddresses.Add(address)) return;
    FoundLink lf;
    lf.UrlFound = address;
    lf.TypeLink = "mail";
    lf.FromUrl = page.Url;
    lf.HostName = address.substr(address.rfind('@') + 1);
    lf.WriteToFile.assign(1, 'x');
    lf.HrefOrSrc = hrefOrSrc;
    lf.CountArea = countArea;
    if (OnLinkFound) OnLinkFound(this, lf);
    WriteResult(lf);
}

void PageProcessor::ParseHead(const PageInfo& page) {
    if (!OnMetaTag) return;
    const std::string& body = page.Body;
    const auto start = FindNoCase(body, "<HEAD>");
    if (start == std::string::npos) return;
    const auto end = FindNoCase(body, "</HEAD>", start + 6);
    if (end == std::string::npos) return;
    const std::string head =
        NormalizeHtml(std::string_view(body).substr(start + 6, end - start - 6), false, true);

    const auto t1 = FindNoCase(head, "<TITLE>");
    if (t1 != std::string::npos) {
        const auto t2 = FindNoCase(head, "</TITLE>", t1 + 7);
        if (t2 != std::string::npos) {
            MetaTag title;
            title.Url = page.Url;
            title.ReferringUrl = page.ReferringUrl;
            title.TagType = "TITLE";
            title.Tag1stAttrib = "TITLE";
            title.Tag1stValue = head.substr(t1 + 7, t2 - t1 - 7);
            OnMetaTag(this, title);
        }
    }

    std::string tag;
    bool inTag = false;
    for (char c : head) {
        if (c == '<') {
            tag.clear();
            inTag = true;
        } else if (c == '>') {
            if (inTag && tag.size() > 5 && tag[4] == ' ') ParseMetaTag(page, tag);
            inTag = false;
        } else if (inTag) {
            tag += c;
        }
    }
}

void PageProcessor::ParseMetaTag(const PageInfo& page, std::string_view tag) {
    MetaTag meta;
    if (!ParseMetaTagText(tag, meta)) return;
    meta.Url = page.Url;
    meta.ReferringUrl = page.ReferringUrl;
    if (OnMetaTag) OnMetaTag(this, meta);
}
