// tessellon-cli demo-server: serve the built-in demo gallery on 127.0.0.1
// until Ctrl-C, or write it out as static files.
#include "cli/CliSupport.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"

#include <chrono>
#include <cstdio>
#include <thread>

const CommandHelp& DemoServerHelp() {
    static const CommandHelp help{
        "demo-server",
        "[--port N] [--pages N] [--pairs N] [--full-width N] [--quality N] "
        "[--modern | --scripted] [--write DIR]",
        "Serves the built-in demo gallery on 127.0.0.1 until Ctrl-C, or writes it into DIR\n"
        "as static files.",
        {
            {"port", "N", "the port to listen on (0: a free one)"},
            {"pages", "N", "gallery pages (1 to 9999)"},
            {"pairs", "N", "thumbnail / picture pairs on a page (1 to 999)"},
            {"full-width", "N", "width of the full-size pictures (128 to 8192)"},
            {"full-height", "N", "height of the full-size pictures (96 to 8192)"},
            {"quality", "N", "JPEG quality of the pictures (1 to 100)"},
            {"modern", "",
             "write the pages in today's markup (srcset, picture, lazy loading, og:image)"},
            {"scripted", "",
             "send pages without pictures whose scripts fetch a list (pageN.json) and build the "
             "thumbnails, half of them when the page is scrolled to its end"},
            {"write", "DIR", "write the gallery into DIR instead of serving it"},
        }};
    return help;
}

int RunDemoServer(std::vector<std::string> argv) {
    ArgReader args(std::move(argv), DemoServerHelp());
    DemoOptions options;
    int port = 0;
    std::string writeDir;
    bool write = false;
    while (!args.Done()) {
        const std::string a = args.Next();
        if (a == "--port") {
            port = args.IntValue(a, 0, 65535);
        } else if (a == "--pages") {
            options.Pages = args.IntValue(a, 1, 9999);
        } else if (a == "--pairs") {
            options.Pairs = args.IntValue(a, 1, 999);
        } else if (a == "--full-width") {
            options.FullWidth = args.IntValue(a, 128, 8192);
        } else if (a == "--full-height") {
            options.FullHeight = args.IntValue(a, 96, 8192);
        } else if (a == "--quality") {
            options.Quality = args.IntValue(a, 1, 100);
        } else if (a == "--modern") {
            options.Modern = true;
        } else if (a == "--scripted") {
            options.Scripted = true;
        } else if (a == "--write") {
            writeDir = args.Value(a);
            if (writeDir.empty()) throw UsageError{"--write needs a folder"};
            write = true;
        } else {
            throw UsageError{args.IsOption() ? "unknown option " + a
                                             : "demo-server takes no argument \"" + a + "\""};
        }
    }
    if (options.Modern && options.Scripted)
        throw UsageError{"--modern and --scripted cannot be combined"};
    std::map<std::string, DemoFile> site = BuildDemoSite(options);

    if (write) {
        std::string error;
        if (!WriteDemoSite(site, writeDir, error)) {
            std::fprintf(stderr, "tessellon-cli: %s\n", error.c_str());
            return 1;
        }
        long long bytes = 0;
        for (const auto& [path, file] : site)
            bytes += (long long)file.Bytes.size();
        std::printf("wrote the demo gallery to %s: %zu files, %lld bytes\n", writeDir.c_str(),
                    site.size(), bytes);
        return 0;
    }

    DemoServer server(std::move(site));
    if (!server.Start(port)) {
        if (port != 0)
            std::fprintf(stderr,
                         "tessellon-cli: cannot listen on 127.0.0.1:%d (port in use or not "
                         "allowed)\n",
                         port);
        else
            std::fprintf(stderr, "tessellon-cli: cannot listen on 127.0.0.1\n");
        return 1;
    }
    InstallInterruptHandler();
    std::printf("serving the demo gallery at %s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "press Ctrl-C to stop\n");
    while (InterruptCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
    return 0;
}
