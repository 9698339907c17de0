// Entry of the renderer tests: a GUI application on the offscreen platform,
// prepared as the command line prepares it.
#include "render/WebPageRenderer.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    WebPageRenderer::PrepareProcess();
    const std::string problem = WebPageRenderer::EngineProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
