// Entry of the main-window tests: a widget application, offscreen unless a
// display was chosen.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// The program a test starts to exit it for real (StartAndExitTest.cpp).
int RunExitDuringScan();

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (std::getenv("TESSELLON_RUN_EXIT_DURING_SCAN") != nullptr) return RunExitDuringScan();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
