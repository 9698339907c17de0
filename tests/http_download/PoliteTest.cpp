// Servers that ask to slow down: the Retry-After field in both forms, the
// host limits, and the download manager waiting as asked with fewer
// connections until the host answers again, or judging the answer as before
// when the setting is off; the queue's lanes by host and the per-host cap
// across redirects.
#include "DownloadHarness.h"
#include "TestHttpServer.h"
#include "download/HostLimits.h"
#include "http/RetryAfter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// An HTTP date, as servers write it.
std::string HttpDate(std::time_t t) {
    char buf[64];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

long long MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

} // namespace

// --- the field ----------------------------------------------------------------

TEST(RetryAfter, SecondsAndHttpDatesInEveryForm) {
    const std::int64_t now = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(ParseRetryAfter("120", now), 120);
    EXPECT_EQ(ParseRetryAfter(" 0 \r\n", now), 0);
    EXPECT_EQ(ParseRetryAfter("Sun, 06 Nov 1994 08:49:47 GMT", now), 10);
    EXPECT_EQ(ParseRetryAfter("Sunday, 06-Nov-94 08:50:37 GMT", now), 60); // RFC 850
    EXPECT_EQ(ParseRetryAfter("Sun Nov  6 08:49:40 1994", now), 3);        // asctime
    EXPECT_EQ(ParseRetryAfter("Sat, 05 Nov 1994 08:49:37 GMT", now), 0);   // past: no wait
    // A count too large for any clock saturates instead of wrapping.
    EXPECT_EQ(ParseRetryAfter("99999999999999999999999", now),
              std::numeric_limits<std::int64_t>::max());
    for (const char* bad : {"", "  ", "soon", "-5", "1.5", "10s", "+3", "0x10", ",", "\"5\""})
        EXPECT_FALSE(ParseRetryAfter(bad, now)) << '"' << bad << '"';
}

TEST(RetryAfter, ReadFromTheLastAnswerOfAHead) {
    const std::int64_t now = 1000;
    EXPECT_EQ(RetryAfterSeconds("HTTP/1.1 429 Too Many Requests\r\nRETRY-after:  7\r\n\r\n", now),
              7);
    EXPECT_FALSE(RetryAfterSeconds("HTTP/1.1 429 Too Many Requests\r\nX-Retry-After: 7\r\n"
                                   "Retry-After-Ms: 7\r\n\r\n",
                                   now));
    // A redirect's or an interim answer's fields do not count.
    EXPECT_FALSE(RetryAfterSeconds("HTTP/1.1 302 Found\r\nRetry-After: 5\r\nLocation: /b\r\n\r\n"
                                   "HTTP/1.1 429 Too Many Requests\r\n\r\n",
                                   now));
    EXPECT_EQ(RetryAfterSeconds("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 503 Service Unavailable\r\n"
                                "Retry-After: 3\n\n",
                                now),
              3);
    EXPECT_FALSE(RetryAfterSeconds("", now));
}

// --- the host limits ----------------------------------------------------------

TEST(HostLimits, HostKeysIgnoreCaseUserAndPort) {
    EXPECT_EQ(UrlHostKey("http://User:pw@WWW.Example.COM:8080/a?b#c"), "www.example.com");
    EXPECT_EQ(UrlHostKey("https://[::1]:8443/x"), "[::1]");
    EXPECT_EQ(UrlHostKey("http://host"), "host");
    EXPECT_EQ(UrlHostKey("http://a@b@host/p"), "host");
}

TEST(HostLimits, CapPauseHalvingThenGrowingBackOneARound) {
    HostLimits limits;
    limits.Ceiling = 3;
    const std::string h = "example.com";
    EXPECT_TRUE(limits.MayOpen(h, 0));
    limits.Cap = 2;
    limits.Opened(h);
    limits.Opened(h);
    EXPECT_FALSE(limits.MayOpen(h, 0)) << "capped at two";
    EXPECT_TRUE(limits.MayOpen("other.com", 0)) << "each host has its own count";
    limits.Closed(h);
    limits.Cap = 0;

    // Slowed down with one of its connections still open: nothing new until
    // the pause is over, then half of the ceiling of three: one connection.
    limits.SlowDown(h, 0, 1000);
    EXPECT_EQ(limits.Allowed(h), 1);
    EXPECT_FALSE(limits.MayOpen(h, 999));
    EXPECT_FALSE(limits.MayOpen(h, 1000)) << "its open connection is the one it may have";
    limits.Closed(h);
    EXPECT_TRUE(limits.MayOpen(h, 1000));
    limits.Opened(h);
    EXPECT_FALSE(limits.MayOpen(h, 1000));
    limits.Succeeded(h);
    EXPECT_EQ(limits.Allowed(h), 2);
    EXPECT_TRUE(limits.MayOpen(h, 1000));
    limits.Succeeded(h);
    EXPECT_EQ(limits.Allowed(h), 2) << "two answers for each step from two";
    limits.Succeeded(h);
    EXPECT_EQ(limits.Allowed(h), -1) << "back at the ceiling: no longer watched";
    // A second slow-down never shortens a pause already asked for, and one
    // that comes while the host is paused halves nothing more.
    limits.Ceiling = 8;
    limits.SlowDown(h, 1000, 5000);
    EXPECT_EQ(limits.Allowed(h), 4);
    limits.SlowDown(h, 1500, 2000);
    EXPECT_EQ(limits.Allowed(h), 4);
    limits.Closed(h);
    EXPECT_FALSE(limits.MayOpen(h, 4999));
    // The next "slow down" after the pause halves again, never below one.
    limits.SlowDown(h, 5000, 6000);
    EXPECT_EQ(limits.Allowed(h), 2);
    limits.SlowDown(h, 6000, 7000);
    limits.SlowDown(h, 7000, 8000);
    EXPECT_EQ(limits.Allowed(h), 1);
    EXPECT_EQ(limits.MostOpenTo(h), 2);
    // A new scan starts afresh but keeps counting what is still open.
    limits.Opened(h);
    limits.Reset();
    EXPECT_TRUE(limits.MayOpen(h, 0));
    EXPECT_EQ(limits.OpenTo(h), 1);
    EXPECT_EQ(limits.MostOpenTo(h), 1);
    limits.Closed(h);
    limits.Closed(h); // one close too many is harmless
    EXPECT_EQ(limits.OpenTo(h), 0);
}

// --- the manager --------------------------------------------------------------

namespace {

// A manager that waits for servers, with the moment it decided to wait
// (its own clock) and the queue's length after every tick.
struct PoliteRun : ManagerRun {
    explicit PoliteRun(const std::string& storage) : ManagerRun(storage) {
        M.RespectRateLimits = true;
        M.OnLog = [this](Component*, const std::string& line) {
            Log.push_back(line);
            if (line.starts_with("the server asks to wait "))
                WaitDecidedMs.push_back(MonotonicMs());
            if (line.starts_with("starting download for ")) {
                HostLimits& l = M.Limits();
                const int allowed = l.Allowed("127.0.0.1");
                if (allowed >= 0 && l.OpenTo("127.0.0.1") >= allowed) ++OverLimitStarts;
                if (OnStart) OnStart(line.substr(22));
            }
        };
        AfterTick = [this] { Ticks.push_back({MonotonicMs(), M.QueueCount()}); };
    }
    // A queued entry whose wait was over when a tick began is started by it.
    bool StartedAtTheFirstTickAfter(std::int64_t dueMs) const {
        for (const auto& [at, queued] : Ticks)
            if (at >= dueMs + 200 + 50 && queued > 0) return false;
        return true;
    }
    std::vector<std::int64_t> WaitDecidedMs;
    std::vector<std::pair<std::int64_t, int>> Ticks;
    int OverLimitStarts = 0;
    std::function<void(const std::string& url)> OnStart;
};

// Answers the first `limited` requests with the status and head, then 200.
struct SlowingServer {
    SlowingServer(int status, std::function<std::string()> retryAfter, int limited = 1) {
        Server.On("/p.jpg", [=, this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(M);
            Times.push_back(Clock::now());
            if (int(Times.size()) <= limited) {
                res.status = status;
                if (retryAfter) res.set_header("Retry-After", retryAfter());
                res.set_content("slow down", "text/plain");
            } else {
                res.set_content("picture", "image/jpeg");
            }
        });
    }
    std::vector<Clock::time_point> RequestTimes() {
        std::lock_guard lock(M);
        return Times;
    }
    TestHttpServer Server;
    std::mutex M;
    std::vector<Clock::time_point> Times;
};

} // namespace

TEST(PoliteManager, TooManyRequestsWithSecondsIsWaitedForAndCountsAsARetry) {
    SlowingServer site(429, [] { return std::string("1"); });
    TempDir dir;
    PoliteRun run(dir.Path());
    const std::string url = site.Server.Url("/p.jpg");
    run.Add(url);
    ASSERT_TRUE(run.RunToIdle());

    const auto times = site.RequestTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(MsBetween(times[0], times[1]), 1000) << "asked for one second";
    ASSERT_EQ(run.WaitDecidedMs.size(), 1u);
    EXPECT_TRUE(run.StartedAtTheFirstTickAfter(run.WaitDecidedMs[0] + 1000));
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_TRUE(run.FailedKinds.empty());
    EXPECT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(ReadFile(run.Target(url)), "picture");
    EXPECT_EQ(run.M.Retries(), 1);
    EXPECT_EQ(run.M.Errors(), 0);
    EXPECT_EQ(run.M.Done(), 1);
    EXPECT_EQ(run.Stats.back().Retries, 1);
    EXPECT_EQ(FilesUnder(dir.Path()),
              std::vector<std::string>{site.Server.HostFolder() + "/p.jpg"});
}

TEST(PoliteManager, UnavailableWithAnHttpDateIsWaitedFor) {
    SlowingServer site(503, [] { return HttpDate(std::time(nullptr) + 2); });
    TempDir dir;
    PoliteRun run(dir.Path());
    run.Add(site.Server.Url("/p.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    const auto times = site.RequestTimes();
    ASSERT_EQ(times.size(), 2u);
    // The date has whole seconds: two seconds from now is more than one.
    EXPECT_GE(MsBetween(times[0], times[1]), 1000);
    ASSERT_EQ(run.WaitDecidedMs.size(), 1u);
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(run.Received.size(), 1u);
    EXPECT_EQ(run.M.Retries(), 1);
}

TEST(PoliteManager, AnswersThatAreNotAskingToWaitAreJudgedAsBefore) {
    TestHttpServer server;
    server.Serve("/down.jpg", "text/html", "down", 503); // no Retry-After: an outage
    server.On("/long.jpg", [](const httplib::Request&, httplib::Response& res) {
        res.status = 429;
        res.set_header("Retry-After", "121"); // longer than we wait
        res.set_content("later", "text/plain");
    });
    TempDir dir;
    PoliteRun run(dir.Path());
    run.Add(server.Url("/down.jpg"));
    run.Add(server.Url("/long.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    // The outage is tried as often as any server error, without a wait.
    EXPECT_EQ(server.Count("/down.jpg"), run.M.RetryCount);
    EXPECT_EQ(server.Count("/long.jpg"), 1);
    // The two end independently: either may be reported first.
    ASSERT_EQ(run.Errors.size(), 2u);
    const bool longFirst = run.Errors[0].Url == server.Url("/long.jpg");
    const ErrorEvent& tooMany = run.Errors[longFirst ? 0 : 1];
    const ErrorEvent& outage = run.Errors[longFirst ? 1 : 0];
    EXPECT_EQ(tooMany.Url, server.Url("/long.jpg"));
    EXPECT_EQ(tooMany.Code, 429u);
    EXPECT_EQ(tooMany.Msg, "429 Too Many Requests");
    EXPECT_EQ(outage.Url, server.Url("/down.jpg"));
    EXPECT_EQ(outage.Code, 503u);
    EXPECT_EQ(run.FailedKinds, (std::vector<int>{1, 1}));
    EXPECT_EQ(run.M.Retries(), run.M.RetryCount - 1);
    EXPECT_TRUE(run.WaitDecidedMs.empty());
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(PoliteManager, WaitsHaveTheirOwnBudgetAndTheLastAnswerIsReported) {
    SlowingServer site(
        429, [] { return std::string("0"); }, 100);
    TempDir dir;
    PoliteRun run(dir.Path());
    run.M.RetryCount = 1;
    run.Add(site.Server.Url("/p.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(site.RequestTimes().size(), std::size_t(DownloadManager::kMaxServerWaits + 1))
        << "waits use none of the tries";
    EXPECT_EQ(run.M.Retries(), DownloadManager::kMaxServerWaits);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 429u);
    EXPECT_EQ(run.FailedKinds, std::vector<int>{1});
    EXPECT_TRUE(run.Received.empty());
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(PoliteManager, OffEveryAnswerIsJudgedAsItComes) {
    SlowingServer tooMany(429, [] { return std::string("1"); });
    SlowingServer busy(503, [] { return std::string("1"); });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.Add(tooMany.Server.Url("/p.jpg"));
    run.Add(busy.Server.Url("/p.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(tooMany.RequestTimes().size(), 1u);
    // The 503 is a server error, tried again at once.
    EXPECT_EQ(busy.RequestTimes().size(), 2u);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 429u);
    EXPECT_EQ(run.M.Retries(), 1);
    EXPECT_EQ(run.Received.size(), 1u);
}

// After the "slow down" the host has half its connections: of the requests
// made after it, only two of four reach the server before the first success
// returns, and no request starts while the host has all it may have.
TEST(PoliteManager, ASlowedDownHostGetsHalfItsConnectionsUntilItAnswersAgain) {
    TestHttpServer server;
    std::mutex m;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> served; // enter, leave
    std::atomic<bool> limited{false};
    server.Fallback([&](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/first.jpg" && !limited.exchange(true)) {
            res.status = 429;
            res.set_header("Retry-After", "1");
            return;
        }
        const auto enter = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        res.set_content("pic " + req.path, "image/jpeg");
        std::lock_guard lock(m);
        served.push_back({enter, Clock::now()});
    });
    TempDir dir;
    PoliteRun run(dir.Path());
    run.M.ConcurrentDownloads = 4;
    run.Add(server.Url("/first.jpg"));
    // The rest is queued once the host has been slowed down.
    bool queued = false;
    run.M.OnLog = [&, log = run.M.OnLog](Component* s, const std::string& line) {
        log(s, line);
        if (!queued && line.starts_with("the server asks to wait ")) {
            queued = true;
            for (int i = 0; i < 8; ++i)
                run.Add(server.Url("/p" + std::to_string(i) + ".jpg"));
        }
    };
    ASSERT_TRUE(run.RunToIdle());
    ASSERT_TRUE(queued);
    EXPECT_EQ(run.Received.size(), 9u);
    EXPECT_EQ(run.OverLimitStarts, 0);
    std::lock_guard lock(m);
    ASSERT_EQ(served.size(), 9u);
    Clock::time_point firstLeave = served[0].second;
    for (const auto& [enter, leave] : served)
        firstLeave = std::min(firstLeave, leave);
    int before = 0;
    for (const auto& [enter, leave] : served)
        if (enter < firstLeave) ++before;
    EXPECT_EQ(before, 2);
    EXPECT_EQ(run.M.Limits().Allowed("127.0.0.1"), -1) << "grown back to every slot";
    EXPECT_EQ(run.M.Limits().OpenTo("127.0.0.1"), 0);
}

TEST(PoliteManager, TheCapHoldsTheConnectionsToOneHost) {
    TestHttpServer server;
    Concurrency concurrency;
    server.Fallback([&](const httplib::Request&, httplib::Response& res) {
        concurrency.Enter();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        res.set_content("pic", "image/jpeg");
        concurrency.Leave();
    });
    TempDir dir;
    PoliteRun run(dir.Path());
    run.M.ConcurrentDownloads = 6;
    run.M.Limits().Cap = 2;
    for (int i = 0; i < 12; ++i)
        run.Add(server.Url("/c" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(run.Received.size(), 12u);
    EXPECT_LE(concurrency.Peak(), 2);
    EXPECT_LE(run.M.Limits().MostOpenTo("127.0.0.1"), 2);
}

// A rate limiter as servers run them: at most PerSecond requests are served
// in any second; beyond that the answer is 429 with "Retry-After: 1".
struct RateLimitedServer {
    explicit RateLimitedServer(int perSecond) {
        Server.Fallback([this, perSecond](const httplib::Request& req, httplib::Response& res) {
            const auto now = Clock::now();
            {
                std::lock_guard lock(M);
                while (!Served.empty() && now - Served.front() >= std::chrono::seconds(1))
                    Served.pop_front();
                if (int(Served.size()) >= perSecond) {
                    ++Refused;
                    res.status = 429;
                    res.set_header("Retry-After", "1");
                    res.set_content("slow down", "text/plain");
                    return;
                }
                Served.push_back(now);
            }
            res.set_content("pic " + req.path, "image/jpeg");
        });
    }
    TestHttpServer Server;
    std::mutex M;
    std::deque<Clock::time_point> Served;
    int Refused = 0;
};

// With a steady limiter the host is slowed down again and again; every
// picture still arrives, even with one try per address, since waiting
// uses up none of the tries.
TEST(PoliteManager, ASteadyRateLimiterCostsNoPicture) {
    RateLimitedServer site(20);
    TempDir dir;
    PoliteRun run(dir.Path());
    run.M.QuietTicksBeforeIdle = 0;
    run.M.RetryCount = 1;
    run.M.ConcurrentDownloads = 2;
    run.M.Limits().Cap = 2;
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i)
        run.Add(site.Server.Url("/r" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(run.RunToIdle());
    {
        std::lock_guard lock(site.M);
        EXPECT_GT(site.Refused, 0) << "the limiter was met";
    }
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(run.M.Errors(), 0);
    EXPECT_EQ(run.M.Done(), kFiles);
    EXPECT_EQ(int(FilesUnder(dir.Path()).size()), kFiles);
    EXPECT_GT(run.M.Retries(), 0);
    EXPECT_LE(run.M.Limits().MostOpenTo("127.0.0.1"), 2);
}

// Requests to a paused host wait in their own lane: picking a request to
// another host asks about the paused host once, not once per request it has
// waiting.
TEST(PoliteManager, APausedHostsQueueIsPassedOverAsAWhole) {
    TestHttpServer server;
    server.Fallback([](const httplib::Request&, httplib::Response& res) {
        res.set_content("pic", "image/jpeg");
    });
    TempDir dir;
    PoliteRun run(dir.Path());
    run.M.ConcurrentDownloads = 2;
    constexpr int kPaused = 2000, kLive = 20;
    for (int i = 0; i < kPaused; ++i)
        run.Add("http://paused.invalid/p" + std::to_string(i) + ".jpg");
    for (int i = 0; i < kLive; ++i)
        run.Add(server.Url("/l" + std::to_string(i) + ".jpg"));
    // Paused once the manager is working (starting it forgets old pauses).
    const std::int64_t now = MonotonicMs();
    run.M.Limits().SlowDown("paused.invalid", now, now + 600000);
    ASSERT_TRUE(RunUntil([&] { return run.Received.size() == std::size_t(kLive); }));
    EXPECT_EQ(run.M.QueueCount(), kPaused);
    // Each pick asks about two hosts at most; a pick that went through the
    // queue would ask kPaused times for every live request.
    EXPECT_LT(run.M.Limits().Checks(), kPaused) << run.Started() << " started";
}

// Links on three hosts that all redirect to a fourth: each transfer counts
// against the host it talks to, so the fourth never has more connections
// than the cap, and a redirect that finds it busy goes on from there later.
// (Loopback addresses other than 127.0.0.1 make the other hosts.)
TEST(PoliteManager, RedirectsCountAgainstTheHostTheyLeadTo) {
    TestHttpServer target;
    Concurrency concurrency;
    target.Fallback([&](const httplib::Request& req, httplib::Response& res) {
        concurrency.Enter();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        res.set_content("pic " + req.path, "image/jpeg");
        concurrency.Leave();
    });
    std::vector<std::unique_ptr<TestHttpServer>> sources;
    for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        sources.push_back(std::make_unique<TestHttpServer>(1, address));
    TempDir dir;
    PoliteRun run(dir.Path());
    run.M.QuietTicksBeforeIdle = 0;
    run.M.RetryCount = 1;
    run.M.ConcurrentDownloads = 3;
    std::vector<std::string> urls;
    for (std::size_t s = 0; s < sources.size(); ++s)
        for (int i = 0; i < 5; ++i) {
            const std::string name = "/s" + std::to_string(s) + "-" + std::to_string(i) + ".jpg";
            sources[s]->Redirect(name, target.Url(name));
            urls.push_back(sources[s]->Url(name));
            run.Add(urls.back());
        }
    run.M.Limits().Cap = 1;
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(run.Received.size(), urls.size());
    EXPECT_EQ(concurrency.Peak(), 1);
    EXPECT_EQ(run.M.Limits().MostOpenTo("127.0.0.1"), 1);
    EXPECT_EQ(target.Total(), int(urls.size())) << "a held redirect is not asked twice";
    for (const std::string& url : urls)
        EXPECT_EQ(ReadFile(run.Target(url)), "pic " + url.substr(url.rfind('/'))) << url;
    for (const char* host : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"})
        EXPECT_EQ(run.M.Limits().OpenTo(host), 0) << host;
}
