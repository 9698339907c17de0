#pragma once

#include "http/HttpTypes.h"

#include <functional>
#include <string>

// Runs a page's scripts and gives back its document as it then stands, so
// that pages built by their scripts (a list fetched and turned into
// thumbnails, more added as the visitor scrolls) yield their links. The
// engine knows only this interface; the browser engine behind it lives above
// the core.
class PageRenderer {
public:
    struct Result {
        // The serialized document; empty when the page could not be rendered
        // at all (the fetched bytes are then processed as they are).
        std::string Html;
        // Empty, or one line saying why the document is partial or missing
        // ("scripts still running after 15 s: read as it stood").
        std::string Problem;
    };
    using Done = std::function<void(Result result)>;

    // What a scan sets before its first page: how many pages render at once
    // (the page slots), and the network settings its requests go through.
    struct Setup {
        int Capacity = 4;
        std::string Agent;
        ProxyMode ProxyType = ProxyMode::PROXY_DEFAULT;
        std::string ProxyAddress;
        int ProxyPort = 80;
        std::string ProxyUser, ProxyPassword;
    };

    virtual ~PageRenderer() = default;

    // Called at each scan's start, before Render.
    virtual void Prepare(const Setup& setup) = 0;

    // Starts rendering `html`, the page fetched from `url`, as the document at
    // that address. `done` is called once, later, on the caller's thread and
    // never from inside Render. Renders beyond Capacity() wait their turn.
    virtual void Render(const std::string& url, const std::string& html, Done done) = 0;
    // Drops every render started or waiting; their `done` is never called.
    virtual void CancelAll() = 0;
    // Renders in progress plus those waiting.
    virtual int Pending() const = 0;
};
