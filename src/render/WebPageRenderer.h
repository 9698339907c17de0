#pragma once

#include "engine/PageRenderer.h"

#include <memory>
#include <string>

// Renders pages in offscreen pages of the browser engine: each fetched page
// is loaded with its own address as base, its scripts run, it is scrolled to
// its end until it stops growing, and the document as it then stands is
// handed back. Needs a QGuiApplication (the offscreen platform will do).
//
// The pages load no pictures, media or fonts, keep nothing on disk (an
// off-the-record profile of the renderer's own) and go through the proxy of
// the last Prepare, which is set as the application's proxy: the browser
// engine takes no other.
class WebPageRenderer : public PageRenderer {
public:
    struct Limits {
        int TimeLimitMs = 15000; // per page, from its load to its reading
        int MaxScreens = 20;     // scrolls to the end, at most
        int QuietMs = 400;       // no change and no request in flight this long: settled
    };

    WebPageRenderer();
    explicit WebPageRenderer(Limits limits);
    ~WebPageRenderer() override;

    // Before the QGuiApplication is created: shares OpenGL contexts (the
    // browser engine needs it), picks the offscreen platform when there is no
    // display and none was asked for, and turns the engine's sandbox off when
    // running as root (it refuses to start otherwise).
    static void PrepareProcess();
    // Empty when the browser engine has what it needs to start (its helper
    // process and its resources), else a line saying what is missing.
    static std::string EngineProblem();

    void Prepare(const Setup& setup) override;
    void Render(const std::string& url, const std::string& html, Done done) override;
    void CancelAll() override;
    int Pending() const override;

    // Pictures, media, fonts and icons the pages asked for and were refused.
    int BlockedRequests() const;

private:
    struct Impl;
    std::unique_ptr<Impl> Impl_;
};
