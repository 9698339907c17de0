#pragma once

#include "common/UrlQueue.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a journal holds when it is read back: the scan's address and
// settings, the pages queued and not yet processed, the pages processed and
// the files queued, each in the order the scan met them.
struct JournalState {
    struct Entry {
        std::string Url;
        QueuedRequest Request;
    };
    std::string Address;
    std::vector<std::pair<std::string, std::string>> Settings;
    std::vector<Entry> PendingPages;
    std::vector<std::string> DonePages;
    std::vector<Entry> Files;
};

// The journal of a running scan, kept in the storage folder's own hidden
// folder so that a scan ended by a crash or a kill can be continued. Lines
// are appended in the order things happen and written in batches (Flush,
// or when a batch is full), so whatever a kill leaves on disk is a prefix of
// the scan's history: a page counts as done only after the links it yielded.
// A finished scan removes its journal; a stopped one keeps it.
class ScanJournal {
public:
    ScanJournal() = default;
    ~ScanJournal(); // flushes and keeps the journal
    ScanJournal(const ScanJournal&) = delete;
    ScanJournal& operator=(const ScanJournal&) = delete;

    static std::string PathIn(const std::string& storageFolder);
    // The address of the unfinished scan journaled in the folder; empty
    // when there is none or its journal cannot be read.
    static std::string UnfinishedAddress(const std::string& storageFolder);
    // Reads the folder's journal for a scan of address; false with why (a
    // sentence for the user) when there is none, it is damaged, from another
    // version or of another address.
    static bool Load(const std::string& storageFolder, const std::string& address,
                     JournalState& state, std::string& why);
    // Removes the folder's journal (a new scan replaces the unfinished one).
    static void Discard(const std::string& storageFolder);

    // Starts a new journal (replacing any) or continues the existing one.
    bool Begin(const std::string& storageFolder, const std::string& address,
               const std::vector<std::pair<std::string, std::string>>& settings, std::string& why);
    bool Continue(const std::string& storageFolder, std::string& why);
    bool IsOpen() const { return Fd_ >= 0; }

    void PageQueued(const std::string& url, const QueuedRequest& request);
    void FileQueued(const std::string& url, const QueuedRequest& request);
    void PageDone(const std::string& url);

    // Writes the lines gathered so far.
    void Flush();
    // The scan ended with nothing left to do: the journal is removed.
    void Finish();
    // The scan stopped before its end: the journal is kept for a resume.
    void Close();

    // Lines gathered before they are written without waiting for Flush.
    static constexpr std::size_t kBatchBytes = 64 * 1024;

private:
    bool Open(const std::string& storageFolder, bool fresh, std::string& why);
    void Append(char kind, const std::string& url, const QueuedRequest* request);

    int Fd_ = -1;
    std::string Path_, Buffer_;
    std::int64_t LastSyncMs_ = 0;
};
