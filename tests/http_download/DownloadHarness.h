#pragma once

// A download manager driven the way the scan engine drives it (a 200 ms
// timer: Tick, then UpdateStats, Working cleared when it says idle), with
// every event it raises recorded.

#include "EventLoop.h"
#include "TempDir.h"
#include "download/DownloadManager.h"

#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

struct ErrorEvent {
    int Tag = 0;
    std::string Url;
    std::uint32_t Code = 0;
    std::string Msg;
    std::string Referrer;
};

struct ReceivedEvent {
    std::string Url;
    bool OnDisk = false;
    std::string Body;
    int Status = 0;
};

struct StatsEvent {
    int Tag, InQueue, Downloading, ToAnalyze, Done, Retries, Errors, OnDisk;
    bool operator==(const StatsEvent&) const = default;
};

struct HeadEvent {
    std::string Url;
    std::string Head;
    int Status = 0;
    std::string ContentType;
    std::int64_t ContentLength = 0;
};

class ManagerRun {
public:
    // storage: the storage folder; empty keeps bodies in memory.
    explicit ManagerRun(const std::string& storage, int tag = 2) {
        M.Tag = tag;
        M.DownloadPath = storage.empty() ? std::string() : storage + "/";
        M.OnError = [this](Component*, const DownloadError& e) {
            Errors.push_back({e.Tag, e.Url, e.Code, e.Message, e.ReferringUrl});
        };
        M.OnDataReceived = [this](Component*, RequestSlot* get, bool onDisk) {
            Received.push_back({get->Url.GetUrl(), onDisk, get->Body, get->StatusCode});
        };
        M.OnUpdatedStats = [this](Component*, const DownloadStats& s) {
            Stats.push_back({s.Tag, s.InQueue, s.Downloading, s.ToAnalyze, s.Done, s.Retries,
                             s.Errors, s.AlreadyOnDisk});
        };
        M.OnHeadComplete = [this](Component*, int, const std::string& url, const std::string& head,
                                  int status, const std::string& type, std::int64_t length, int,
                                  bool& ok, int) {
            Heads.push_back({url, head, status, type, length});
            if (RefuseBody && RefuseBody(url)) ok = false;
        };
        M.OnFileFailed = [this](Component*, RequestSlot*, int kind) {
            FailedKinds.push_back(kind);
        };
        M.OnLog = [this](Component*, const std::string& line) { Log.push_back(line); };
        Timer.setInterval(200);
        QObject::connect(&Timer, &QTimer::timeout, [this] { OnTimer(); });
        Timer.start();
    }

    // Queues a URL as a new entry (RetryNumber 1).
    bool Add(const std::string& url, BodyHandling action = BodyHandling::STORE_TO_FILE,
             const std::string& referrer = "", char hrefOrSrc = 'H', int depth = -1) {
        return M.AddDownload(url, {.DepthSearchLevel = depth,
                                   .HrefOrSrc = hrefOrSrc,
                                   .GetAction = action,
                                   .ReferringUrl = referrer});
    }

    // Runs the event loop until the manager has declared itself idle.
    bool RunToIdle(int timeoutMs = 60000) {
        return RunUntil([this] { return !M.Working(); }, timeoutMs);
    }

    // Where the manager stores a URL.
    std::string Target(const std::string& url) const {
        UrlParts parts;
        parts.Split(url, M.DownloadPath);
        return parts.LocalFileName();
    }

    int Started() const {
        int n = 0;
        for (const auto& line : Log)
            if (line.starts_with("starting download for ")) ++n;
        return n;
    }

    DownloadManager M;
    std::vector<ErrorEvent> Errors;
    std::vector<ReceivedEvent> Received;
    std::vector<StatsEvent> Stats;
    std::vector<HeadEvent> Heads;
    std::vector<int> FailedKinds;
    std::vector<std::string> Log;
    std::function<bool(const std::string& url)> RefuseBody;
    // Called after each tick, for tests that watch the slots.
    std::function<void()> AfterTick;

private:
    void OnTimer() {
        if (InTimer_) return;
        InTimer_ = true;
        if (M.Working()) {
            M.Tick();
            if (!M.UpdateStats()) M.SetWorking(false);
        }
        if (AfterTick) AfterTick();
        InTimer_ = false;
    }

    QTimer Timer;
    bool InTimer_ = false;
};

// No temporary ".part-" file is left anywhere under root.
inline bool NoPartFiles(const std::string& root) {
    for (const auto& f : EntriesUnder(root))
        if (f.find(".part-") != std::string::npos) return false;
    return true;
}

inline std::string Base64(const std::string& in) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v =
            (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += t[v >> 18 & 63];
        out += t[v >> 12 & 63];
        out += t[v >> 6 & 63];
        out += t[v & 63];
    }
    if (i + 1 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16;
        out += t[v >> 18 & 63];
        out += t[v >> 12 & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += t[v >> 18 & 63];
        out += t[v >> 12 & 63];
        out += t[v >> 6 & 63];
        out += '=';
    }
    return out;
}

// Bytes 0..255 repeated: zero bytes and every other value included.
inline std::string BinaryBody(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = char(i * 7 % 256);
    return s;
}
