#pragma once

#include "common/Component.h"
#include "common/UrlQueue.h"
#include "crawl/UrlParts.h"
#include "http/HttpTypes.h"
#include "http/TransferLoop.h"
#include "http/TransferThread.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// One reusable request slot: holds the settings of a request and its URL
// parts, runs its transfers one after the other on a transfer loop (whose
// thread also creates and stores the target file) and exposes a state
// machine that the download manager polls.
class RequestSlot : public Component {
public:
    explicit RequestSlot(MessageSink* messages = nullptr);
    ~RequestSlot() override;
    RequestSlot(const RequestSlot&) = delete;
    RequestSlot& operator=(const RequestSlot&) = delete;

    // --- settings ---
    BodyHandling GetAction = BodyHandling::HEAD_ONLY;
    int TimeOut() const { return int(TimeOutMs_ / 1000); }
    void SetTimeOut(int seconds) { TimeOutMs_ = std::int64_t(seconds) * 1000; }
    std::int64_t ConnectTimeOut = 0; // the deadline at the start, in MonotonicMs()
    // The deadline now: ConnectTimeOut, moved on as the transfer shows it is
    // alive (read from the loop, without a hand-off).
    std::int64_t Deadline() const;
    std::string AcceptTypes;
    std::string Agent = kDefaultAgent;
    bool ReuseCache = false;
    std::string UserName, Password;
    // Credentials are sent only to this origin (UrlOrigin); empty: never.
    std::string CredentialOrigin;
    std::string PostQuery;
    std::string ReferringUrl;
    // The storage folder the target lies in: folders made for a file that
    // was not stored are removed again, up to this one.
    std::string StorageFolder;
    // The stored file is given its address and referrer as attributes.
    bool RecordOrigin = false;
    bool Wait = false;
    ProxyMode ProxyType = ProxyMode::PROXY_DEFAULT;
    std::string ProxyAddress;
    int ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    // The cookies sent and kept by this slot's requests; unset: none.
    std::shared_ptr<CookieShare> Cookies;
    // Carries the ends of this slot's transfers to the owner's thread with
    // those of other slots (see OwnerMailbox); it must outlive the slot.
    // Unset: each end is handed over on its own.
    OwnerMailbox* Ends = nullptr;
    // Runs this slot's transfers with those of other slots; it must outlive
    // the slot. Unset: the slot starts a loop of its own.
    TransferLoop* Loop = nullptr;

    // --- request fields set by the owner ---
    UrlParts Url;
    int DepthSearchLevel = 1;
    int RetryNumber = 1;
    int WaitNumber = 0; // the waits servers asked for that this URL has had
    // Where the request goes when it is not Url itself (a redirect Url led
    // to that was held back), and the redirects it may still follow.
    std::string FetchFrom;
    int RedirectsLeft = 10;
    int CountArea = 0;
    char HrefOrSrc = ' ';
    int EntryValue = -1;

    // --- results ---
    RequestState State = RequestState::GETHTTP_NOTUSED;
    RequestKind Request = RequestKind::GETHTTP_BODY;
    int StatusCode = 0;
    std::int64_t ContentLength = 0;
    std::string Head;
    std::string ContentType; // of the last answer, as its head gave it
    std::string Body;
    std::string ErrorMsg;     // why the last transfer failed
    std::string EffectiveUrl; // where the last request landed after redirects
    // Set when the target file could not be created or stored: such a
    // failure is reported at once and not retried.
    std::string FileError;
    // A redirect OnRedirect held back, and the redirects the request may
    // still follow from there; the transfer ended there without success.
    std::string HeldRedirect;
    int HeldRedirectsLeft = 0;
    // The system's reason when the storage folder's disk refused the body
    // (full, over quota, past the file size limit): with FileError for a
    // file; alone for a page, which is processed from memory.
    std::string DiskFull;
    bool Success = false;
    bool Cancelled = false;
    bool Aborted = false;
    bool Active = false;
    bool Busy = false;
    // The body was handed over, not fetched (a page as a browser shows it).
    bool BodyGiven = false;

    // Tested on the transfer loop when the head arrives (see
    // TransferHooks::BodyWanted); unset: every body is wanted.
    std::function<bool(int statusCode, const std::string& contentType)> BodyWanted;

    // --- events ---
    std::function<void(RequestSlot* sender, const std::string& url, const std::string& head,
                       int statusCode, const std::string& contentType, std::int64_t contentLength,
                       int depthSearchLevel, bool& okToGetData, int countArea)>
        OnHeadComplete;
    std::function<void(Component* sender, const std::string& message)> OnLog;
    std::function<void(RequestSlot* sender, std::uint32_t bytesRead)> OnProgress;
    // Asked (on the owner's thread) before a redirect to this absolute URL is
    // followed; false holds it back and ends the transfer. Unset: followed.
    std::function<bool(RequestSlot* sender, const std::string& url)> OnRedirect;
    // Raised (on the owner's thread) right after the state became GETHTTP_THREAD_DONE.
    std::function<void(RequestSlot* sender)> OnThreadDone;

    void Get(RequestKind request);
    void Abort();
    void ThreadDone();

    bool StoresFile() const {
        return GetAction == BodyHandling::STORE_TO_FILE ||
               GetAction == BodyHandling::STORE_TO_DATASTRING_AND_FILE;
    }

private:
    void Log(const std::string& text) {
        if (OnLog) OnLog(this, text);
    }

    MessageSink* Messages_;
    std::int64_t TimeOutMs_ = 300000;
    QObject Context_;
    std::shared_ptr<TransferHandles> Handles_; // outlive the transfer that uses them
    std::unique_ptr<TransferLoop> OwnLoop_;
    std::unique_ptr<TransferThread> Thread_;
    bool StatusThisRequest_ = false;
    bool HeadHandedOver_ = false; // this transfer hands its head over
};
