// tessellon-cli demo: scan the built-in demo gallery as the gallery
// application does (thumbnails paired with their full-size pictures).
#include "cli/CliSupport.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"

#include <algorithm>
#include <cstdio>

const CommandHelp& DemoHelp() {
    static const CommandHelp help = [] {
        CommandHelp h{
            "demo",
            "[--modern | --scripted] [scan options]",
            "Serves the built-in demo gallery on 127.0.0.1 and scans it: pages, "
            "thumbnails\nand their full-size pictures go to the storage folder.",
            {{"modern", "", "serve the gallery in today's markup, where no link names a picture"},
             {"scripted", "",
              "serve pages whose scripts build the thumbnails (found only with --render)"}}};
        h.Options.insert(h.Options.end(), ScanOptions().begin(), ScanOptions().end());
        return h;
    }();
    return help;
}

int RunDemo(std::vector<std::string> args) {
    // Read first, so that a bad argument or --help starts no server;
    // --modern and --scripted are the demo's own, the rest go to the scan.
    DemoOptions options;
    for (ArgReader reader(args, DemoHelp()); !reader.Done();) {
        const std::string a = reader.Next();
        if (a == "--modern") options.Modern = true;
        if (a == "--scripted") options.Scripted = true;
        if (!reader.IsOption())
            throw UsageError{"this command takes no URL: it scans the demo gallery"};
    }
    if (options.Modern && options.Scripted)
        throw UsageError{"--modern and --scripted cannot be combined"};
    std::erase(args, std::string("--modern"));
    std::erase(args, std::string("--scripted"));
    DemoServer server(BuildDemoSite(options));
    if (!server.Start(0)) {
        std::fprintf(stderr, "cannot start the demo gallery server on 127.0.0.1\n");
        return 1;
    }
    std::printf("scanning the demo gallery at %s\n", server.BaseUrl().c_str());
    std::fflush(stdout);

    ScanDefaults defaults;
    defaults.Url = server.BaseUrl();
    defaults.FixedUrl = true;
    defaults.SearchThumbs = true;
    defaults.BothKinds = true;
    defaults.Depth = 2;
    defaults.FailuresSetStatus = false;
    int pictures = 0;
    defaults.OnFileReceived = [&](const std::string& url, bool onDisk) {
        ++pictures;
        std::printf("%s%s\n", onDisk ? "on disk: " : "   done: ", url.c_str());
        std::fflush(stdout);
    };
    const int rc = RunScan(std::move(args), defaults);
    server.Stop();
    std::printf("%d pictures stored\n", pictures);
    return rc;
}
