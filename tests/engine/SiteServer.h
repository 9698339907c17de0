#pragma once

// A small web site for end-to-end tests: routes declared up front, served
// by cpp-httplib on 127.0.0.1 in the test process, every request recorded.

#include "EventLoop.h"
#include "TempDir.h"

#include "demo/LocalListen.h"

#include <httplib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct Route {
    int Status = 200;
    std::string ContentType = "text/html";
    std::string Body;
    std::string Location; // for redirects
};

class SiteServer {
public:
    SiteServer() {
        Server_.set_keep_alive_max_count(1);
        Server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Handle(req, res);
        });
        Port_ = ListenLocally(Server_, "127.0.0.1");
        Thread_ = std::thread([this] { Server_.listen_after_bind(); });
        while (!Server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~SiteServer() { Stop(); }

    void Stop() {
        if (Thread_.joinable()) {
            Server_.stop();
            Thread_.join();
        }
    }

    int Port() const { return Port_; }
    // The folder of the storage folder that its files go to.
    std::string HostFolder() const { return "127.0.0.1+" + std::to_string(Port_); }
    std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(Port_) + path;
    }

    void Page(const std::string& path, const std::string& html) {
        Set(path, {200, "text/html", html, {}});
    }
    void File(const std::string& path, const std::string& type, const std::string& body) {
        Set(path, {200, type, body, {}});
    }
    void Set(const std::string& path, Route route) {
        std::lock_guard lk(M_);
        Routes_[path] = std::move(route);
    }
    // A handler of its own for a path; it runs on the server's threads.
    void Custom(const std::string& path,
                std::function<void(const httplib::Request&, httplib::Response&)> f) {
        std::lock_guard lk(M_);
        Custom_[path] = std::move(f);
    }

    std::vector<std::string> Requests() const {
        std::lock_guard lk(M_);
        return Requests_;
    }
    int Count(const std::string& path) const {
        std::lock_guard lk(M_);
        int n = 0;
        for (const auto& r : Requests_)
            if (r == path) ++n;
        return n;
    }
    bool SawHeader(const std::string& name) const {
        std::lock_guard lk(M_);
        return Headers_.count(name) != 0;
    }
    std::string LastHeader(const std::string& name) const {
        std::lock_guard lk(M_);
        auto it = LastHeaders_.find(name);
        return it == LastHeaders_.end() ? std::string() : it->second;
    }

private:
    void Handle(const httplib::Request& req, httplib::Response& res) {
        std::function<void(const httplib::Request&, httplib::Response&)> custom;
        Route route;
        bool found = false;
        {
            std::lock_guard lk(M_);
            std::string target = req.path;
            if (!req.params.empty()) {
                target += "?";
                bool first = true;
                for (const auto& [k, v] : req.params) {
                    target += (first ? "" : "&") + k + "=" + v;
                    first = false;
                }
            }
            Requests_.push_back(target);
            for (const auto& [k, v] : req.headers) {
                Headers_.insert(k);
                LastHeaders_[k] = v;
            }
            auto c = Custom_.find(req.path);
            if (c != Custom_.end()) custom = c->second;
            auto it = Routes_.find(req.path);
            if (it != Routes_.end()) {
                route = it->second;
                found = true;
            }
        }
        if (custom) {
            custom(req, res);
            return;
        }
        if (!found) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        res.status = route.Status;
        if (!route.Location.empty()) res.set_header("Location", route.Location);
        res.set_content(route.Body, route.ContentType);
    }

    httplib::Server Server_;
    int Port_ = 0;
    std::thread Thread_;
    mutable std::mutex M_;
    std::map<std::string, Route> Routes_;
    std::map<std::string, std::function<void(const httplib::Request&, httplib::Response&)>> Custom_;
    std::vector<std::string> Requests_;
    std::set<std::string> Headers_;
    std::map<std::string, std::string> LastHeaders_;
};
