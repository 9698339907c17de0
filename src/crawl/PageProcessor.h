#pragma once

#include "common/Component.h"
#include "crawl/HtmlMarkup.h"
#include "crawl/MailAddresses.h"
#include "crawl/ResultsFile.h"
#include "crawl/StringList.h"
#include "crawl/UrlParts.h"
#include "crawl/UrlSet.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class RequestSlot;

// Everything a link handler learns of a reported link. WriteToFile arrives
// as "x" and decides the results line; FollowIfHtmlLink arrives true and a
// handler that clears it keeps the link from being fetched or grabbed.
struct FoundLink {
    std::string UrlFound, TypeLink, FromUrl, HostName, UrlPath, UrlPathWithFile, ExtraInfos;
    std::string WriteToFile;
    char HrefOrSrc = ' ';
    int CountArea = 0;
    bool FollowIfHtmlLink = true;
};

class PageProcessor;

// What the link hook of a descendant is given for each accepted web link.
// It refers to the sender's working copies: valid during the call only.
struct LinkHookArgs {
    const std::string& TypeLink;
    const std::string& UrlFound;
    const std::string& HostName;
    const std::string& FromUrl;
    char HrefOrSrc;
    int CountArea;
    std::string_view GivenFileName; // the local file name, when the sender has it at hand
    bool Flag;
    // Otherwise the link split without its file name, and the processor
    // whose storage folder names it.
    const UrlParts* Parts = nullptr;
    const PageProcessor* Processor = nullptr;

    // The file the link is stored as. Named on demand: most links found are
    // never stored, and naming a file costs more than the rest of a link.
    std::string LocalFileName() const;
};

// A received page as link extraction sees it.
struct PageInfo {
    std::string Url;          // the page's address as requested
    std::string ReferringUrl; // the page that linked to it (its site decides sameness)
    std::string Head;
    std::string Body;
    UrlParts Parts; // parts of the address links resolve against; BASE HREF changes them
    int DepthLevel = 1;
    RequestSlot* Request = nullptr; // the request that fetched the page, when there is one
};

// Link extraction, link filters and the results file: the part of the scan
// engine that turns a received page into reported, filtered and queued links.
// It runs on page text alone; the engine that fetches pages derives from it
// and supplies the queueing through the virtual operations below.
class PageProcessor : public Component {
public:
    PageProcessor();
    ~PageProcessor() override = default;

    // --- filters and switches ---
    bool KeywordsFilterEnabled = false;
    bool KeywordsLimiterEnabled = false;
    bool StayOnSite = false;
    bool ReportExternalLinks = true;
    bool SeekRobots = false;
    std::uint8_t ResultsMode = 1; // 0 none, 1 FileOfResults, 2 a dated file per scan
    // Also report the pictures of today's markup (srcset, lazy-loading
    // attributes, og:image, image_src) as SRC links, and pair an unlinked
    // IMG with the largest picture of its srcset.
    bool ModernMarkup = false;
    // Also report the mail addresses written in a page's text, outside its
    // tags, as "mail" links.
    bool FindTextAddresses = false;

    virtual void SetKeywordsFilterEnabled(bool v) { KeywordsFilterEnabled = v; }
    virtual void SetKeywordsLimiterEnabled(bool v) { KeywordsLimiterEnabled = v; }
    virtual void SetStayOnSite(bool v) { StayOnSite = v; }
    virtual void SetReportExternalLinks(bool v) { ReportExternalLinks = v; }
    virtual void SetSeekRobots(bool v) { SeekRobots = v; }
    virtual void SetResultsMode(std::uint8_t v) { ResultsMode = v; }
    virtual void SetModernMarkup(bool v) { ModernMarkup = v; }
    virtual void SetFindTextAddresses(bool v) { FindTextAddresses = v; }
    virtual void SetKeywordsFilter(std::string_view text) { AssignList(KeywordsFilter_, text); }
    virtual void SetKeywordsLimiter(std::string_view text) { AssignList(KeywordsLimiter_, text); }
    virtual void SetHtmlExtensions(std::string_view text) { AssignList(HtmlExtensions_, text); }
    std::string GetKeywordsFilter() const { return KeywordsFilter_.Text(); }
    std::string GetKeywordsLimiter() const { return KeywordsLimiter_.Text(); }
    std::string GetHtmlExtensions() const { return HtmlExtensions_.Text(); }
    const StringList& HtmlExtensions() const { return HtmlExtensions_; }

    // A bare name (no "/") is placed in the Download folder of the current folder.
    virtual void SetFileOfResults(const std::string& name);
    static std::string ResultsPathFor(const std::string& name);
    const std::string& FileOfResults() const { return FileOfResults_; }

    // --- per-scan state ---
    UrlSet VisitedUrls; // mark 1: an html page
    // Host names met in this scan, without regard to case: a host is new
    // (its robots.txt is asked for) the first time a link names it. A page
    // may name any number of hosts in any order, so this is a hash set.
    UrlSet KnownHosts;
    int AreaCounter = 0;
    // Every mail address reported since the scan started, once each.
    MailAddressSet MailAddresses;

    // --- events and hooks ---
    std::function<void(Component*, FoundLink&)> OnLinkFound;
    std::function<void(Component*, const MetaTag&)> OnMetaTag;
    std::function<void(std::string&)> AreaHook = CloseAreas;
    std::function<void(const LinkHookArgs&)> LinkHook;
    std::function<void(PageProcessor&, PageInfo&)> PageParsedHook;
    // Notes for the log, such as a link refused for its length.
    std::function<void(Component*, const std::string& message)> OnLog;
    // Lets the user interface process its pending events during long pages.
    std::function<void()> ProcessMessages;
    MessageSink* Messages = nullptr;

    // --- page processing ---
    // Normalise, robots.txt self-report, mark, area hook, extract, page-parsed hook.
    void ProcessPage(PageInfo& page);
    void ExtractLinks(PageInfo& page, std::string& marked, const std::string& siteKey,
                      UrlParts& scratch);
    void ProcessLink(PageInfo& page, std::string_view link, const std::string& siteKey,
                     int countArea, UrlParts& scratch, int tagKind);
    // Link type of an absolute URL ("htm", "jpg", "ftp", ...); gives its scheme.
    std::string TypeOfUrl(std::string_view url, std::string& scheme, int& lastSlash) const;
    void ParseHead(const PageInfo& page);
    void ParseMetaTag(const PageInfo& page, std::string_view tag);
    // Makes a link found on a page absolute; "mail" links give their address.
    static void ResolveLink(std::string_view link, const UrlParts& page, std::string& urlFound,
                            std::string& typeLink);
    // Whether an attribute value is a script call ("javascript:...", or a
    // name with its bracketed arguments ending the value, as go(3) or
    // show(pic.jpg)) rather than an address such as pic(1).jpg.
    static bool IsScriptCall(std::string_view value);

    bool IsHtmlType(std::string_view type) const;
    static bool ContainsAny(const StringList& words, std::string_view url);
    bool PassesKeywordFilters(std::string_view url) const;

    // --- results file ---
    bool OpenResultsFile();
    void CloseResultsFile() { Results_.Close(); }
    bool ResultsOpen() const { return Results_.IsOpen(); }
    const std::string& ResultsFileName() const { return ResultsName_; }

protected:
    virtual bool IsStopping() const { return false; }
    virtual std::string StorageFolder() const { return {}; }
    // Queue an accepted html link found on page.
    virtual void QueuePage(PageInfo& page, const std::string& url, int tagKind, int countArea) {
        (void)page, (void)url, (void)tagKind, (void)countArea;
    }
    // Queue the robots.txt of a host met for the first time.
    virtual void QueueRobots(PageInfo& page, const std::string& robotsUrl, int tagKind,
                             int countArea) {
        (void)page, (void)robotsUrl, (void)tagKind, (void)countArea;
    }
    // Whether notes for the log are wanted at all.
    virtual bool LogsWanted() const { return true; }
    void Log(const std::string& text) {
        if (OnLog && LogsWanted()) OnLog(this, text);
    }
    void ShowMessage(std::string_view text) {
        if (Messages != nullptr) Messages->ShowMessage(text);
    }
    void Breathe() {
        if (ProcessMessages) ProcessMessages();
    }

private:
    friend struct LinkHookArgs;
    static void AssignList(StringList& list, std::string_view text);
    void EndValue(PageInfo& page, std::string& value, const std::string& siteKey, int countArea,
                  UrlParts& scratch, int tagKind);
    // Reports each address of a mail link (the text after "mailto:").
    void ProcessMailLink(PageInfo& page, std::string_view afterScheme, int countArea, int tagKind);
    // Reports one mail address the first time the scan meets it.
    void ReportMail(PageInfo& page, const std::string& address, int countArea, char hrefOrSrc);
    void WriteResult(const FoundLink& link);
    // ResolveLink with the base address built in base, which keeps its room.
    static void ResolveLink(std::string_view link, const UrlParts& page, std::string& urlFound,
                            std::string& typeLink, std::string& base);

    StringList KeywordsFilter_, KeywordsLimiter_, HtmlExtensions_;
    std::string FileOfResults_;
    ResultsFile Results_;
    std::string ResultsName_;
    std::string ResolveBase_; // ResolveLink's working buffer
};
