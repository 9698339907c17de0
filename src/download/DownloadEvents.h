#pragma once

#include <cstdint>
#include <string>

// Where a download manager stands, as its statistics event reports it.
struct DownloadStats {
    int Tag = 0; // the manager's tag: 1 pages, 2 files
    int InQueue = 0;
    int Downloading = 0;
    int ToAnalyze = 0; // received, waiting for their owner
    int Done = 0;
    int Retries = 0;
    int Errors = 0;
    int AlreadyOnDisk = 0;
    bool operator==(const DownloadStats&) const = default;
};

// A URL given up on: its error event.
struct DownloadError {
    int Tag = 0;
    std::string Url;
    std::uint32_t Code = 0; // the HTTP status; 0 when none came
    std::string Message;
    std::string ReferringUrl;
};
