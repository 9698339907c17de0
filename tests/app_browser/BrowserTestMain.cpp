// Entry of the browser tests: a widget application with the web engine on
// a real X server.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "app_browser_tests need an X server: run them under xvfb-run -a\n");
        return 77;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The engine's sandbox refuses to run as root, as test containers do.
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
