// tessellon-cli demo: scan the built-in demo gallery as the gallery
// application does (thumbnails paired with their full-size pictures).
#include "cli/CliSupport.h"
#include "demo/DemoServer.h"
#include "demo/DemoSite.h"

#include <algorithm>
#include <cstdio>

int RunDemo(std::vector<std::string> args) {
    // --modern serves the gallery in today's markup; the scan options follow.
    DemoOptions options;
    const auto modern = std::find(args.begin(), args.end(), "--modern");
    if (modern != args.end()) {
        options.Modern = true;
        args.erase(modern);
    }
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
