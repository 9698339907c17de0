#pragma once

#include <QWebEngineUrlRequestInterceptor>

#include <atomic>

// Keeps the rendering pages from loading what the crawler fetches itself or
// what only shows: pictures, media, fonts and icons. Documents, scripts,
// style sheets and data requests (fetch, XHR) go through.
class RequestBlocker : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    static bool Blocks(QWebEngineUrlRequestInfo::ResourceType type);

    int Blocked() const { return Blocked_; }

private:
    std::atomic<int> Blocked_{0};
};
