#include "TestHttpServer.h"

#include "demo/LocalListen.h"

#include <chrono>
#include <condition_variable>

TestHttpServer::TestHttpServer(int requestsPerConnection, const std::string& address)
    : Address_(address) {
    Server_.set_keep_alive_max_count(std::size_t(requestsPerConnection));
    auto handle = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
    Server_.Get(".*", handle);
    Port_ = ListenLocally(Server_, Address_);
    Thread_ = std::thread([this] { Server_.listen_after_bind(); });
    while (!Server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestHttpServer::~TestHttpServer() {
    Stop();
}

void TestHttpServer::Stop() {
    if (Thread_.joinable()) {
        Server_.stop();
        Thread_.join();
    }
}

std::string TestHttpServer::Origin() const {
    return "http://" + Address_ + ":" + std::to_string(Port_);
}

void TestHttpServer::On(const std::string& path, Handler handler) {
    std::lock_guard lk(M_);
    Routes_[path] = std::move(handler);
}

void TestHttpServer::Serve(const std::string& path, const std::string& contentType,
                           const std::string& body, int status) {
    On(path, [contentType, body, status](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, contentType.c_str());
    });
}

void TestHttpServer::Redirect(const std::string& path, const std::string& location, int status) {
    On(path, [location, status](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_header("Location", location);
        res.set_content("moved", "text/plain");
    });
}

void TestHttpServer::Fallback(Handler handler) {
    std::lock_guard lk(M_);
    Fallback_ = std::move(handler);
}

std::vector<TestHttpServer::Seen> TestHttpServer::Requests() const {
    std::lock_guard lk(M_);
    return Seen_;
}

int TestHttpServer::Count(const std::string& path) const {
    std::lock_guard lk(M_);
    int n = 0;
    for (const auto& s : Seen_)
        if (s.Path == path) ++n;
    return n;
}

int TestHttpServer::Total() const {
    std::lock_guard lk(M_);
    return int(Seen_.size());
}

bool TestHttpServer::EverSaw(const std::string& header) const {
    std::lock_guard lk(M_);
    for (const auto& s : Seen_)
        if (s.Has(header)) return true;
    return false;
}

void TestHttpServer::Handle(const httplib::Request& req, httplib::Response& res) {
    Handler handler;
    {
        std::lock_guard lk(M_);
        Seen_.push_back({req.path, req.target, req.headers});
        auto it = Routes_.find(req.path);
        if (it != Routes_.end())
            handler = it->second;
        else
            handler = Fallback_;
    }
    if (handler) {
        handler(req, res);
        return;
    }
    res.status = 404;
    res.set_content("not found", "text/plain");
}

void Gate::Open() {
    {
        std::lock_guard lk(M_);
        Open_ = true;
    }
    Cv_.notify_all();
}

bool Gate::Wait(int timeoutMs) {
    std::unique_lock lk(M_);
    return Cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [this] { return Open_; });
}

bool Gate::IsOpen() const {
    std::lock_guard lk(M_);
    return Open_;
}

void Concurrency::Enter() {
    const int now = ++Now_;
    int peak = Peak_.load();
    while (now > peak && !Peak_.compare_exchange_weak(peak, now)) {
    }
}

void Concurrency::Leave() {
    --Now_;
}
