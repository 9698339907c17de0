#include "HttpGet.h"

#include "StringTools.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TGVHttpGet::TGVHttpGet(IMessageSink* messages) : Messages_(messages) {}

TGVHttpGet::~TGVHttpGet() {
    Thread_.reset();
    CloseTarget(false);
}

bool TGVHttpGet::OpenTarget() {
    FileThisRequest_ = false;
    const std::string& target = Url.LocalFileName();
    std::string reason;
    if (target.empty()) {
        reason = "no safe local name for " + Url.GetUrl();
    } else {
        ForceFolders(target);
        // The body goes to a temporary file beside the target; the target is
        // replaced only when the whole body has arrived.
        std::string tmpl = target + ".part-XXXXXX";
        const int fd = ::mkstemp(tmpl.data());
        if (fd >= 0) {
            ::fchmod(fd, 0644);
            Fd_ = fd;
            TempName_ = tmpl;
            FileThisRequest_ = true;
            return true;
        }
        reason = std::strerror(errno);
    }
    const std::string message = "unable to create file: " + target + " (" + reason + ")";
    if (GetAction == TGetAction::STORE_TO_FILE) {
        FileError = message;
        return false;
    }
    // A page is still processed from memory.
    Log(message);
    return true;
}

void TGVHttpGet::CloseTarget(bool commit) {
    if (Fd_ < 0) return;
    bool ok = ::close(Fd_) == 0;
    Fd_ = -1;
    const std::string& target = Url.LocalFileName();
    if (commit && ok) {
        if (::rename(TempName_.c_str(), target.c_str()) != 0) {
            FileError = "unable to store file: " + target + " (" + std::strerror(errno) + ")";
            Success = false;
            ok = false;
        } else if (HrefOrSrc == 'S') {
            ::chmod(target.c_str(), 0444); // thumbnails are kept read-only
        }
    }
    if (!commit || !ok) {
        ::unlink(TempName_.c_str());
        RemoveEmptyFolders(target);
    }
    TempName_.clear();
}

// Removes the folders above target that are left empty, up to the storage
// folder: a failed request leaves no trace. A folder that holds anything
// (another request's file among them) stays.
void TGVHttpGet::RemoveEmptyFolders(const std::string& target) const {
    if (StorageFolder.empty()) return;
    std::string root = StorageFolder;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::string dir = target;
    for (;;) {
        const auto slash = dir.rfind('/');
        if (slash == std::string::npos) return;
        dir.resize(slash);
        if (dir.size() <= root.size() || dir.compare(0, root.size(), root) != 0 || dir[root.size()] != '/')
            return;
        if (::rmdir(dir.c_str()) != 0) return;
    }
}

void TGVHttpGet::Get(TGVHttpGetRequest request) {
    if (!Url.Valid()) {
        State = TGVHttpGetState::GETHTTP_WAITING;
        return;
    }
    State = TGVHttpGetState::GETHTTP_GETTING;
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
    EffectiveUrl.clear();
    Thread_.reset();

    bool toString = GetAction == TGetAction::STORE_TO_DATASTRING ||
                    GetAction == TGetAction::STORE_TO_DATASTRING_AND_FILE;
    if (StoresFile() && !OpenTarget()) {
        // Nothing to write to: the request ends at once as a failure.
        State = TGVHttpGetState::GETHTTP_THREAD_DONE;
        if (OnThreadDone) OnThreadDone(this);
        return;
    }
    if (GetAction == TGetAction::STORE_TO_DATASTRING_AND_FILE && !FileThisRequest_) toString = true;

    ContentLength = 0;
    Aborted = false;
    Active = true;

    TTransferInput in;
    std::string url = Url.Scheme() + "://" + Url.HostName();
    if (Url.Port() != TCrackUrl::DefaultPort(Url.Scheme())) url += ":" + std::to_string(Url.Port());
    const std::string& path = Url.RawPathWithFile();
    url += path.empty() ? "/" : path;
    const std::string& extra = Url.ExtraInfos();
    url += extra.substr(0, extra.find('#'));
    in.Url = EscapeForRequest(url);
    in.CredentialOrigin = UrlOrigin(in.Url);
    if (!CredentialOrigin.empty() && CredentialOrigin == in.CredentialOrigin) {
        in.UserName = UserName;
        in.Password = Password;
    }
    if (in.UserName.empty() && !Url.UrlUserName().empty()) {
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
    in.StoreToString = toString;
    in.StoreToFile = FileThisRequest_;
    in.FileDescriptor = Fd_;
    if (!Handles_) Handles_ = std::make_shared<TTransferHandles>();
    in.Handles = Handles_;

    TTransferHooks hooks;
    StatusThisRequest_ = false;
    hooks.OnStatus = [this](int status) {
        StatusCode = status;
        StatusThisRequest_ = true;
    };
    hooks.OnHead = [this](const std::string& head, bool& ok, std::int64_t length,
                          const std::string& contentType, int status) {
        Head = head;
        ContentLength = length;
        if (OnHeadComplete && Active)
            OnHeadComplete(this, Url.GetUrl(), Head, status, contentType, length, DepthSearchLevel,
                           ok, CountArea);
    };
    // Progress costs a hand-off per chunk: only when somebody listens.
    if (OnProgress)
        hooks.OnRead = [this](std::int64_t bytes) {
            if (OnProgress && State == TGVHttpGetState::GETHTTP_GETTING)
                OnProgress(this, static_cast<std::uint32_t>(bytes));
        };
    hooks.OnAlive = [this] { ConnectTimeOut = MonotonicMs() + TimeOutMs_; };
    hooks.OnBody = [this](std::string& data) { Body = std::move(data); };
    hooks.OnTerminate = [this](const TTransferResult& r) {
        Success = r.Success;
        Cancelled = r.Cancelled;
        ErrorMsg = r.ErrorText;
        EffectiveUrl = r.EffectiveUrl;
        // A transfer that got no answer has no status, whatever came before.
        if (!StatusThisRequest_) StatusCode = 0;
        State = TGVHttpGetState::GETHTTP_THREAD_DONE;
        if (OnThreadDone) OnThreadDone(this);
    };
    Thread_ = std::make_unique<THTTPGetThread>(std::move(in), std::move(hooks), &Context_);
    if (!Worker_) Worker_ = std::make_unique<TTransferWorker>();
    Thread_->Start(*Worker_);

    if (Wait) {
        while (State != TGVHttpGetState::GETHTTP_THREAD_DONE)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void TGVHttpGet::Abort() {
    Aborted = true;
    if (Busy && State == TGVHttpGetState::GETHTTP_GETTING && Active && Thread_) {
        Active = false;
        Thread_->Abort();
    }
}

void TGVHttpGet::ThreadDone() {
    if (OnLog && Active) Log("thread done: " + Url.GetUrl());
    Thread_.reset();
    if (StoresFile()) {
        // Only a complete answer of the 2xx family replaces the stored file.
        const bool commit = Success && StatusCode >= 200 && StatusCode <= 299;
        CloseTarget(commit);
    }
    Busy = false;
}
