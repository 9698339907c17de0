// Server and proxy credentials: sent once when asked for, only to the
// origins they belong to, never carried to another server.
#include "DownloadHarness.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

namespace {

// Answers 401 unless the request carries Basic user:password.
TestHttpServer::Handler Protected(const std::string& user, const std::string& password,
                                  const std::string& body) {
    const std::string expected = "Basic " + Base64(user + ":" + password);
    return [expected, body](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") == expected) {
            res.set_content(body, "image/jpeg");
            return;
        }
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
        res.set_content("who are you", "text/plain");
    };
}

} // namespace

TEST(Credentials, UnauthorizedThenOkSendsTheCredentialsOnce) {
    TestHttpServer server;
    server.On("/secret.jpg", Protected("anna", "s3cret", "hidden picture"));
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.UserName = "anna";
    run.M.Password = "s3cret";
    run.M.CredentialOrigins = {UrlOrigin(server.Origin())};
    run.Add(server.Url("/secret.jpg"));
    ASSERT_TRUE(run.RunToIdle());

    auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].Has("Authorization"));
    EXPECT_EQ(seen[1].Header("Authorization"), "Basic " + Base64("anna:s3cret"));
    EXPECT_TRUE(run.Errors.empty());
    EXPECT_EQ(run.M.Done(), 1);
    EXPECT_EQ(ReadFile(run.Target(server.Url("/secret.jpg"))), "hidden picture");
    // The 401 answer itself is not handed on as a head.
    ASSERT_EQ(run.Heads.size(), 1u);
    EXPECT_EQ(run.Heads[0].Status, 200);
}

TEST(Credentials, SecondUnauthorizedFailsWithStatus401) {
    TestHttpServer server;
    server.On("/secret.jpg", Protected("anna", "s3cret", "hidden picture"));
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.M.UserName = "anna";
    run.M.Password = "wrong";
    run.M.CredentialOrigins = {UrlOrigin(server.Origin())};
    run.Add(server.Url("/secret.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_EQ(server.Total(), 2);
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 401u);
    EXPECT_TRUE(run.Received.empty());
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(Credentials, OriginOutsideTheListNeverGetsThem) {
    TestHttpServer server;
    server.On("/secret.jpg", Protected("anna", "s3cret", "hidden picture"));
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.M.UserName = "anna";
    run.M.Password = "s3cret";
    run.M.CredentialOrigins = {"http://127.0.0.1:1"}; // same host, another port
    run.Add(server.Url("/secret.jpg"));
    ASSERT_TRUE(run.RunToIdle());
    EXPECT_FALSE(server.EverSaw("Authorization"));
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 401u);
}

TEST(Credentials, NeverCarriedToAnotherServerByLinkOrRedirect) {
    // Declared before the servers: their handler threads read it until they stop.
    const std::string expected = "Basic " + Base64("anna:s3cret");
    TestHttpServer other; // another origin on the same host
    TestHttpServer home;  // the origin the credentials belong to
    other.Fallback(Protected("anna", "s3cret", "should never be served"));
    home.On("/go.jpg", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") != expected) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"home\"");
            return;
        }
        res.status = 302;
        res.set_header("Location", other.Url("/elsewhere.jpg"));
    });
    home.Redirect("/open.jpg", other.Url("/open-elsewhere.jpg"));
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.M.UserName = "anna";
    run.M.Password = "s3cret";
    run.M.CredentialOrigins = {UrlOrigin(home.Origin())};
    run.Add(home.Url("/go.jpg"));      // authenticated, then redirected away
    run.Add(home.Url("/open.jpg"));    // redirected away at once
    run.Add(other.Url("/linked.jpg")); // a link straight to the other server
    ASSERT_TRUE(run.RunToIdle());

    EXPECT_TRUE(home.EverSaw("Authorization"));
    EXPECT_EQ(other.Count("/elsewhere.jpg"), 1);
    EXPECT_EQ(other.Count("/open-elsewhere.jpg"), 1);
    EXPECT_EQ(other.Count("/linked.jpg"), 1);
    EXPECT_FALSE(other.EverSaw("Authorization"));
    EXPECT_EQ(run.Errors.size(), 3u);
    for (const auto& e : run.Errors)
        EXPECT_EQ(e.Code, 401u) << e.Url;
    EXPECT_TRUE(FilesUnder(dir.Path()).empty());
}

TEST(Credentials, ProxyAuthenticationThenUnauthorizedIsOneRetryInAll) {
    // The test server plays the proxy: 407 without proxy credentials, then 401.
    TestHttpServer proxy;
    proxy.Fallback([](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_header("Proxy-Authorization")) {
            res.status = 407;
            res.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
            return;
        }
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"site\"");
    });
    TempDir dir;
    ManagerRun run(dir.Path());
    run.M.RetryCount = 1;
    run.M.ProxyType = ProxyMode::PROXY_USEPROXY;
    run.M.ProxyAddress = "127.0.0.1";
    run.M.ProxyPort = proxy.Port();
    run.M.ProxyUser = "gate";
    run.M.ProxyPassword = "keeper";
    run.M.UserName = "anna";
    run.M.Password = "s3cret";
    run.M.CredentialOrigins = {"http://site.invalid"};
    run.Add("http://site.invalid/pic.jpg");
    ASSERT_TRUE(run.RunToIdle());

    auto seen = proxy.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].Has("Proxy-Authorization"));
    EXPECT_EQ(seen[1].Header("Proxy-Authorization"), "Basic " + Base64("gate:keeper"));
    EXPECT_FALSE(proxy.EverSaw("Authorization")); // no second round for the 401
    ASSERT_EQ(run.Errors.size(), 1u);
    EXPECT_EQ(run.Errors[0].Code, 401u);
}
