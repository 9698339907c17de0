#pragma once

// An https server on 127.0.0.1 with a freshly made self-signed certificate:
// a client that verifies certificates must refuse it.

#include <atomic>
#include <string>
#include <thread>

namespace httplib {
class SSLServer;
}

class TlsTestServer {
public:
    // Every path answers 200 with body as image/jpeg.
    explicit TlsTestServer(const std::string& body);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    bool Valid() const { return Port_ > 0; }
    std::string Url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(Port_) + path;
    }
    int Served() const { return Served_; }

private:
    httplib::SSLServer* Server_ = nullptr;
    int Port_ = 0;
    std::thread Thread_;
    std::atomic<int> Served_{0};
};
