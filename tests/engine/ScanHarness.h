#pragma once

#include "SiteServer.h"
#include "engine/Grabber.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TRecordingMessages : public IMessageSink {
public:
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

// A grabber wired to record what a user would see: links, errors, messages.
struct TScanRun {
    TRecordingMessages Messages;
    THttpGrab Grab{&Messages};
    std::vector<std::string> Links;      // "type url"
    std::vector<std::string> PageErrors; // "code url"
    std::vector<std::string> FileErrors; // "code url message"
    std::vector<std::string> PagesReceived;

    explicit TScanRun(const std::string& storage) {
        Grab.ResultsFile = 0;
        Grab.SetDownloadPath(storage + "/");
        Grab.OnLinkFound = [this](TComponent*, TLinkFound& lf) {
            Links.push_back(lf.TypeLink + " " + lf.UrlFound);
        };
        Grab.OnError = [this](TComponent*, const std::string& url, std::uint32_t code,
                              const std::string&) {
            PageErrors.push_back(std::to_string(code) + " " + url);
        };
        Grab.OnFileDwnldError = [this](TComponent*, int, const std::string& url, std::uint32_t code,
                                       const std::string& msg, const std::string&) {
            FileErrors.push_back(std::to_string(code) + " " + url + " " + msg);
        };
        Grab.OnPageReceived = [this](TComponent*, const std::string&, const std::string& url,
                                     const std::string&,
                                     const std::string&) { PagesReceived.push_back(url); };
    }

    // Starts a scan and waits until both managers are idle again.
    bool Scan(const std::string& url, int timeoutMs = 60000) {
        if (!Grab.StartScan(url)) return false;
        return RunUntil([this] { return !Grab.IsWorking(); }, timeoutMs);
    }

    bool HasLink(const std::string& typeAndUrl) const {
        return std::find(Links.begin(), Links.end(), typeAndUrl) != Links.end();
    }
};
