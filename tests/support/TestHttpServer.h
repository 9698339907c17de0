#pragma once

// An HTTP server for tests: cpp-httplib on a random port of 127.0.0.1 (or
// another loopback address, for tests that need several hosts), in the test
// process, with exact-path routes and a record of every request.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TestHttpServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    struct Seen {
        std::string Path;   // decoded path, as the router matched it
        std::string Target; // the request line's target, as sent
        httplib::Headers Headers;
        bool Has(const std::string& header) const { return Headers.count(header) != 0; }
        std::string Header(const std::string& name) const {
            auto it = Headers.find(name);
            return it == Headers.end() ? std::string() : it->second;
        }
    };

    // requestsPerConnection: how many requests one connection may carry
    // (1: closed after each answer, as HTTP/1.0 servers do by default).
    explicit TestHttpServer(int requestsPerConnection = 1,
                            const std::string& address = "127.0.0.1");
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Stops listening and waits for the running handlers.
    void Stop();

    int Port() const { return Port_; }
    // "http://<address>:<port>"
    std::string Origin() const;
    std::string Url(const std::string& path) const { return Origin() + path; }
    // "<address>+<port>": the folder of the storage folder that its files go to.
    std::string HostFolder() const { return Address_ + "+" + std::to_string(Port_); }

    // Routes by exact path; unknown paths get 404 "not found".
    void On(const std::string& path, Handler handler);
    void Serve(const std::string& path, const std::string& contentType, const std::string& body,
               int status = 200);
    void Redirect(const std::string& path, const std::string& location, int status = 302);
    // Every request whose path no route names.
    void Fallback(Handler handler);

    std::vector<Seen> Requests() const;
    int Count(const std::string& path) const;
    int Total() const;
    // Whether any request so far carried the header.
    bool EverSaw(const std::string& header) const;

    httplib::Server& Raw() { return Server_; }

private:
    void Handle(const httplib::Request& req, httplib::Response& res);

    httplib::Server Server_;
    std::string Address_;
    int Port_ = 0;
    std::thread Thread_;
    mutable std::mutex M_;
    std::map<std::string, Handler> Routes_;
    Handler Fallback_;
    std::vector<Seen> Seen_;
};

// A gate that server handlers wait at until the test opens it (or the
// bound passes, so that a failing test cannot hang its server).
class Gate {
public:
    void Open();
    // True when opened, false when timeoutMs passed first.
    bool Wait(int timeoutMs = 60000);
    bool IsOpen() const;

private:
    mutable std::mutex M_;
    std::condition_variable Cv_;
    bool Open_ = false;
};

// Counts handlers running at once and the highest count seen.
class Concurrency {
public:
    void Enter();
    void Leave();
    int Now() const { return Now_; }
    int Peak() const { return Peak_; }

private:
    std::atomic<int> Now_{0};
    std::atomic<int> Peak_{0};
};
