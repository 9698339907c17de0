#pragma once

#include "http/HttpTypes.h"
#include "http/OriginAttributes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CookieShare;

// A libcurl transfer handle, kept by a request slot from one transfer to the
// next (the connections stay open in the transfer loop that drives it). Used
// by one transfer at a time.
// Made and released with the libcurl round (TransferRound.cpp).
struct TransferHandles {
    TransferHandles();
    ~TransferHandles();
    TransferHandles(const TransferHandles&) = delete;
    TransferHandles& operator=(const TransferHandles&) = delete;
    void* Easy = nullptr;
    // The header lines every request sends (a curl_slist), made once.
    void* Headers = nullptr;
    // No option set since the handle was made or reset.
    bool Clean = true;
    // The body bytes of the chunk being received, written to the file in one
    // piece when the chunk is complete; kept to spare an allocation per transfer.
    std::string Chunk;
};

// What one transfer is asked to do; handed to the transfer loop at start.
struct TransferInput {
    std::string Url;              // absolute, ready to send (escaped)
    std::string CredentialOrigin; // credentials go only to this scheme://host[:port]
    std::string Agent = kDefaultAgent;
    ProxyMode ProxyType = ProxyMode::PROXY_DEFAULT;
    std::string ProxyAddress;
    int ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    std::string UserName, Password;
    std::string ReferringUrl;
    bool StoreToString = false;
    // The body goes to TargetPath (created on the owner's thread when the
    // transfer starts, written and replaced on the loop's) when StoreToFile
    // is set.
    bool StoreToFile = false;
    std::string TargetPath;
    unsigned FileMode = 0644;
    bool FileRequired = false; // a file that cannot be created fails the request
    std::string StorageFolder; // folders made for a body not kept are removed up to here
    int MaxRedirects = 10;     // the redirects the request may follow
    OriginAttributes Origin;   // written on the stored file; empty: none
    std::shared_ptr<TransferHandles> Handles; // the slot's own, kept between its transfers
    // The scan's cookies, sent and updated by this transfer; unset: none.
    std::shared_ptr<CookieShare> Cookies;
};

// The outcome, handed to the owner's terminate hook.
struct TransferResult {
    bool Success = false;
    bool Cancelled = false;
    int StatusCode = 0;
    std::string Head, ContentType;
    std::int64_t ContentLength = 0;
    std::int64_t BytesRead = 0;
    std::string ErrorText;    // why the transfer failed, when it did
    std::string EffectiveUrl; // where the request landed after redirects
    std::string FileError;    // the target could not be created or stored
    std::string FileNote;     // the target could not be created; the body is kept in memory
    // A redirect OnRedirect did not let the transfer follow (an absolute
    // URL), and the redirects the request may still follow from there.
    std::string HeldRedirect;
    int RedirectsLeft = 0;
    std::string DiskFull; // the system's reason, when the disk refused the target (IsDiskFull)
};

// Owner callbacks. Each runs on the owner's (main) thread. OnStatus, OnHead
// and OnRedirect answer a question: the transfer pauses until they have run.
// OnRead, OnBody and OnTerminate are handed over in order without waiting;
// when OnTerminate runs the transfer has let go of its slot's handle.
struct TransferHooks {
    // Decides on the loop, from the answer's status and content type alone,
    // whether its body is wanted, so that the common refusals cost no
    // hand-off. Must not touch the owner's state. Unset: wanted. OnHead, when
    // given, still sees the verdict and may refuse a wanted body.
    std::function<bool(int statusCode, const std::string& contentType)> BodyWanted;
    std::function<void(int statusCode)> OnStatus;
    std::function<void(const std::string& head, bool& okToGetData, std::int64_t contentLength,
                       const std::string& contentType, int statusCode)>
        OnHead;
    // A chunk is about to be read: the bytes so far (-1 when the head is
    // complete) and the length the answer announced (0: none). The transfer
    // does not wait for it.
    std::function<void(std::int64_t bytesRead, std::int64_t contentLength)> OnRead;
    // The answer redirects to this absolute http(s) URL: true follows it,
    // false ends the transfer with the URL in the result's HeldRedirect.
    // Unset: every redirect is followed.
    std::function<bool(const std::string& url)> OnRedirect;
    std::function<void(std::string& data)> OnBody;
    std::function<void(const TransferResult&)> OnTerminate;
};
