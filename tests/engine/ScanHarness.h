#pragma once

#include "SiteServer.h"
#include "engine/Grabber.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class RecordingMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

// A grabber wired to record what a user would see: links, errors, messages.
struct ScanRun {
    RecordingMessages Messages;
    Grabber Grab{&Messages};
    std::vector<std::string> Links;      // "type url"
    std::vector<std::string> PageErrors; // "code url"
    std::vector<std::string> FileErrors; // "code url message"
    std::vector<std::string> PagesReceived;

    explicit ScanRun(const std::string& storage) {
        Grab.ResultsMode = 0;
        Grab.SetDownloadPath(storage + "/");
        Grab.OnLinkFound = [this](Component*, FoundLink& lf) {
            Links.push_back(lf.TypeLink + " " + lf.UrlFound);
        };
        Grab.OnError = [this](Component*, const DownloadError& e) {
            PageErrors.push_back(std::to_string(e.Code) + " " + e.Url);
        };
        Grab.OnFileDownloadError = [this](Component*, const DownloadError& e) {
            FileErrors.push_back(std::to_string(e.Code) + " " + e.Url + " " + e.Message);
        };
        Grab.OnPageReceived = [this](Component*, const std::string&, const std::string& url,
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
