#pragma once

#include "engine/PageRenderer.h"

#include <memory>

// Renders pages in offscreen pages of the browser engine: each fetched page
// is loaded with its own address as base, its scripts run, it is scrolled to
// its end until it stops growing, and the document as it then stands is
// handed back. Needs a QGuiApplication (the offscreen platform will do).
class WebPageRenderer : public PageRenderer {
public:
    struct Limits {
        int TimeLimitMs = 15000; // per page, from its load to its reading
        int MaxScreens = 20;     // scrolls to the end, at most
    };

    // Sets the process up for the browser engine; called before the
    // QGuiApplication is made.
    static void PrepareProcess();

    WebPageRenderer();
    explicit WebPageRenderer(Limits limits);
    ~WebPageRenderer() override;

    void Prepare(const Setup& setup) override;
    void Render(const std::string& url, const std::string& html, Done done) override;
    void CancelAll() override;
    int Pending() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> Impl_;
};
