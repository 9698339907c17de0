// Entry of the browser tests: a widget application with the web engine on
// a real X server.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

// The browser's profile folder of this run. The engine writes its cache index
// and network state there as it shuts down, after the application object is
// gone: the folder is removed at exit, after everything the engine set up
// to run then (registered later, so run earlier).
char ProfileFolder[] = "/tmp/tessellon-browser-data-XXXXXX";

void RemoveProfileFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(ProfileFolder, ignored);
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "app_browser_tests need an X server: run them under xvfb-run -a\n");
        return 77;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The engine's sandbox refuses to run as root, as test containers do.
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    // The browser's profile (cookies, storage) goes to a folder of the
    // test's own, never the user's data folder.
    if (::mkdtemp(ProfileFolder) == nullptr) return 1;
    std::atexit(RemoveProfileFolder);
    ::setenv("XDG_DATA_HOME", ProfileFolder, 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
