#include "TransferThread.h"

#include "crawl/CrackUrl.h"

#include "http/TargetFile.h"

#include <QMetaObject>
#include <QObject>

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>

struct THTTPGetThread::Shared : std::enable_shared_from_this<THTTPGetThread::Shared> {
    TTransferInput In;
    TTransferHooks Hooks;
    QObject* Context = nullptr;

    std::mutex M;
    std::condition_variable Cv;
    std::function<void()> Pending;
    bool PendingDone = true;
    bool OwnerAlive = true;
    CURLM* Multi = nullptr;
    TTargetFile File; // used by the worker only
    std::atomic<bool> Stop{false};
    std::atomic<bool> Finished{false};
    bool RunEnded = false; // under M: Run has returned

    // Runs f on the owner's thread and waits for it. False when the owner
    // has gone away (f then did not run).
    bool RunOnOwner(std::function<void()> f) {
        std::unique_lock lk(M);
        if (!OwnerAlive) return false;
        Pending = std::move(f);
        PendingDone = false;
        QMetaObject::invokeMethod(
            Context, [self = shared_from_this()] { self->RunPending(); }, Qt::QueuedConnection);
        Cv.wait(lk, [&] { return PendingDone || !OwnerAlive; });
        return OwnerAlive;
    }

    // Hands f to the owner's thread without waiting for it: for the last
    // notification of a run, after which the worker touches nothing the
    // owner sees. f does not run when the owner has gone away.
    void PostToOwner(std::function<void()> f) {
        {
            std::lock_guard lk(M);
            if (!OwnerAlive) return;
        }
        QMetaObject::invokeMethod(
            Context,
            [self = shared_from_this(), f = std::move(f)] {
                {
                    std::lock_guard lk(self->M);
                    if (!self->OwnerAlive) return;
                }
                f();
            },
            Qt::QueuedConnection);
    }

    void RunPending() {
        std::function<void()> f;
        {
            std::lock_guard lk(M);
            if (PendingDone || !OwnerAlive) return;
            f = std::move(Pending);
            Pending = nullptr;
        }
        if (f) f();
        {
            std::lock_guard lk(M);
            PendingDone = true;
        }
        Cv.notify_all();
    }

    void Abort() {
        Stop = true;
        std::lock_guard lk(M);
        if (Multi != nullptr) curl_multi_wakeup(Multi);
    }

    void Detach() {
        {
            std::lock_guard lk(M);
            OwnerAlive = false;
        }
        Cv.notify_all();
        Abort();
    }

    void Run();
};

namespace {

// A chunk larger than this goes to the file before the chunk ends.
constexpr std::size_t kChunkFlushSize = 512 * 1024;

// One round of the transfer (a second round answers a 401 or 407).
struct Round {
    THTTPGetThread::Shared* S = nullptr;
    CURL* Easy = nullptr;
    TTransferResult* R = nullptr;
    std::string Data;
    bool CredentialsSent = false;
    bool RetryWithCredentials = false; // the answer asks for credentials we may send
    bool HeadDone = false;
    bool SawLocation = false;
    bool Failed = false; // our own reason to fail, in R->ErrorText
    // A chunk is what one round of the transfer delivers at once; libcurl
    // hands it over in pieces of at most 16 KiB.
    bool InChunk = false;
    int ChunkCount = 0;
    std::string* Chunk = nullptr; // the file bytes of the current chunk

    bool HeadStage();
    bool WriteChunk();
    bool EndChunk();
};

bool ParseInt64(const std::string& text, std::int64_t& out) {
    if (text.empty()) return false;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (v > (INT64_MAX - 9) / 10) return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

std::string Trim(std::string s) {
    while (!s.empty() &&
           (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return s.substr(i);
}

} // namespace

namespace {

size_t HeaderCallback(char* buffer, size_t size, size_t nitems, void* userdata) {
    auto* rd = static_cast<Round*>(userdata);
    const size_t n = size * nitems;
    if (rd->S->Stop) return 0;
    std::string line(buffer, n);
    if (line.starts_with("HTTP/")) {
        // a new response (after a redirect or an interim answer) starts its own head
        rd->R->Head.clear();
        rd->R->ContentType.clear();
        rd->R->ContentLength = 0;
        rd->SawLocation = false;
        const auto sp = line.find(' ');
        rd->R->StatusCode = sp == std::string::npos ? 0 : std::atoi(line.c_str() + sp + 1);
    } else if (line != "\r\n" && line != "\n") {
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            const std::string value = Trim(line.substr(colon + 1));
            if (name == "content-type") rd->R->ContentType = value;
            if (name == "content-length") {
                std::int64_t len = 0;
                rd->R->ContentLength = ParseInt64(value, len) ? len : 0;
            }
            if (name == "location") rd->SawLocation = true;
        }
    }
    rd->R->Head += line;
    if (line == "\r\n" || line == "\n") {
        const int status = rd->R->StatusCode;
        const bool interim =
            (status >= 100 && status < 200) || (status >= 300 && status < 400 && rd->SawLocation);
        if (!interim && !rd->HeadStage()) return 0;
    }
    return n;
}

size_t WriteCallback(char* ptr, size_t size, size_t nmemb, void* userdata) {
    auto* rd = static_cast<Round*>(userdata);
    const size_t n = size * nmemb;
    auto* s = rd->S;
    if (s->Stop) return 0;
    if (rd->RetryWithCredentials) return n; // the body of the 401/407 answer is not wanted
    if (!rd->HeadDone && !rd->HeadStage()) return 0;

    const std::int64_t before = rd->R->BytesRead;
    if (!rd->InChunk) {
        rd->InChunk = true;
        if (s->Hooks.OnRead) s->RunOnOwner([&] { s->Hooks.OnRead(before); });
        if (s->Stop) return 0;
    }
    if (n != 0) {
        if (s->In.StoreToString) {
            if (std::int64_t(rd->Data.size() + n) > kMaxStringBody) {
                rd->Failed = true;
                rd->R->ErrorText = "page larger than 32 MiB: transfer stopped";
                return 0;
            }
            rd->Data.append(ptr, n);
        }
        if (s->File.IsOpen()) {
            if (before + std::int64_t(n) > kMaxFileBody) {
                rd->Failed = true;
                rd->R->ErrorText = "file larger than 4 GiB: transfer stopped";
                return 0;
            }
            rd->Chunk->append(ptr, n);
            if (rd->Chunk->size() >= kChunkFlushSize && !rd->WriteChunk()) return 0;
        }
        rd->R->BytesRead = before + std::int64_t(n);
    }
    return n;
}

} // namespace

// Writes the bytes gathered for the file; false (the run fails) when the
// disk refuses them.
bool Round::WriteChunk() {
    if (Chunk == nullptr || Chunk->empty()) return true;
    std::string why;
    const bool ok = S->File.Write(Chunk->data(), Chunk->size(), why);
    Chunk->clear();
    if (!ok) {
        Failed = true;
        R->ErrorText = "cannot write the file: " + why;
    }
    return ok;
}

// Closes the chunk that the last round delivered: its bytes go to the file
// in one write, and every tenth chunk tells the owner the transfer is alive.
bool Round::EndChunk() {
    if (!InChunk) return true;
    InChunk = false;
    if (!WriteChunk()) return false;
    if (++ChunkCount == 10) {
        ChunkCount = 0;
        if (S->Hooks.OnAlive) S->RunOnOwner([&] { S->Hooks.OnAlive(); });
    }
    return true;
}

bool Round::HeadStage() {
    auto* s = S;
    const int status = R->StatusCode;
    const bool wantsCredentials = status == 401 || status == 407;
    // Status and head travel to the owner in one hand-off.
    bool ok = true;
    if (s->Hooks.OnStatus || (s->Hooks.OnHead && !wantsCredentials))
        s->RunOnOwner([&] {
            if (s->Hooks.OnStatus) s->Hooks.OnStatus(status);
            if (s->Hooks.OnHead && !wantsCredentials)
                s->Hooks.OnHead(R->Head, ok, R->ContentLength, R->ContentType, status);
        });
    if (s->Stop) return false;
    if (wantsCredentials) {
        if (CredentialsSent) {
            Failed = true;
            R->ErrorText = status == 401 ? "authorization refused" : "proxy authorization refused";
            return false;
        }
        bool have = false;
        if (status == 407) {
            have = !s->In.ProxyUser.empty();
        } else {
            char* eff = nullptr;
            curl_easy_getinfo(Easy, CURLINFO_EFFECTIVE_URL, &eff);
            // Never hand the user's password to a server it was not meant for.
            have = !s->In.UserName.empty() && eff != nullptr &&
                   UrlOrigin(eff) == s->In.CredentialOrigin;
        }
        if (!have) {
            Failed = true;
            R->ErrorText =
                status == 401 ? "authorization required" : "proxy authorization required";
            return false;
        }
        RetryWithCredentials = true;
        HeadDone = true;
        return true;
    }
    HeadDone = true;
    if (!ok) {
        R->Cancelled = true;
        return false;
    }
    R->BytesRead = -1;
    if (s->Hooks.OnRead) s->RunOnOwner([&] { s->Hooks.OnRead(-1); });
    R->BytesRead = 0;
    Data.clear();
    return !s->Stop;
}

namespace {
bool CurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}
} // namespace

TTransferHandles::TTransferHandles() {
    if (!CurlReady()) return;
    Easy = curl_easy_init();
    Multi = curl_multi_init();
}

TTransferHandles::~TTransferHandles() {
    if (Easy != nullptr) curl_easy_cleanup(static_cast<CURL*>(Easy));
    if (Multi != nullptr) curl_multi_cleanup(static_cast<CURLM*>(Multi));
}

void THTTPGetThread::Shared::Run() {
    TTransferResult result;
    CURL* easy = In.Handles ? static_cast<CURL*>(In.Handles->Easy) : nullptr;
    CURLM* multi = In.Handles ? static_cast<CURLM*>(In.Handles->Multi) : nullptr;
    {
        std::lock_guard lk(M);
        Multi = multi;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    // The connection may serve the slot's next request too.
    headers = curl_slist_append(headers, "Connection: Keep-Alive");

    Round rd;
    rd.S = this;
    rd.Easy = easy;
    rd.R = &result;
    bool transferOk = false;
    bool canStart = true;
    if (In.StoreToFile) {
        std::string why;
        if (!File.Open(In.TargetFile, In.FileMode, In.StorageFolder, why)) {
            const std::string message =
                "unable to create file: " + In.TargetFile + " (" + why + ")";
            if (In.FileRequired) {
                // Nothing to write to: the request ends at once as a failure.
                result.FileError = message;
                canStart = false;
            } else {
                result.FileNote = message; // a page is still processed from memory
            }
        }
    }
    for (int attempt = 0; attempt < 2 && canStart && easy != nullptr && multi != nullptr;
         ++attempt) {
        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_URL, In.Url.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, In.Agent.c_str());
        if (!In.ReferringUrl.empty())
            curl_easy_setopt(easy, CURLOPT_REFERER, In.ReferringUrl.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_UNRESTRICTED_AUTH, 0L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, HeaderCallback);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &rd);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteCallback);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &rd);
        // A proxy's answer to CONNECT (https through a proxy) is not the
        // server's head; a 407 there is picked up after the round instead.
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        switch (In.ProxyType) {
        case TProxyType::PROXY_DIRECT:
            curl_easy_setopt(easy, CURLOPT_PROXY, ""); // ignore any proxy the environment names
            break;
        case TProxyType::PROXY_USEPROXY: {
            const std::string proxy = In.ProxyAddress + ":" + std::to_string(In.ProxyPort);
            curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
            // The named proxy takes every request: a no_proxy list in the
            // environment must not send some of them around it.
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
            break;
        }
        case TProxyType::PROXY_DEFAULT:
            break; // the usual proxy environment variables apply
        }
        if (rd.CredentialsSent) {
            if (result.StatusCode == 407) {
                curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_BASIC);
                curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, In.ProxyUser.c_str());
                curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, In.ProxyPassword.c_str());
            } else {
                // Basic credentials go with the request itself: a method that needs a
                // first unauthenticated probe would make the answer a second 401.
                curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
                curl_easy_setopt(easy, CURLOPT_USERNAME, In.UserName.c_str());
                curl_easy_setopt(easy, CURLOPT_PASSWORD, In.Password.c_str());
            }
        }

        rd.RetryWithCredentials = false;
        rd.HeadDone = false;
        rd.ChunkCount = 0;
        rd.InChunk = false;
        rd.Chunk = &In.Handles->Chunk;
        rd.Chunk->clear();
        curl_multi_add_handle(multi, easy);
        int running = 1;
        CURLcode code = CURLE_OK;
        while (!Stop) {
            curl_multi_perform(multi, &running);
            if (!rd.EndChunk()) break; // the file refused the bytes: the transfer stops
            if (running == 0) break;
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE) code = msg->data.result;
        curl_multi_remove_handle(multi, easy);

        if (Stop) break;
        long connectCode = 0;
        if (code != CURLE_OK && !rd.Failed &&
            curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
            connectCode == 407) {
            // The proxy will not open a tunnel without its credentials.
            result.StatusCode = 407;
            result.Head.clear();
            result.ContentType.clear();
            result.ContentLength = 0;
            if (!rd.HeadStage()) break;
            code = CURLE_OK;
        }
        if (rd.RetryWithCredentials && code == CURLE_OK) {
            rd.CredentialsSent = true;
            continue;
        }
        if (code != CURLE_OK) {
            if (result.ErrorText.empty())
                result.ErrorText = errorBuffer[0] != 0 ? errorBuffer : curl_easy_strerror(code);
            break;
        }
        if (!rd.HeadDone && !rd.HeadStage()) break;
        char* eff = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &eff);
        if (eff != nullptr) result.EffectiveUrl = eff;
        transferOk = true;
        break;
    }
    if (canStart && (easy == nullptr || multi == nullptr))
        result.ErrorText = "cannot start a transfer (out of memory)";

    bool deliverBody = false;
    if (transferOk && !Stop && !rd.Failed) {
        if (In.StoreToString) {
            deliverBody = true;
            result.Success = result.BytesRead != 0;
            if (!result.Success) result.ErrorText = "empty answer";
        } else {
            result.Success = true;
        }
    }
    if (Stop) result.Cancelled = true;
    if (File.IsOpen()) {
        // Only a complete answer of the 2xx family replaces the stored file.
        std::string why;
        if (!result.Success || result.Cancelled || result.StatusCode < 200 ||
            result.StatusCode > 299) {
            File.Discard();
        } else if (!File.Commit(why)) {
            result.FileError = "unable to store file: " + In.TargetFile + " (" + why + ")";
            result.Success = false;
        }
    }

    {
        std::lock_guard lk(M);
        Multi = nullptr;
    }
    // The handles outlive this transfer: they must not keep pointers to it.
    if (easy != nullptr) curl_easy_reset(easy);
    curl_slist_free_all(headers);

    // Body and end travel to the owner in one hand-off, the run's last.
    if (Hooks.OnTerminate || (deliverBody && Hooks.OnBody)) {
        if (!deliverBody) rd.Data.clear();
        PostToOwner(
            [this, deliverBody, data = std::move(rd.Data), result = std::move(result)]() mutable {
                if (deliverBody && Hooks.OnBody) Hooks.OnBody(data);
                if (Hooks.OnTerminate) Hooks.OnTerminate(result);
            });
    }
    Finished = true;
}

THTTPGetThread::THTTPGetThread(TTransferInput input, TTransferHooks hooks, QObject* context)
    : Shared_(std::make_shared<Shared>()) {
    CurlReady();
    Shared_->In = std::move(input);
    Shared_->Hooks = std::move(hooks);
    Shared_->Context = context;
}

THTTPGetThread::~THTTPGetThread() {
    Shared_->Detach();
    if (Posted_) {
        std::unique_lock lk(Shared_->M);
        Shared_->Cv.wait(lk, [&] { return Shared_->RunEnded; });
    }
}

void THTTPGetThread::Start(TTransferWorker& worker) {
    Posted_ = true;
    worker.Post([s = Shared_] {
        s->Run();
        {
            std::lock_guard lk(s->M);
            s->RunEnded = true;
        }
        s->Cv.notify_all();
    });
}

TTransferWorker::TTransferWorker() {
    Thread_ = std::thread([this] {
        std::unique_lock lk(M_);
        for (;;) {
            Cv_.wait(lk, [&] { return Quit_ || Job_; });
            if (Job_) {
                std::function<void()> job = std::move(Job_);
                Job_ = nullptr;
                lk.unlock();
                job();
                job = nullptr; // drop what the job holds before waiting again
                lk.lock();
                continue;
            }
            if (Quit_) return;
        }
    });
}

TTransferWorker::~TTransferWorker() {
    {
        std::lock_guard lk(M_);
        Quit_ = true;
    }
    Cv_.notify_all();
    Thread_.join();
}

void TTransferWorker::Post(std::function<void()> job) {
    {
        std::lock_guard lk(M_);
        Job_ = std::move(job);
    }
    Cv_.notify_all();
}

void THTTPGetThread::Abort() {
    Shared_->Abort();
}

bool THTTPGetThread::Finished() const {
    return Shared_->Finished;
}

std::string EscapeForRequest(const std::string& url) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (unsigned char c : url) {
        if (c <= 32 || c >= 127 || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}
