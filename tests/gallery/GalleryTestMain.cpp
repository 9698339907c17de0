// Entry of the gallery tests: a widget application, offscreen unless a
// display was chosen (the full-screen tests run under Xvfb).
#include <gtest/gtest.h>

#include "gallery/ExceptionGuard.h"

#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The program's own application object, so that its guard is tested too.
    GuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
