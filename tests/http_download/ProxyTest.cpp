// The three proxy modes: a named proxy, no proxy at all whatever the
// environment says, and the environment's proxy settings. Proxy credentials
// go to the proxy, only when it asks, and never to the origin.
#include "DownloadHarness.h"
#include "ScriptedServer.h"
#include "TestHttpServer.h"
#include "TlsTestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace {

const std::string kProxyBody = "answered by the proxy";
const std::string kOriginBody = "answered by the origin";

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string RequestLine(const std::string& head) {
    return head.substr(0, head.find("\r\n"));
}

// The value of a header in a raw request head; nullopt when absent.
std::optional<std::string> HeaderOf(const std::string& head, const std::string& name) {
    const std::string wanted = Lower(name) + ":";
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos + 2 < head.size()) {
        const std::size_t start = pos + 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string line = head.substr(start, end - start);
        if (Lower(line).starts_with(wanted)) {
            std::string value = line.substr(wanted.size());
            while (!value.empty() && value.front() == ' ')
                value.erase(0, 1);
            return value;
        }
        pos = end;
    }
    return std::nullopt;
}

// The target of an absolute-form request line "GET http://host:port/path HTTP/1.x",
// split into host, port and path; false when the target is not absolute.
bool SplitAbsolute(const std::string& requestLine, std::string& host, int& port,
                   std::string& path) {
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.rfind(' ');
    if (sp1 == std::string::npos || sp2 <= sp1) return false;
    const std::string target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    if (!target.starts_with("http://")) return false;
    const auto slash = target.find('/', 7);
    const std::string authority = target.substr(7, slash - 7);
    path = slash == std::string::npos ? "/" : target.substr(slash);
    const auto colon = authority.rfind(':');
    host = authority.substr(0, colon);
    port = colon == std::string::npos ? 80 : std::atoi(authority.c_str() + colon + 1);
    return true;
}

// A proxy on 127.0.0.1 that records every request head. With credentials
// set it answers 407 until a request carries them; with an origin to
// forward to it fetches the target from there, otherwise it answers itself.
class RecordingProxy {
public:
    explicit RecordingProxy(std::string user = {}, std::string password = {}, bool forward = false)
        : Expected_(user.empty() ? std::string() : "Basic " + Base64(user + ":" + password)),
          Server_([this, forward](RawConnection& c) { Answer(c, forward); }) {}

    int Port() const { return Server_.Port(); }
    std::string Origin() const { return Server_.Origin(); }
    std::vector<std::string> Heads() const { return Server_.Heads(); }
    int Accepted() const { return Server_.Accepted(); }

private:
    void Answer(RawConnection& c, bool forward) {
        const std::string head = c.ReadHead();
        if (head.empty()) return;
        if (!Expected_.empty() && HeaderOf(head, "Proxy-Authorization") != Expected_) {
            c.Send(ResponseHead(407,
                                {"Proxy-Authenticate: Basic realm=\"gate\"", "Content-Length: 6"}) +
                   "denied");
            return;
        }
        std::string body = kProxyBody;
        std::string host, path;
        int port = 0;
        if (forward && SplitAbsolute(RequestLine(head), host, port, path)) {
            // A well-behaved proxy: proxy headers end here, the rest travels on.
            httplib::Client origin(host, port);
            httplib::Headers headers;
            if (auto agent = HeaderOf(head, "User-Agent")) headers.emplace("User-Agent", *agent);
            auto res = origin.Get(path, headers);
            if (!res) {
                c.Send(ResponseHead(502, {"Content-Length: 0"}));
                return;
            }
            body = res->body;
        }
        c.Send(ResponseHead(200, {"Content-Type: text/plain",
                                  "Content-Length: " + std::to_string(body.size())}) +
               body);
    }

    std::string Expected_;
    ScriptedServer Server_;
};

// Copies bytes both ways between the client's connection and a fresh
// connection to 127.0.0.1:port until either side closes.
void Tunnel(RawConnection& c, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(std::uint16_t(port));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0) ::close(fd);
        c.Send(ResponseHead(502, {"Content-Length: 0"}));
        return;
    }
    c.Send("HTTP/1.1 200 Connection established\r\n\r\n");
    pollfd p[2] = {{c.Fd(), POLLIN, 0}, {fd, POLLIN, 0}};
    char buf[16384];
    for (int idle = 0; idle < 200;) { // gives up after 10 s without traffic
        if (::poll(p, 2, 50) <= 0) {
            ++idle;
            continue;
        }
        idle = 0;
        bool closed = false;
        for (int i = 0; i < 2 && !closed; ++i) {
            if (p[i].revents == 0) continue;
            const ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
            closed = n <= 0 || ::send(p[1 - i].fd, buf, std::size_t(n), MSG_NOSIGNAL) != n;
        }
        if (closed) break;
    }
    ::close(fd);
}

// A proxy for https: answers CONNECT, after a 407 when it wants
// credentials, and then carries the encrypted bytes to the target port.
class TunnelProxy {
public:
    explicit TunnelProxy(std::string user = {}, std::string password = {})
        : Expected_(user.empty() ? std::string() : "Basic " + Base64(user + ":" + password)),
          Server_([this](RawConnection& c) { Answer(c); }) {}

    int Port() const { return Server_.Port(); }
    std::vector<std::string> Heads() const { return Server_.Heads(); }

private:
    void Answer(RawConnection& c) {
        const std::string head = c.ReadHead();
        if (!head.starts_with("CONNECT 127.0.0.1:")) return;
        if (!Expected_.empty() && HeaderOf(head, "Proxy-Authorization") != Expected_) {
            c.Send(ResponseHead(407,
                                {"Proxy-Authenticate: Basic realm=\"gate\"", "Content-Length: 0"}));
            return;
        }
        Tunnel(c, std::atoi(head.c_str() + std::strlen("CONNECT 127.0.0.1:")));
    }

    std::string Expected_;
    ScriptedServer Server_;
};

// Clears every proxy variable for the length of a test and restores them
// afterwards. libcurl reads them when a transfer sets up its connection, so
// they are set before a transfer starts and left alone while it runs.
class ProxyEnvironment {
public:
    ProxyEnvironment() {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            Saved_.emplace_back(name, v == nullptr ? std::nullopt : std::optional<std::string>(v));
            ::unsetenv(name);
        }
    }
    ~ProxyEnvironment() {
        for (const auto& [name, value] : Saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    ProxyEnvironment(const ProxyEnvironment&) = delete;
    ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

    void Set(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }
    // Every variable that names a proxy for plain http, in both spellings.
    void PointAllAt(const std::string& proxy) {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            Set(name, proxy);
    }

private:
    static constexpr const char* kNames[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                                             "HTTPS_PROXY", "all_proxy",  "ALL_PROXY",
                                             "no_proxy",    "NO_PROXY"};
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved_;
};

struct ProxySettings {
    ProxyMode Type = ProxyMode::PROXY_DEFAULT;
    std::string Address;
    int Port = 80;
    std::string User, Password;
};

ProxySettings UseProxy(const RecordingProxy& proxy, std::string user = {},
                       std::string password = {}) {
    return {ProxyMode::PROXY_USEPROXY, "127.0.0.1", proxy.Port(), std::move(user),
            std::move(password)};
}

struct Outcome {
    bool Finished = false;
    bool Success = false;
    int Status = 0;
    std::string Body;
    std::string Error;
    std::vector<int> HeadStatuses; // statuses handed to the head handler
};

// One request on a slot of its own, the body kept in memory.
Outcome Fetch(const std::string& url, const ProxySettings& proxy,
              const std::string& credentialOrigin = {}) {
    Outcome out; // outlives the slot, whose head handler writes to it
    RequestSlot slot;
    slot.Url.Split(url, "");
    slot.GetAction = BodyHandling::STORE_TO_DATASTRING;
    slot.SetTimeOut(60);
    slot.State = RequestState::GETHTTP_WAITING;
    slot.ProxyType = proxy.Type;
    slot.ProxyAddress = proxy.Address;
    slot.ProxyPort = proxy.Port;
    slot.ProxyUser = proxy.User;
    slot.ProxyPassword = proxy.Password;
    slot.UserName = "anna";
    slot.Password = "s3cret";
    slot.CredentialOrigin = credentialOrigin;
    slot.OnHeadComplete = [&](RequestSlot*, const std::string&, const std::string&, int status,
                              const std::string&, std::int64_t, int, bool&,
                              int) { out.HeadStatuses.push_back(status); };
    slot.Get(RequestKind::GETHTTP_BODY);
    out.Finished = RunUntil([&] { return slot.State == RequestState::GETHTTP_THREAD_DONE; }, 30000);
    if (!out.Finished) slot.Abort();
    RunUntil([&] { return slot.State == RequestState::GETHTTP_THREAD_DONE; }, 30000);
    slot.ThreadDone();
    out.Success = slot.Success;
    out.Status = slot.StatusCode;
    out.Body = slot.Body;
    out.Error = slot.ErrorMsg;
    return out;
}

} // namespace

TEST(Proxy, NamedProxyGetsTheAbsoluteUrlAndTheOriginNothing) {
    ProxyEnvironment env;
    RecordingProxy proxy;
    TestHttpServer origin;
    origin.Serve("/pics/a.jpg", "image/jpeg", kOriginBody);

    // Proxy credentials are configured, but a proxy that does not ask never sees them.
    const Outcome out = Fetch(origin.Url("/pics/a.jpg?size=2"), UseProxy(proxy, "gate", "keeper"));
    ASSERT_TRUE(out.Finished);
    EXPECT_TRUE(out.Success) << out.Error;
    EXPECT_EQ(out.Status, 200);
    EXPECT_EQ(out.Body, kProxyBody);
    EXPECT_EQ(origin.Total(), 0);

    const auto heads = proxy.Heads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(RequestLine(heads[0]), "GET " + origin.Url("/pics/a.jpg?size=2") + " HTTP/1.0");
    EXPECT_EQ(HeaderOf(heads[0], "User-Agent"), std::string(kDefaultAgent));
    EXPECT_FALSE(HeaderOf(heads[0], "Proxy-Authorization"));
    EXPECT_FALSE(HeaderOf(heads[0], "Authorization"));
}

TEST(Proxy, NamedProxyIsUsedWhateverTheEnvironmentSays) {
    ProxyEnvironment env;
    RecordingProxy named, fromEnvironment;
    TestHttpServer origin;
    origin.Serve("/a.jpg", "image/jpeg", kOriginBody);
    env.PointAllAt(fromEnvironment.Origin());

    // Another proxy in the environment does not replace the named one...
    Outcome out = Fetch(origin.Url("/a.jpg"), UseProxy(named));
    EXPECT_TRUE(out.Success) << out.Error;
    EXPECT_EQ(named.Heads().size(), 1u);

    // ...and a bypass list in the environment does not bypass it.
    for (const char* bypass : {"127.0.0.1", "*"}) {
        env.Set("no_proxy", bypass);
        env.Set("NO_PROXY", bypass);
        out = Fetch(origin.Url("/a.jpg"), UseProxy(named));
        EXPECT_TRUE(out.Success) << bypass << ": " << out.Error;
        EXPECT_EQ(out.Body, kProxyBody) << bypass;
    }
    EXPECT_EQ(named.Heads().size(), 3u);
    EXPECT_EQ(fromEnvironment.Accepted(), 0);
    EXPECT_EQ(origin.Total(), 0);
}

TEST(Proxy, ProxyCredentialsGoToTheProxyAfterItsRequestOnly) {
    ProxyEnvironment env;
    RecordingProxy proxy("gate", "keeper", /*forward=*/true);
    TestHttpServer origin;
    origin.Serve("/a.jpg", "image/jpeg", kOriginBody);

    const Outcome out =
        Fetch(origin.Url("/a.jpg"), UseProxy(proxy, "gate", "keeper"), UrlOrigin(origin.Origin()));
    ASSERT_TRUE(out.Finished);
    EXPECT_TRUE(out.Success) << out.Error;
    EXPECT_EQ(out.Status, 200);
    EXPECT_EQ(out.Body, kOriginBody);
    EXPECT_EQ(out.HeadStatuses, std::vector<int>{200}); // the 407 is not handed on as a head

    const auto heads = proxy.Heads();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_FALSE(HeaderOf(heads[0], "Proxy-Authorization"));
    EXPECT_EQ(HeaderOf(heads[1], "Proxy-Authorization"), "Basic " + Base64("gate:keeper"));
    for (const auto& head : heads) {
        EXPECT_EQ(RequestLine(head), "GET " + origin.Url("/a.jpg") + " HTTP/1.0");
        EXPECT_FALSE(HeaderOf(head, "Authorization")); // nobody asked for the server's
    }
    // The origin got the request once, through the proxy, with no credentials of any kind.
    const auto seen = origin.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].Has("Proxy-Authorization"));
    EXPECT_FALSE(seen[0].Has("Authorization"));
}

TEST(Proxy, ProxyAuthenticationFailures) {
    ProxyEnvironment env;
    TestHttpServer origin;
    {
        // Wrong credentials: one retry, then the 407 stands.
        RecordingProxy proxy("gate", "keeper");
        const Outcome out = Fetch(origin.Url("/a.jpg"), UseProxy(proxy, "gate", "wrong"));
        EXPECT_FALSE(out.Success);
        EXPECT_EQ(out.Status, 407);
        EXPECT_EQ(out.Error, "proxy authorization refused");
        const auto heads = proxy.Heads();
        ASSERT_EQ(heads.size(), 2u);
        EXPECT_EQ(HeaderOf(heads[1], "Proxy-Authorization"), "Basic " + Base64("gate:wrong"));
        EXPECT_TRUE(out.HeadStatuses.empty());
    }
    {
        // No proxy user configured: nothing to retry with.
        RecordingProxy proxy("gate", "keeper");
        const Outcome out = Fetch(origin.Url("/a.jpg"), UseProxy(proxy));
        EXPECT_FALSE(out.Success);
        EXPECT_EQ(out.Status, 407);
        EXPECT_EQ(out.Error, "proxy authorization required");
        EXPECT_EQ(proxy.Heads().size(), 1u);
    }
    EXPECT_EQ(origin.Total(), 0);
}

TEST(Proxy, OriginAskingForProxyCredentialsNeverGetsThem) {
    ProxyEnvironment env;
    TestHttpServer origin;
    origin.Fallback([](const httplib::Request&, httplib::Response& res) {
        res.status = 407;
        res.set_header("Proxy-Authenticate", "Basic realm=\"not a proxy\"");
    });
    for (ProxyMode type : {ProxyMode::PROXY_DIRECT, ProxyMode::PROXY_DEFAULT}) {
        const Outcome out = Fetch(origin.Url("/a.jpg"), {type, "", 80, "gate", "keeper"});
        EXPECT_FALSE(out.Success);
        EXPECT_EQ(out.Status, 407);
    }
    EXPECT_GE(origin.Total(), 2);
    EXPECT_FALSE(origin.EverSaw("Proxy-Authorization"));
    EXPECT_FALSE(origin.EverSaw("Authorization"));
}

TEST(Proxy, DirectIgnoresEveryProxyTheEnvironmentNames) {
    ProxyEnvironment env;
    RecordingProxy proxy;
    TestHttpServer origin;
    origin.Serve("/a.jpg", "image/jpeg", kOriginBody);
    env.PointAllAt(proxy.Origin());

    const Outcome out =
        Fetch(origin.Url("/a.jpg"), {ProxyMode::PROXY_DIRECT, "", 80, "gate", "keeper"});
    EXPECT_TRUE(out.Success) << out.Error;
    EXPECT_EQ(out.Body, kOriginBody);
    EXPECT_EQ(proxy.Accepted(), 0);
    const auto seen = origin.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Target, "/a.jpg"); // origin form: sent straight to the server
}

TEST(Proxy, DirectIgnoresTheNamedProxySettings) {
    ProxyEnvironment env;
    RecordingProxy proxy;
    TestHttpServer origin;
    origin.Serve("/a.jpg", "image/jpeg", kOriginBody);
    const Outcome out =
        Fetch(origin.Url("/a.jpg"), {ProxyMode::PROXY_DIRECT, "127.0.0.1", proxy.Port(), "", ""});
    EXPECT_TRUE(out.Success) << out.Error;
    EXPECT_EQ(out.Body, kOriginBody);
    EXPECT_EQ(proxy.Accepted(), 0);
}

TEST(Proxy, DefaultFollowsTheEnvironment) {
    ProxyEnvironment env;
    RecordingProxy proxy;
    TestHttpServer origin;
    origin.Serve("/a.jpg", "image/jpeg", kOriginBody);
    // The named proxy is not the environment's: this mode never uses it.
    RecordingProxy named;
    const ProxySettings system{ProxyMode::PROXY_DEFAULT, "127.0.0.1", named.Port(), "", ""};

    // Nothing in the environment: straight to the origin.
    Outcome out = Fetch(origin.Url("/a.jpg"), system);
    EXPECT_EQ(out.Body, kOriginBody) << out.Error;
    EXPECT_TRUE(proxy.Heads().empty());

    // http_proxy set: through that proxy, which sees the absolute URL.
    env.Set("http_proxy", proxy.Origin());
    out = Fetch(origin.Url("/a.jpg"), system);
    EXPECT_EQ(out.Body, kProxyBody) << out.Error;
    ASSERT_EQ(proxy.Heads().size(), 1u);
    EXPECT_EQ(RequestLine(proxy.Heads()[0]), "GET " + origin.Url("/a.jpg") + " HTTP/1.0");

    // A bypass list naming another host changes nothing...
    env.Set("no_proxy", "elsewhere.invalid");
    out = Fetch(origin.Url("/a.jpg"), system);
    EXPECT_EQ(out.Body, kProxyBody) << out.Error;
    EXPECT_EQ(proxy.Heads().size(), 2u);

    // ...one naming the origin's host sends the request straight there.
    env.Set("no_proxy", "elsewhere.invalid,127.0.0.1");
    out = Fetch(origin.Url("/a.jpg"), system);
    EXPECT_EQ(out.Body, kOriginBody) << out.Error;
    EXPECT_EQ(proxy.Heads().size(), 2u);

    EXPECT_EQ(origin.Total(), 2);
    EXPECT_EQ(named.Accepted(), 0);
}

TEST(Proxy, DefaultAnswersTheEnvironmentProxysRequestForCredentials) {
    ProxyEnvironment env;
    RecordingProxy proxy("gate", "keeper");
    TestHttpServer origin;
    env.Set("http_proxy", proxy.Origin());
    const Outcome out =
        Fetch(origin.Url("/a.jpg"), {ProxyMode::PROXY_DEFAULT, "", 80, "gate", "keeper"});
    EXPECT_TRUE(out.Success) << out.Error;
    EXPECT_EQ(out.Body, kProxyBody);
    const auto heads = proxy.Heads();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_FALSE(HeaderOf(heads[0], "Proxy-Authorization"));
    EXPECT_EQ(HeaderOf(heads[1], "Proxy-Authorization"), "Basic " + Base64("gate:keeper"));
    EXPECT_EQ(origin.Total(), 0);
}

// https goes through the proxy in a tunnel. The test server's certificate is
// self-signed, so a transfer that reached the server through the tunnel
// fails in the handshake: the proof that the tunnel carried it there.
TEST(Proxy, HttpsTunnelsThroughTheNamedProxy) {
    ProxyEnvironment env;
    TlsTestServer origin("secret picture");
    ASSERT_TRUE(origin.Valid());
    {
        TunnelProxy proxy;
        const Outcome out = Fetch(origin.Url("/pic.jpg"),
                                  {ProxyMode::PROXY_USEPROXY, "127.0.0.1", proxy.Port(), "", ""});
        ASSERT_TRUE(out.Finished);
        EXPECT_FALSE(out.Success);
        EXPECT_NE(out.Error.find("certificate"), std::string::npos) << out.Error;
        // The proxy's answer to CONNECT is not the server's answer.
        EXPECT_TRUE(out.HeadStatuses.empty());
        EXPECT_NE(out.Status, 200);
        ASSERT_EQ(proxy.Heads().size(), 1u);
        EXPECT_TRUE(RequestLine(proxy.Heads()[0]).starts_with("CONNECT 127.0.0.1:"));
    }
    {
        // A proxy asking for credentials before it opens the tunnel gets them once.
        TunnelProxy proxy("gate", "keeper");
        const Outcome out = Fetch(origin.Url("/pic.jpg"), {ProxyMode::PROXY_USEPROXY, "127.0.0.1",
                                                           proxy.Port(), "gate", "keeper"});
        ASSERT_TRUE(out.Finished);
        EXPECT_FALSE(out.Success);
        EXPECT_NE(out.Error.find("certificate"), std::string::npos) << out.Error;
        EXPECT_TRUE(out.HeadStatuses.empty());
        const auto heads = proxy.Heads();
        ASSERT_EQ(heads.size(), 2u);
        EXPECT_FALSE(HeaderOf(heads[0], "Proxy-Authorization"));
        EXPECT_EQ(HeaderOf(heads[1], "Proxy-Authorization"), "Basic " + Base64("gate:keeper"));
    }
    EXPECT_EQ(origin.Served(), 0);
}
