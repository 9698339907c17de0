#include "RequestSlot.h"

#include "common/StringTools.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>

RequestSlot::RequestSlot(MessageSink* messages) : Messages_(messages) {}

RequestSlot::~RequestSlot() {
    // The loop discards a file it was writing when the transfer is cut off.
    Thread_.reset();
}

void RequestSlot::Get(RequestKind request) {
    if (!Url.Valid()) {
        State = RequestState::GETHTTP_WAITING;
        return;
    }
    State = RequestState::GETHTTP_GETTING;
    Request = request;
    Success = false;
    Cancelled = false;
    if (Busy) {
        if (Messages_ != nullptr) Messages_->ShowMessage("thread deja assigne : " + Url.GetUrl());
        return;
    }
    Busy = true;
    ConnectTimeOut = MonotonicMs() + TimeOutMs_;
    ErrorMsg.clear();
    FileError.clear();
    DiskFull.clear();
    EffectiveUrl.clear();
    HeldRedirect.clear();
    Thread_.reset();

    const bool toString = GetAction == BodyHandling::STORE_TO_DATASTRING ||
                          GetAction == BodyHandling::STORE_TO_DATASTRING_AND_FILE;
    bool toFile = StoresFile();
    if (toFile && Url.LocalFileName().empty()) {
        const std::string message =
            "unable to create file:  (no safe local name for " + Url.GetUrl() + ")";
        if (GetAction == BodyHandling::STORE_TO_FILE) {
            // Nothing to write to: the request ends at once as a failure.
            FileError = message;
            State = RequestState::GETHTTP_THREAD_DONE;
            if (OnThreadDone) OnThreadDone(this);
            return;
        }
        Log(message); // a page is still processed from memory
        toFile = false;
    }

    ContentLength = 0;
    Aborted = false;
    Active = true;

    TransferInput in;
    std::string url = Url.Scheme() + "://" + Url.HostName();
    if (Url.Port() != UrlParts::DefaultPort(Url.Scheme())) {
        url += ':';
        url += std::to_string(Url.Port());
    }
    const std::string& path = Url.RawPathWithFile();
    url += path.empty() ? "/" : path;
    const std::string& extra = Url.ExtraInfos();
    url += extra.substr(0, extra.find('#'));
    // A held redirect goes on where it stopped.
    in.Url = EscapeForRequest(FetchFrom.empty() ? url : FetchFrom);
    in.MaxRedirects = RedirectsLeft;
    in.CredentialOrigin = UrlOrigin(in.Url);
    if (!CredentialOrigin.empty() && CredentialOrigin == in.CredentialOrigin) {
        in.UserName = UserName;
        in.Password = Password;
    }
    if (in.UserName.empty() && !Url.UrlUserName().empty() && FetchFrom.empty()) {
        in.UserName = Url.UrlUserName(); // credentials written in the URL itself
        in.Password = Url.UrlPassword();
    }
    in.Agent = Agent;
    in.ProxyType = ProxyType;
    in.ProxyAddress = ProxyAddress;
    in.ProxyPort = ProxyPort;
    in.ProxyUser = ProxyUser;
    in.ProxyPassword = ProxyPassword;
    in.ReferringUrl = ReferringUrl;
    in.Cookies = Cookies;
    in.StoreToString = toString;
    in.StoreToFile = toFile;
    if (toFile) {
        in.TargetPath = Url.LocalFileName();
        in.FileMode = HrefOrSrc == 'S' ? 0444 : 0644; // thumbnails are kept read-only
        in.FileRequired = GetAction == BodyHandling::STORE_TO_FILE;
        in.StorageFolder = StorageFolder;
        if (RecordOrigin) in.Origin = OriginAttributes::Of(in.Url, ReferringUrl);
    }
    if (!Handles_) Handles_ = std::make_shared<TransferHandles>();
    in.Handles = Handles_;

    TransferHooks hooks;
    hooks.BodyWanted = BodyWanted;
    StatusThisRequest_ = false;
    // The head is handed over while the transfer waits only for a handler that
    // wants to see it; otherwise status and head come with the end.
    HeadHandedOver_ = bool(OnHeadComplete);
    if (HeadHandedOver_) {
        hooks.OnStatus = [this](int status) {
            StatusCode = status;
            StatusThisRequest_ = true;
        };
        hooks.OnHead = [this](const std::string& head, bool& ok, std::int64_t length,
                              const std::string& contentType, int status) {
            Head = head;
            ContentLength = length;
            if (OnHeadComplete && Active)
                OnHeadComplete(this, Url.GetUrl(), Head, status, contentType, length,
                               DepthSearchLevel, ok, CountArea);
        };
    }
    // Progress costs a hand-off per chunk: only when somebody listens.
    if (OnProgress)
        hooks.OnRead = [this](std::int64_t bytes, std::int64_t length) {
            // The announced length travels with the progress: a percentage
            // needs it whether or not the head was handed over.
            ContentLength = length;
            if (OnProgress && State == RequestState::GETHTTP_GETTING)
                OnProgress(this, static_cast<std::uint32_t>(bytes));
        };
    if (OnRedirect)
        hooks.OnRedirect = [this](const std::string& target) {
            return !OnRedirect || !Active || OnRedirect(this, target);
        };
    hooks.OnBody = [this](std::string& data) { Body = std::move(data); };
    hooks.OnTerminate = [this](const TransferResult& r) {
        Success = r.Success;
        Cancelled = r.Cancelled;
        ContentType = r.ContentType;
        ErrorMsg = r.ErrorText;
        EffectiveUrl = r.EffectiveUrl;
        FileError = r.FileError;
        HeldRedirect = r.HeldRedirect;
        HeldRedirectsLeft = r.RedirectsLeft;
        DiskFull = r.DiskFull;
        if (!r.FileNote.empty()) Log(r.FileNote);
        if (!HeadHandedOver_) {
            StatusCode = r.StatusCode;
            StatusThisRequest_ = r.StatusCode != 0;
            Head = r.Head;
            ContentLength = r.ContentLength;
        }
        // A transfer that got no answer has no status, whatever came before.
        if (!StatusThisRequest_) StatusCode = 0;
        State = RequestState::GETHTTP_THREAD_DONE;
        if (OnThreadDone) OnThreadDone(this);
    };
    Thread_ = std::make_unique<TransferThread>(std::move(in), std::move(hooks), &Context_, Ends);
    if (Loop == nullptr && !OwnLoop_) OwnLoop_ = std::make_unique<TransferLoop>();
    Thread_->Start(Loop != nullptr ? *Loop : *OwnLoop_);

    if (Wait) {
        while (State != RequestState::GETHTTP_THREAD_DONE)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

std::int64_t RequestSlot::Deadline() const {
    const std::int64_t alive = Thread_ ? Thread_->AliveAt() : 0;
    return alive == 0 ? ConnectTimeOut : std::max(ConnectTimeOut, alive + TimeOutMs_);
}

void RequestSlot::Abort() {
    Aborted = true;
    if (Busy && State == RequestState::GETHTTP_GETTING && Active && Thread_) {
        Active = false;
        Thread_->Abort();
    }
}

void RequestSlot::ThreadDone() {
    if (OnLog && Active) Log("thread done: " + Url.GetUrl());
    Thread_.reset();
    Busy = false;
}
