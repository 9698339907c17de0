// Test entry for suites that need a Qt application object: transfer
// threads hand their results to the main thread through its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <csignal>

int main(int argc, char** argv) {
    // A peer that closes early must not kill the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
