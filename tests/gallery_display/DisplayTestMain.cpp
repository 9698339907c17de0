// Entry of the display tests: a widget application on a real X server.
#include <gtest/gtest.h>

#include "gallery/ExceptionGuard.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // These tests look at what reaches an X screen; offscreen would not do.
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "gallery_display_tests need an X server: run them under xvfb-run -a\n");
        return 77;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    GuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
