#include "cli/CommandApp.h"

#include "render/WebPageRenderer.h"

#include <QGuiApplication>

#include <exception>
#include <stdexcept>
#include <string>

CommandApp::CommandApp(bool renderPages) {
    if (!renderPages) {
        App_ = std::make_unique<QCoreApplication>(Argc_, Argv_);
        return;
    }
    WebPageRenderer::PrepareProcess();
    App_ = std::make_unique<QGuiApplication>(Argc_, Argv_);
    const std::string cannot = "the browser engine cannot start, so --render is not available";
    if (QGuiApplication::platformName().isEmpty()) throw std::runtime_error(cannot);
    if (const std::string missing = WebPageRenderer::EngineProblem(); !missing.empty())
        throw std::runtime_error(cannot + ": " + missing);
    try {
        Renderer_ = std::make_unique<WebPageRenderer>();
    } catch (const std::exception& e) {
        throw std::runtime_error(cannot + ": " + e.what());
    }
}

PageRenderer* CommandApp::Renderer() {
    return Renderer_.get();
}

CommandApp::~CommandApp() {
    Renderer_.reset();
}
