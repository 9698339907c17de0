#include "cli/CommandApp.h"

#ifdef TESSELLON_WITH_RENDER
#include "render/WebPageRenderer.h"

#include <QGuiApplication>
#endif

#include <QtGlobal>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#ifdef TESSELLON_WITH_RENDER
namespace {

// The browser engine reports its set-up on the error output (graphics it
// does without offscreen, its sandbox, the runtime folder), which would bury
// the command's own lines; only its errors are let through.
void QuietEngineMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace
#endif

CommandApp::CommandApp(bool renderPages) {
    if (!renderPages) {
        App_ = std::make_unique<QCoreApplication>(Argc_, Argv_);
        return;
    }
#ifndef TESSELLON_WITH_RENDER
    // main hands --render to the program that has the browser engine.
    throw std::runtime_error("--render is not available in this program");
#else
    qInstallMessageHandler(QuietEngineMessages);
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
#endif
}

PageRenderer* CommandApp::Renderer() {
    return Renderer_.get();
}

CommandApp::~CommandApp() {
    Renderer_.reset();
}
