#pragma once

#include "http/TransferTypes.h"

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class OwnerHandoff;
class TargetFile;

// Sets libcurl up, once for the process; false when it could not be.
bool CurlReady();

// The libcurl rounds of one transfer. A round sends the request and takes in
// the answer: the head goes to the owner when it is complete, and the body
// is gathered in memory and written to the target file a chunk at a time. A
// second round answers a 401 or 407 with the credentials that may be sent;
// what the rounds learn goes to the transfer's result.
class TransferRound {
public:
    // How a round ended.
    enum class Outcome : std::uint8_t {
        Done,  // the answer is complete
        Again, // the answer asks for credentials we may send: run another round
        Ended  // stopped, cancelled or failed; the result tells why
    };

    // Everything given is used on the worker's thread only, apart from the
    // owner's hooks, which run through owner. stop ends the rounds promptly;
    // alive takes the MonotonicMs() of the transfer's signs of life, which
    // the owner reads without a hand-off.
    TransferRound(const TransferInput& in, const TransferHooks& hooks, OwnerHandoff& owner,
                  TargetFile& file, const std::atomic<bool>& stop,
                  std::atomic<std::int64_t>& alive, TransferResult& result, CURL* easy,
                  CURLM* multi);
    ~TransferRound();
    TransferRound(const TransferRound&) = delete;
    TransferRound& operator=(const TransferRound&) = delete;

    // Runs one round on the handles, which must both be set.
    Outcome Perform();
    // A round failed for a reason of our own (too large a body, a disk that
    // refuses the bytes), given in the result's error text.
    bool Failed() const { return Failed_; }
    // The body kept in memory when the input asks for it.
    std::string& Data() { return Data_; }
    // Leaves the handles, which outlive the transfer, without pointers to it.
    void ReleaseHandles();

private:
    static size_t HeaderCallback(char* buffer, size_t size, size_t nitems, void* userdata);
    static size_t WriteCallback(char* ptr, size_t size, size_t nmemb, void* userdata);
    void SetOptions();
    std::string FailureText(CURLcode code) const;
    bool HeadStage();
    bool MayFollowRedirect();
    std::string RedirectTarget() const;
    bool WriteChunk();
    void TellRead(std::int64_t bytesRead);
    bool EndChunk();

    const TransferInput& In_;
    const TransferHooks& Hooks_;
    OwnerHandoff& Owner_;
    TargetFile& File_;
    const std::atomic<bool>& Stop_;
    std::atomic<std::int64_t>& Alive_;
    TransferResult& R_;
    CURL* const Easy_;
    CURLM* const Multi_;
    curl_slist* Headers_ = nullptr;
    char ErrorBuffer_[CURL_ERROR_SIZE] = {0};
    std::string Data_;
    bool CredentialsSent_ = false;
    bool RetryWithCredentials_ = false; // the answer asks for credentials we may send
    bool HeadDone_ = false;
    bool SawLocation_ = false;
    std::string Location_; // the Location field of the answer being read
    int Redirects_ = 0;    // followed so far by this round
    bool Failed_ = false;  // our own reason to fail, in R_.ErrorText
    // A chunk is what one pass of libcurl's perform delivers at once; libcurl
    // hands it over in pieces of at most 16 KiB.
    bool InChunk_ = false;
    int ChunkCount_ = 0;
    std::string* Chunk_ = nullptr; // the file bytes of the current chunk
};
