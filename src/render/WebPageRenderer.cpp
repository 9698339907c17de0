#include "render/WebPageRenderer.h"

#include <QTimer>
#include <QtGlobal>

// Placeholder until the browser engine is wired: hands the fetched bytes back
// as they are.
struct WebPageRenderer::Impl {
    Limits Limits_;
    int Pending = 0;
    int Generation = 0;
};

void WebPageRenderer::PrepareProcess() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

WebPageRenderer::WebPageRenderer(Limits limits) : Impl_(std::make_unique<Impl>()) {
    Impl_->Limits_ = limits;
}

WebPageRenderer::WebPageRenderer() : WebPageRenderer(Limits{}) {}

WebPageRenderer::~WebPageRenderer() = default;

void WebPageRenderer::Prepare(const Setup&) {}

void WebPageRenderer::Render(const std::string&, const std::string& html, Done done) {
    ++Impl_->Pending;
    const int generation = Impl_->Generation;
    QTimer::singleShot(0, [this, generation, html, done = std::move(done)] {
        if (generation != Impl_->Generation) return;
        --Impl_->Pending;
        done(Result{.Html = html});
    });
}

void WebPageRenderer::CancelAll() {
    ++Impl_->Generation;
    Impl_->Pending = 0;
}

int WebPageRenderer::Pending() const { return Impl_->Pending; }
