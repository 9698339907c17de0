#pragma once

#include "http/TransferTypes.h"

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class OwnerHandoff;
class TargetFile;

// Sets libcurl up, once for the process; false when it could not be.
bool CurlReady();

// The libcurl rounds of one transfer, driven by a TransferLoop. A round sends
// the request and takes in the answer: the head goes to the owner when it is
// complete, and the body is gathered in memory and written to the target
// file a chunk at a time. A second round answers a 401 or 407 with the
// credentials that may be sent; what the rounds learn goes to the
// transfer's result. Where the owner must answer, the question travels to
// it and the loop goes on with other transfers: a head pauses the round
// until the answer is back; a redirect ends the round, and the next one
// follows it if the owner agrees (Outcome::Follow).
class TransferRound {
public:
    // How a round ended.
    enum class Outcome : std::uint8_t {
        Done,    // the answer is complete
        Again,   // the answer asks for credentials we may send: run another round
        Ended,   // stopped, cancelled or failed; the result tells why
        Waiting, // waits for the owner's answer; Conclude again when it is back
        Follow   // the owner lets a redirect be followed: run a round there
    };
    // Hands a question to the owner's thread; once it has run there, the
    // round is resumed (Resume) on the loop's thread. A question must not
    // touch what the loop goes on using: it reads what it captured and
    // writes only its answer.
    using AskOwner = std::function<void(std::function<void()> question)>;

    // Everything given is used on the loop's thread only, apart from the
    // owner's hooks, which run through owner and ask. stop ends the rounds
    // promptly; alive takes the MonotonicMs() of the transfer's signs of
    // life, which the owner reads without a hand-off.
    TransferRound(const TransferInput& in, const TransferHooks& hooks, OwnerHandoff& owner,
                  AskOwner ask, TargetFile& file, const std::atomic<bool>& stop,
                  std::atomic<std::int64_t>& alive, TransferResult& result, CURL* easy);
    TransferRound(const TransferRound&) = delete;
    TransferRound& operator=(const TransferRound&) = delete;

    // Sets the handle up for a new round; the caller adds it to the loop.
    // A fresh round starts at the input's address, any other where the
    // last round was let to go (Outcome::Follow).
    void Begin(bool fresh);
    // Closes the chunk that the last pass of libcurl's perform delivered;
    // false when the file refused its bytes and the round must stop.
    bool EndChunk();
    // The round is over with libcurl's code (CURLE_OK also when it was
    // stopped early): what follows from it.
    Outcome Conclude(CURLcode code);
    // The round waits for the owner's answer in Conclude (not in libcurl).
    bool WaitsToConclude() const { return ConcludeWaits_; }
    // A round failed for a reason of our own (too large a body, a disk that
    // refuses the bytes), given in the result's error text.
    bool Failed() const { return Failed_; }
    // The body kept in memory when the input asks for it.
    std::string& Data() { return Data_; }
    // Leaves the handle, which outlives the transfer, without pointers to it.
    void ReleaseHandles();

private:
    // Whether a stage lets the round go on.
    enum class Step : std::uint8_t { Go, Stop, Wait };

    static size_t HeaderCallback(char* buffer, size_t size, size_t nitems, void* userdata);
    static size_t WriteCallback(char* ptr, size_t size, size_t nmemb, void* userdata);
    void SetOptions();
    std::string FailureText(CURLcode code) const;
    Step HeadStage();
    bool AfterHead(bool ok);
    Step MayFollowRedirect();
    std::string RedirectTarget() const;
    bool WriteChunk();
    void TellRead(std::int64_t bytesRead);

    const TransferInput& In_;
    const TransferHooks& Hooks_;
    OwnerHandoff& Owner_;
    AskOwner Ask_;
    TargetFile& File_;
    const std::atomic<bool>& Stop_;
    std::atomic<std::int64_t>& Alive_;
    TransferResult& R_;
    CURL* const Easy_;
    char ErrorBuffer_[CURL_ERROR_SIZE] = {0};
    std::string Data_;
    bool CredentialsSent_ = false;
    bool RetryWithCredentials_ = false; // the answer asks for credentials we may send
    bool HeadDone_ = false;
    bool SawLocation_ = false;
    std::string Location_; // the Location field of the answer being read
    int Redirects_ = 0;    // followed so far since the input's address
    bool Failed_ = false;  // our own reason to fail, in R_.ErrorText
    // The owner's answers. Written on the owner's thread while the round
    // waits for them; the loop reads them once the round is resumed.
    bool HeadAnswered_ = false;
    bool HeadOk_ = true; // the body is wanted
    bool RedirectAnswered_ = false;
    bool Follow_ = true;
    std::string RedirectTo_;
    bool AskRedirect_ = false; // the round stopped at a redirect the owner decides on
    std::string Url_;          // where the round goes
    // libcurl hands the header line that paused the round over again when
    // the round is resumed: it was read already.
    bool PausedOnLine_ = false;
    bool ConcludeWaits_ = false;
    // A chunk is what one pass of libcurl's perform delivers at once; libcurl
    // hands it over in pieces of at most its receive buffer (128 KiB, set in
    // SetOptions), often a few tens of KiB. Writing each piece on its own
    // cost more CPU than gathering them.
    bool InChunk_ = false;
    int ChunkCount_ = 0;
    std::string* Chunk_ = nullptr; // the file bytes of the current chunk
};
