#include "cli/CliSupport.h"
#include "http/TransferLoop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char* const kUsage =
    "usage: tessellon-cli COMMAND [options]\n"
    "   or: tessellon-cli --help | --version\n"
    "   or: tessellon-cli COMMAND --help (or help COMMAND): the options of one command\n"
    "\n"
    "An option's value follows it (--depth 3) or is joined to it (--depth=3); \"--\" ends\n"
    "the options, for arguments that begin with a dash.\n"
    "\n"
    "commands:\n"
    "  links FILE --url PAGE_URL [--filter [WORDS]] [--limiter WORDS] [--no-external]\n"
    "        [--html-ext LIST] [--areas] [--attributes] [--meta] [--modern-markup]\n"
    "        [--render]\n"
    "        print the links a saved page yields, as the results file lists them\n"
    "  get [options] URL... | -i FILE\n"
    "        download the addresses into the storage folder; options: --out DIR,\n"
    "        --concurrency N, --retries N, --timeout S, --reuse, --user U --password P,\n"
    "        --proxy HOST:PORT | --no-proxy, --proxy-user U, --proxy-password P, --referer URL,\n"
    "        --polite, --per-host N, --cookies FILE | --no-cookies\n"
    "  scan [options] URL\n"
    "        crawl from URL and download the wanted files; options: --out DIR, --depth N,\n"
    "        --concurrency N, --file-concurrency N, --retries N, --timeout S, --types LIST,\n"
    "        --download src|href|both, --thumbs, --stay-on-site, --no-external,\n"
    "        --filter [WORDS], --limiter WORDS, --html-ext LIST, --results FILE,\n"
    "        --dated-results, --referer URL, --no-store-pages, --reuse-pages, --robots,\n"
    "        --max-queue N, --max-file-queue N, --leaves-first, --user U, --password P,\n"
    "        --proxy HOST:PORT | --no-proxy, --proxy-user U, --proxy-password P, --links, --log,\n"
    "        --modern-markup, --polite, --per-host N, --resume, --no-xattr,\n"
    "        --cookies FILE | --no-cookies, --render\n"
    "        --cookies FILE: start with the cookies of a Netscape cookies file;\n"
    "        --no-cookies: send and keep no cookie (by default the sites' cookies are kept)\n"
    "        --polite: a server that answers 429, or 503 with Retry-After, is waited for (up\n"
    "        to 120 s a time); the host's connections are halved and grow back while it answers;\n"
    "        --per-host N: at most N connections to one host (implies --polite)\n"
    "        --resume: continue the unfinished scan of URL journaled in the storage folder\n"
    "        (a scan stopped by Ctrl-C, a crash or a kill); --no-xattr: store files without\n"
    "        the attributes that say where each came from (user.xdg.origin.url and\n"
    "        user.xdg.referrer.url)\n"
    "        --render: run page scripts before looking for pictures: each page is loaded in\n"
    "        the browser engine (offscreen without a display), scrolled to its end, and read\n"
    "        as it then stands (links --render: the saved page, with PAGE_URL as its address)\n"
    "  demo [--modern | --scripted] [scan options]\n"
    "        serve the built-in demo gallery on 127.0.0.1 and scan it: pages, thumbnails and\n"
    "        their full-size pictures go to the storage folder (default ./Download)\n"
    "  demo-server [--port N] [--pages N] [--pairs N] [--full-width N] [--quality N]\n"
    "        [--modern | --scripted] [--write DIR]\n"
    "        serve the built-in demo gallery on 127.0.0.1 until Ctrl-C (port 0: a free one),\n"
    "        or write it into DIR as static files; --modern writes its pages in today's\n"
    "        markup (srcset, picture, lazy loading, og:image), where no link names a picture;\n"
    "        --scripted sends pages without pictures whose scripts fetch a list (pageN.json)\n"
    "        and build the thumbnails, half of them once the page is scrolled to its end\n";

// The help of a command; null for an unknown one.
const CommandHelp* HelpOf(const std::string& command) {
    if (command == "links") return &LinksHelp();
    if (command == "get") return &GetHelp();
    if (command == "scan") return &ScanHelp();
    if (command == "demo") return &DemoHelp();
    if (command == "demo-server") return &DemoServerHelp();
    return nullptr;
}

#ifndef TESSELLON_WITH_RENDER
// Whether the command's options ask for page scripts (options end at "--").
bool WantsRender(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") return false;
        if (arg == "--render") return true;
    }
    return false;
}

// Runs the same command in tessellon-cli-render, the program that carries
// the browser engine: beside this one (a build tree, or installed together),
// else where it is installed. Returns only when it could not be started.
int HandOffRender(char** argv) {
    std::vector<std::string> places;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, std::size_t(n));
        places.push_back(path.substr(0, path.rfind('/') + 1) + "tessellon-cli-render");
    }
    places.emplace_back(TESSELLON_RENDER_INSTALLED); // set by src/cli/CMakeLists.txt
    int error = ENOENT;
    for (const std::string& place : places) {
        if (::access(place.c_str(), X_OK) != 0) continue;
        ::execv(place.c_str(), argv);
        error = errno;
    }
    std::fprintf(stderr,
                 "tessellon-cli: --render is not available: tessellon-cli-render cannot be "
                 "started (%s: %s); reinstall Tessellon or scan without --render\n",
                 places.back().c_str(), std::strerror(error));
    return 1;
}
#endif

int RunCommand(const std::string& command, std::vector<std::string> args) {
    if (command == "links") return RunLinks(std::move(args));
    if (command == "get") return RunGet(std::move(args));
    if (command == "scan") return RunScan(std::move(args), ScanDefaults{});
    if (command == "demo") return RunDemo(std::move(args));
    if (command == "demo-server") return RunDemoServer(std::move(args));
    if (command == "--help" || command == "-h" || command == "help") {
        if (args.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const CommandHelp* help = HelpOf(args[0]);
        if (help == nullptr || args.size() > 1) throw UsageError{"help takes one command"};
        std::fputs(help->Text().c_str(), stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("tessellon-cli " TESSELLON_VERSION); // defined by packaging/CMakeLists.txt
        return 0;
    }
    throw UsageError{"unknown command " + command};
}

} // namespace

int main(int argc, char** argv) {
    KeepTransferMemory();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
#ifndef TESSELLON_WITH_RENDER
    if (WantsRender(argc, argv)) return HandOffRender(argv);
#endif
    try {
        return RunCommand(command, std::vector<std::string>(argv + 2, argv + argc));
    } catch (const HelpRequest& help) {
        std::fputs(help.text.c_str(), stdout);
        return 0;
    } catch (const UsageError& e) {
        // A command's own usage line, or the whole usage when the command is
        // not known.
        const CommandHelp* help = HelpOf(command);
        if (help != nullptr)
            std::fprintf(stderr,
                         "tessellon-cli: %s\n%s(tessellon-cli %s --help lists its options)\n",
                         e.message.c_str(), help->UsageLine().c_str(), command.c_str());
        else
            std::fprintf(stderr, "tessellon-cli: %s\n\n%s", e.message.c_str(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessellon-cli: %s\n", e.what());
        return 1;
    }
}
