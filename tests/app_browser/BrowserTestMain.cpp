// Entry of the browser tests: a widget application with the web engine on
// a real X server.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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
    char data[] = "/tmp/tessellon-browser-data-XXXXXX";
    if (::mkdtemp(data) == nullptr) return 1;
    ::setenv("XDG_DATA_HOME", data, 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    return result;
}
