#include "TransferRound.h"

#include "crawl/UrlParts.h"

#include "common/StringTools.h"
#include "http/CookieShare.h"
#include "http/OwnerHandoff.h"
#include "http/TargetFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// A chunk larger than this goes to the file before the chunk ends.
constexpr std::size_t kChunkFlushSize = 512 * 1024;

bool ParseInt64(std::string_view text, std::int64_t& out) {
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

} // namespace

bool CurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

TransferHandles::TransferHandles() {
    if (!CurlReady()) return;
    Easy = curl_easy_init();
    // Every request asks for a fresh answer, and for the connection to serve
    // the slot's next request too.
    curl_slist* headers = nullptr;
    for (const char* line :
         {"Pragma: no-cache", "Cache-Control: no-cache", "Connection: Keep-Alive"}) {
        curl_slist* const longer = curl_slist_append(headers, line);
        if (longer == nullptr) break; // out of memory: the lines so far
        headers = longer;
    }
    Headers = headers;
}

TransferHandles::~TransferHandles() {
    if (Easy != nullptr) curl_easy_cleanup(static_cast<CURL*>(Easy));
    curl_slist_free_all(static_cast<curl_slist*>(Headers));
}

TransferRound::TransferRound(const TransferInput& in, const TransferHooks& hooks,
                             OwnerHandoff& owner, AskOwner ask, TargetFile& file,
                             const std::atomic<bool>& stop, std::atomic<std::int64_t>& alive,
                             TransferResult& result, CURL* easy)
    : In_(in), Hooks_(hooks), Owner_(owner), Ask_(std::move(ask)), File_(file), Stop_(stop),
      Alive_(alive), R_(result), Easy_(easy) {}

void TransferRound::ReleaseHandles() {
    if (Easy_ != nullptr) {
        // A reset keeps the share: the handle lets go of the cookies itself,
        // so that they may go away before the handle does.
        curl_easy_setopt(Easy_, CURLOPT_SHARE, nullptr);
        curl_easy_reset(Easy_);
        In_.Handles->Clean = true;
    }
}

void TransferRound::SetOptions() {
    CURL* easy = Easy_;
    // The handle was reset when its last transfer ended; only a later round
    // of this transfer (credentials, a redirect) finds the options set before.
    if (!In_.Handles->Clean) curl_easy_reset(easy);
    In_.Handles->Clean = false;
    curl_easy_setopt(easy, CURLOPT_URL, Url_.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, In_.Agent.c_str());
    if (!In_.ReferringUrl.empty())
        curl_easy_setopt(easy, CURLOPT_REFERER, In_.ReferringUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(In_.Handles->Headers));
    if (In_.Cookies && In_.Cookies->Valid()) {
        // libcurl's cookie engine matches domain, path, expiry and Secure.
        curl_easy_setopt(easy, CURLOPT_SHARE, In_.Cookies->Handle());
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    } else {
        curl_easy_setopt(easy, CURLOPT_SHARE, nullptr);
    }
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, ErrorBuffer_);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    // Every encoding libcurl can decode is offered and decoded: servers may
    // compress whatever the client asked, and a compressed picture stored as
    // it came would be no picture.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(std::max(0, In_.MaxRedirects - Redirects_)));
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_UNRESTRICTED_AUTH, 0L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    // A proxy's answer to CONNECT (https through a proxy) is not the
    // server's head; a 407 there is picked up after the round instead.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    switch (In_.ProxyType) {
    case ProxyMode::PROXY_DIRECT:
        curl_easy_setopt(easy, CURLOPT_PROXY, ""); // ignore any proxy the environment names
        break;
    case ProxyMode::PROXY_USEPROXY: {
        const std::string proxy = In_.ProxyAddress + ":" + std::to_string(In_.ProxyPort);
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
        // The named proxy takes every request: a no_proxy list in the
        // environment must not send some of them around it.
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
        break;
    }
    case ProxyMode::PROXY_DEFAULT:
        break; // the usual proxy environment variables apply
    }
    if (CredentialsSent_) {
        if (R_.StatusCode == 407) {
            curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, In_.ProxyUser.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, In_.ProxyPassword.c_str());
        } else {
            // Basic credentials go with the request itself: a method that needs a
            // first unauthenticated probe would make the answer a second 401.
            curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(easy, CURLOPT_USERNAME, In_.UserName.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, In_.Password.c_str());
        }
    }
}

void TransferRound::Begin(bool fresh) {
    if (fresh) {
        Url_ = In_.Url;
        Redirects_ = 0;
    }
    SetOptions();
    RetryWithCredentials_ = false;
    HeadDone_ = false;
    ChunkCount_ = 0;
    InChunk_ = false;
    HeadAnswered_ = RedirectAnswered_ = false;
    AskRedirect_ = false;
    PausedOnLine_ = false;
    ConcludeWaits_ = false;
    Chunk_ = &In_.Handles->Chunk;
    Chunk_->clear();
}

TransferRound::Outcome TransferRound::Conclude(CURLcode code) {
    ConcludeWaits_ = false;
    if (Stop_ || !R_.HeldRedirect.empty()) return Outcome::Ended;
    if (AskRedirect_) {
        // The round stopped at a redirect the owner decides on.
        if (!RedirectAnswered_) {
            Ask_([this, target = RedirectTo_] {
                Follow_ = Hooks_.OnRedirect(target);
                RedirectAnswered_ = true;
            });
            ConcludeWaits_ = true;
            return Outcome::Waiting;
        }
        AskRedirect_ = false;
        RedirectAnswered_ = false;
        if (!Follow_) {
            R_.HeldRedirect = RedirectTo_;
            R_.RedirectsLeft = In_.MaxRedirects - Redirects_;
            return Outcome::Ended;
        }
        // Credentials go on only to the server they were meant for.
        if (UrlOrigin(RedirectTo_) != In_.CredentialOrigin) CredentialsSent_ = false;
        Url_ = RedirectTo_;
        return Outcome::Follow;
    }
    long connectCode = 0;
    if (code != CURLE_OK && !Failed_ &&
        curl_easy_getinfo(Easy_, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
        connectCode == 407) {
        // The proxy will not open a tunnel without its credentials.
        R_.StatusCode = 407;
        R_.Head.clear();
        R_.ContentType.clear();
        R_.ContentLength = 0;
        const Step step = HeadStage();
        if (step == Step::Wait) {
            ConcludeWaits_ = true;
            return Outcome::Waiting;
        }
        if (step == Step::Stop) return Outcome::Ended;
        code = CURLE_OK;
    }
    if (RetryWithCredentials_ && code == CURLE_OK) {
        CredentialsSent_ = true;
        return Outcome::Again;
    }
    if (code != CURLE_OK) {
        if (R_.ErrorText.empty()) R_.ErrorText = FailureText(code);
        return Outcome::Ended;
    }
    if (!HeadDone_) {
        const Step step = HeadStage();
        if (step == Step::Wait) {
            ConcludeWaits_ = true;
            return Outcome::Waiting;
        }
        if (step == Step::Stop) return Outcome::Ended;
    }
    char* eff = nullptr;
    curl_easy_getinfo(Easy_, CURLINFO_EFFECTIVE_URL, &eff);
    if (eff != nullptr) R_.EffectiveUrl = eff;
    return Outcome::Done;
}

// libcurl's text for a failed round, led by what it means for the body and
// followed by the system's reason for a failed connection.
std::string TransferRound::FailureText(CURLcode code) const {
    std::string text = ErrorBuffer_[0] != 0 ? ErrorBuffer_ : curl_easy_strerror(code);
    if (code == CURLE_PARTIAL_FILE) text = "body shorter than its length: " + text;
    if (code == CURLE_OPERATION_TIMEDOUT) text = "timed out: " + text;
    long osError = 0;
    if ((code == CURLE_COULDNT_CONNECT || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR) &&
        curl_easy_getinfo(Easy_, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0) {
        const std::string why = std::strerror(int(osError));
        if (text.find(why) == std::string::npos) text += " (" + why + ")";
    }
    return text;
}

size_t TransferRound::HeaderCallback(char* buffer, size_t size, size_t nitems, void* userdata) {
    auto* rd = static_cast<TransferRound*>(userdata);
    const size_t n = size * nitems;
    if (rd->Stop_) return 0;
    TransferResult& r = rd->R_;
    const std::string_view line(buffer, n);
    const bool blank = line == "\r\n" || line == "\n";
    // The line that paused the round comes again when it is resumed.
    const bool seen = rd->PausedOnLine_;
    rd->PausedOnLine_ = false;
    if (!seen) {
        if (line.starts_with("HTTP/")) {
            // a new response (after a redirect or an interim answer) starts its own head
            r.Head.clear();
            r.Head.reserve(512); // most heads fit: one allocation, not one per doubling
            r.ContentType.clear();
            r.ContentLength = 0;
            rd->SawLocation_ = false;
            rd->Location_.clear();
            const auto sp = line.find(' ');
            r.StatusCode = sp == std::string_view::npos ? 0 : std::atoi(buffer + sp + 1);
        } else if (!blank) {
            const auto colon = line.find(':');
            if (colon != std::string_view::npos) {
                // Read in place: a head has a dozen lines, three of them wanted.
                const std::string_view name = line.substr(0, colon);
                const std::string_view value = TrimSpace(line.substr(colon + 1));
                if (EqualsNoCase(name, "content-type")) r.ContentType = value;
                if (EqualsNoCase(name, "content-length")) {
                    std::int64_t len = 0;
                    r.ContentLength = ParseInt64(value, len) ? len : 0;
                }
                if (EqualsNoCase(name, "location")) {
                    rd->SawLocation_ = true;
                    rd->Location_ = value;
                }
            }
        }
        r.Head += line;
    }
    if (blank) {
        const int status = r.StatusCode;
        const bool interim =
            (status >= 100 && status < 200) || (status >= 300 && status < 400 && rd->SawLocation_);
        Step step = Step::Go;
        if (!interim)
            step = rd->HeadStage();
        else if (status >= 300)
            step = rd->MayFollowRedirect();
        if (step == Step::Wait) {
            rd->PausedOnLine_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (step == Step::Stop) return 0;
    }
    return n;
}

size_t TransferRound::WriteCallback(char* ptr, size_t size, size_t nmemb, void* userdata) {
    auto* rd = static_cast<TransferRound*>(userdata);
    const size_t n = size * nmemb;
    if (rd->Stop_) return 0;
    if (rd->RetryWithCredentials_) return n; // the body of the 401/407 answer is not wanted
    if (!rd->HeadDone_) {
        const Step step = rd->HeadStage();
        if (step == Step::Wait) return CURL_WRITEFUNC_PAUSE; // these bytes come again
        if (step == Step::Stop) return 0;
    }

    TransferResult& r = rd->R_;
    const std::int64_t before = r.BytesRead;
    if (!rd->InChunk_) {
        rd->InChunk_ = true;
        if (rd->Hooks_.OnRead) rd->TellRead(before);
    }
    if (n != 0) {
        if (rd->In_.StoreToString) {
            if (std::int64_t(rd->Data_.size() + n) > kMaxStringBody) {
                rd->Failed_ = true;
                r.ErrorText = "page larger than 32 MiB: transfer stopped";
                return 0;
            }
            rd->Data_.append(ptr, n);
        }
        if (rd->File_.IsOpen()) {
            if (before + std::int64_t(n) > kMaxFileBody) {
                rd->Failed_ = true;
                r.ErrorText = "file larger than 4 GiB: transfer stopped";
                return 0;
            }
            rd->Chunk_->append(ptr, n);
            if (rd->Chunk_->size() >= kChunkFlushSize && !rd->WriteChunk()) return 0;
        }
        r.BytesRead = before + std::int64_t(n);
    }
    return n;
}

// Writes the bytes gathered for the file; false (the run fails) when the
// disk refuses a file's bytes. A page's file is given up and its body kept.
bool TransferRound::WriteChunk() {
    if (Chunk_ == nullptr || Chunk_->empty()) return true;
    std::string why;
    const bool ok = File_.Write(Chunk_->data(), Chunk_->size(), why);
    Chunk_->clear();
    if (ok) return true;
    const std::string text = "cannot write the file: " + In_.TargetPath + " (" + why + ")";
    if (IsDiskFull(File_.LastError())) R_.DiskFull = why;
    if (!In_.FileRequired) {
        // A page goes on into memory and is processed all the same.
        File_.Discard();
        R_.FileNote = text + ": the page is processed from memory";
        return true;
    }
    Failed_ = true;
    if (R_.DiskFull.empty())
        R_.ErrorText = text;
    else
        R_.FileError = text; // a full disk will not take the file on another try either
    return false;
}

// Closes the chunk that the last pass of libcurl's perform delivered: its
// bytes go to the file in one write, and every tenth chunk marks the
// transfer alive, where the owner's time-out check reads it. False when the
// file refused the bytes: the round then stops.
bool TransferRound::EndChunk() {
    if (!InChunk_) return true;
    InChunk_ = false;
    if (!WriteChunk()) return false;
    if (++ChunkCount_ == 10) {
        ChunkCount_ = 0;
        Alive_.store(MonotonicMs(), std::memory_order_relaxed);
    }
    return true;
}

// Progress goes to the owner without waiting for it: the worker reads on,
// and the owner sees it in order, before the transfer's end.
void TransferRound::TellRead(std::int64_t bytesRead) {
    Owner_.PostToOwner([&hooks = Hooks_, bytesRead, length = R_.ContentLength] {
        hooks.OnRead(bytesRead, length);
    });
}

// The answer redirects. Where the owner decides (its new host may have no
// free connection), the round stops here and asks it when it is over (see
// Conclude): libcurl follows a redirect whatever the callbacks say, even
// when paused. Stop ends the round.
TransferRound::Step TransferRound::MayFollowRedirect() {
    ++Redirects_;
    // A redirect libcurl will not follow (too many, or no http(s) address)
    // ends the transfer as before.
    if (!Hooks_.OnRedirect || Redirects_ > In_.MaxRedirects) return Step::Go;
    RedirectTo_ = RedirectTarget();
    if (RedirectTo_.empty()) return Step::Go;
    AskRedirect_ = true;
    return Step::Stop;
}

// Where the answer's Location leads from the address just asked, resolved as
// libcurl resolves it; empty when that is no http(s) address.
std::string TransferRound::RedirectTarget() const {
    char* current = nullptr;
    curl_easy_getinfo(Easy_, CURLINFO_EFFECTIVE_URL, &current);
    if (current == nullptr || Location_.empty()) return {};
    CURLU* u = curl_url();
    if (u == nullptr) return {};
    std::string target;
    char* scheme = nullptr;
    char* full = nullptr;
    if (curl_url_set(u, CURLUPART_URL, current, 0) == CURLUE_OK &&
        curl_url_set(u, CURLUPART_URL, Location_.c_str(), CURLU_URLENCODE | CURLU_ALLOW_SPACE) ==
            CURLUE_OK &&
        curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        (std::string_view(scheme) == "http" || std::string_view(scheme) == "https") &&
        curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK)
        target = full;
    curl_free(scheme);
    curl_free(full);
    curl_url_cleanup(u);
    return target;
}

// The head of the answer is complete: the owner hears of it, and a request
// for credentials decides whether another round follows. Status and head
// travel to the owner in one question, and only when the owner asked for
// them; the round waits for the answer, which may refuse the body.
TransferRound::Step TransferRound::HeadStage() {
    const int status = R_.StatusCode;
    const bool wantsCredentials = status == 401 || status == 407;
    bool ok = true;
    if (HeadAnswered_) {
        HeadAnswered_ = false;
        ok = HeadOk_;
    } else {
        ok = wantsCredentials || !Hooks_.BodyWanted || Hooks_.BodyWanted(status, R_.ContentType);
        if (Hooks_.OnStatus || (Hooks_.OnHead && !wantsCredentials)) {
            HeadOk_ = ok;
            Ask_([this, status, wantsCredentials, head = R_.Head, length = R_.ContentLength,
                  type = R_.ContentType] {
                if (Hooks_.OnStatus) Hooks_.OnStatus(status);
                if (Hooks_.OnHead && !wantsCredentials)
                    Hooks_.OnHead(head, HeadOk_, length, type, status);
                HeadAnswered_ = true;
            });
            return Step::Wait;
        }
    }
    return AfterHead(ok) ? Step::Go : Step::Stop;
}

// What follows from a complete head and the verdict on its body.
bool TransferRound::AfterHead(bool ok) {
    if (Stop_) return false;
    const int status = R_.StatusCode;
    if (status == 401 || status == 407) {
        if (CredentialsSent_) {
            Failed_ = true;
            R_.ErrorText = status == 401 ? "authorization refused" : "proxy authorization refused";
            return false;
        }
        bool have = false;
        if (status == 407) {
            have = !In_.ProxyUser.empty();
        } else {
            char* eff = nullptr;
            curl_easy_getinfo(Easy_, CURLINFO_EFFECTIVE_URL, &eff);
            // Never hand the user's password to a server it was not meant for.
            have =
                !In_.UserName.empty() && eff != nullptr && UrlOrigin(eff) == In_.CredentialOrigin;
        }
        if (!have) {
            Failed_ = true;
            R_.ErrorText =
                status == 401 ? "authorization required" : "proxy authorization required";
            return false;
        }
        RetryWithCredentials_ = true;
        HeadDone_ = true;
        return true;
    }
    HeadDone_ = true;
    if (!ok) {
        R_.Cancelled = true;
        return false;
    }
    if (Hooks_.OnRead) TellRead(-1);
    R_.BytesRead = 0;
    Data_.clear();
    return !Stop_;
}
