#include "cli/CommandApp.h"

#include "render/WebPageRenderer.h"

#include <QGuiApplication>
#include <QtGlobal>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

namespace {

// The browser engine reports its set-up on the error output (graphics it
// does without offscreen, its sandbox, the runtime folder), which would bury
// the command's own lines; only its errors are let through.
void QuietEngineMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

CommandApp::CommandApp(bool renderPages) {
    if (!renderPages) {
        App_ = std::make_unique<QCoreApplication>(Argc_, Argv_);
        return;
    }
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
}

PageRenderer* CommandApp::Renderer() {
    return Renderer_.get();
}

CommandApp::~CommandApp() {
    Renderer_.reset();
}
