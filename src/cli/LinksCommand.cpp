// tessellon-cli links: what a saved page yields under the link filters.
#include "cli/CliSupport.h"
#include "cli/CommandApp.h"
#include "common/StringTools.h"
#include "crawl/PageProcessor.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

void PrintQuoted(std::string& line, std::string_view field) {
    line += ";\"";
    line += field;
    line += '"';
}

// Replaces body by the document its scripts build at url; a problem is told
// on standard error, and a page that could not be rendered stays as it is.
void RenderBody(CommandApp& command, const std::string& url, std::string& body) {
    PageRenderer& renderer = *command.Renderer();
    renderer.Prepare({.Capacity = 1});
    bool done = false;
    renderer.Render(url, body, [&](PageRenderer::Result result) {
        if (!result.Problem.empty())
            std::fprintf(stderr, "%s: %s\n", url.c_str(), result.Problem.c_str());
        if (!result.Html.empty()) body = std::move(result.Html);
        done = true;
        command.App().quit();
    });
    if (!done) command.App().exec();
}

} // namespace

const CommandHelp& LinksHelp() {
    static const CommandHelp help{
        "links",
        "FILE --url PAGE_URL [options]",
        "Reads FILE as the body of the page at PAGE_URL and prints the links it yields\n"
        "the way the results file records them.",
        {
            {"url", "PAGE_URL", "the page's address (required)"},
            {"filter", "[WORDS]",
             "drop links containing any of the words (default: track, hitbox, referer, stat, "
             "count)"},
            {"limiter", "WORDS", "keep only links containing one of the words (comma-separated)"},
            {"no-external", "", "hide links to other sites"},
            {"html-ext", "LIST", "link types that count as html pages"},
            {"areas", "", "count link areas as the grabber does (thumbnail pairing)"},
            {"attributes", "", "append the attribute kind (H/S) and the link area"},
            {"meta", "", "also print the page title and head tags"},
            {"modern-markup", "",
             "also take pictures from srcset, lazy-loading attributes and og:image"},
            {"render", "",
             "run the page's scripts first, with PAGE_URL as its address, and read the "
             "document as it then stands"},
        }};
    return help;
}

int RunLinks(std::vector<std::string> argv) {
    ArgReader args(std::move(argv), LinksHelp());
    std::string file, url;
    bool attributes = false, meta = false;
    PageProcessor core;
    StderrMessages messages;
    core.Messages = &messages;
    while (!args.Done()) {
        const std::string a = args.Next();
        if (a == "--url") {
            url = args.Value(a);
        } else if (a == "--filter") {
            core.KeywordsFilterEnabled = true;
            std::string words;
            if (args.OptionalValue(words)) core.SetKeywordsFilter(CommaListToLines(words));
        } else if (a == "--limiter") {
            core.KeywordsLimiterEnabled = true;
            core.SetKeywordsLimiter(CommaListToLines(args.Value(a)));
        } else if (a == "--no-external") {
            core.ReportExternalLinks = false;
        } else if (a == "--html-ext") {
            core.SetHtmlExtensions(CommaListToLines(args.Value(a)));
        } else if (a == "--areas") {
            core.AreaHook = MarkCountedAreas;
        } else if (a == "--attributes") {
            attributes = true;
        } else if (a == "--meta") {
            meta = true;
        } else if (a == "--modern-markup") {
            core.SetModernMarkup(true);
        } else if (a == "--render") {
            // the application object was made above
        } else if (args.IsOption()) {
            throw UsageError{"unknown option " + a};
        } else if (file.empty()) {
            file = a;
        } else {
            throw UsageError{"only one FILE may be given"};
        }
    }
    if (file.empty()) throw UsageError{"no FILE given"};
    if (url.empty()) throw UsageError{"--url PAGE_URL is required"};

    const bool render = args.Has("--render");
    PageInfo page;
    page.Url = url;
    page.ReferringUrl = url;
    page.DepthLevel = 1;
    if (!page.Parts.Split(url, "")) throw UsageError{"Invalid Url : " + url};
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || !ReadWholeFile(file, page.Body)) {
        std::fprintf(stderr, "cannot read %s: check that the file exists and is readable\n",
                     file.c_str());
        return 1;
    }

    // The browser engine is started only for --render, once the file is read.
    if (render) {
        CommandApp command(true);
        RenderBody(command, url, page.Body);
    }

    core.OnLinkFound = [&](Component*, FoundLink& lf) {
        std::string line = ResultsFile::FormatLine(lf.TypeLink, lf.UrlFound);
        if (attributes) {
            PrintQuoted(line, std::string(1, lf.HrefOrSrc));
            PrintQuoted(line, std::to_string(lf.CountArea));
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    };
    // Notes such as a link refused for its length go with the messages.
    core.OnLog = [](Component*, const std::string& note) {
        std::fprintf(stderr, "%s\n", note.c_str());
    };
    if (meta) {
        core.OnMetaTag = [](Component*, const MetaTag& m) {
            std::string line = "META";
            for (const std::string* f :
                 {&m.TagType, &m.Tag1stAttrib, &m.Tag1stValue, &m.Tag2ndAttrib, &m.Tag2ndValue,
                  &m.Tag3rdAttrib, &m.Tag3rdValue})
                PrintQuoted(line, *f);
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
        };
        core.ParseHead(page);
    }
    core.ProcessPage(page);
    return 0;
}
