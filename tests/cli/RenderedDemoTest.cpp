// The scripted demo gallery scanned with its pages' scripts run: every pair
// that the plain demo stores is stored.
#include "CliRun.h"
#include "TempDir.h"

#include <QtGlobal>

#include <gtest/gtest.h>

#include <set>

// Defined by tests/CMakeLists.txt once the page renderer is the browser
// engine's rather than the stand-in that hands pages back as fetched.
#ifndef TESSELLON_RENDER_WITH_BROWSER_ENGINE
#define TESSELLON_RENDER_WITH_BROWSER_ENGINE 0
#endif

namespace {

// The pictures a demo run stored, as paths inside the gallery's host folder
// (each run serves the gallery on a port, and so a host folder, of its own).
std::set<std::string> PicturesStored(const std::string& out) {
    std::set<std::string> pictures;
    for (const std::string& file : FilesUnder(out)) {
        const std::size_t slash = file.find('/');
        const std::string inHost = slash == std::string::npos ? file : file.substr(slash);
        if (inHost.starts_with("/gallery/pics/") || inHost.starts_with("/gallery/thumbs/"))
            pictures.insert(inHost);
    }
    return pictures;
}

} // namespace

TEST(RenderedDemo, TheScriptedGalleryStoresEveryPairOfThePlainOne) {
    // The browser engine runs without a display, and as root only without
    // its sandbox.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    TempDir dir;
    const CliResult rendered =
        RunCli({"demo", "--scripted", "--render", "--out", dir.Sub("scripted"), "--no-external"},
               nullptr, 240000);
    ASSERT_TRUE(rendered.Finished) << rendered.Out << rendered.Err;
    if (rendered.ExitCode == 2 && rendered.Err.find("unknown option --render") != std::string::npos)
        GTEST_SKIP() << "this build's scan has no --render";
    const std::set<std::string> scripted = PicturesStored(dir.Sub("scripted"));
    if (scripted.empty() && !TESSELLON_RENDER_WITH_BROWSER_ENGINE)
        GTEST_SKIP() << "the page renderer hands pages back as fetched";
    EXPECT_EQ(rendered.ExitCode, 0) << rendered.Out << rendered.Err;

    const CliResult plainRun = RunCli({"demo", "--out", dir.Sub("plain"), "--no-external"});
    ASSERT_EQ(plainRun.ExitCode, 0) << plainRun.Out << plainRun.Err;
    const std::set<std::string> plain = PicturesStored(dir.Sub("plain"));
    EXPECT_FALSE(plain.empty());
    EXPECT_EQ(scripted, plain);
    EXPECT_TRUE(rendered.Has(std::to_string(plain.size()) + " pictures stored")) << rendered.Out;
}
