#include "DemoServer.h"

#include "demo/LocalListen.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

DemoServer::DemoServer(std::map<std::string, DemoFile> files) : Files_(std::move(files)) {}

DemoServer::~DemoServer() {
    Stop();
}

bool DemoServer::Start(int port) {
    if (Server_) return false;
    auto server = std::make_unique<httplib::Server>();
    // A thread for each connection a scan keeps open (4 page and 8 file
    // slots by default, the browser's besides): a connection beyond the
    // library's 8 threads would wait for another to close.
    server->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        auto it = Files_.find(req.path);
        if (it == Files_.end() && !req.path.empty() && req.path.back() == '/')
            it = Files_.find(req.path + "index.html");
        if (it == Files_.end()) {
            res.status = 404;
            res.set_content("not found: " + req.path + "\n", "text/plain");
            return;
        }
        res.set_content(it->second.Bytes, it->second.ContentType);
    });
    const int bound = ListenLocally(*server, "127.0.0.1", port);
    if (bound <= 0) return false;

    Port_ = bound;
    Finished_ = false;
    Server_ = std::move(server);
    Thread_ = std::thread([this] {
        Server_->listen_after_bind();
        Finished_ = true;
    });
    // Stop() only reaches a server that has entered its loop.
    while (!Server_->is_running() && !Finished_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

std::string DemoServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(Port_) + "/";
}

void DemoServer::Stop() {
    if (!Server_) return;
    Server_->stop();
    if (Thread_.joinable()) Thread_.join();
    Server_.reset();
    Port_ = 0;
}

bool WriteDemoSite(const std::map<std::string, DemoFile>& files, const std::string& dir,
                   std::string& error) {
    namespace fs = std::filesystem;
    for (const auto& [path, file] : files) {
        const std::size_t start = path.find_first_not_of('/');
        std::string relative = start == std::string::npos ? std::string() : path.substr(start);
        if (relative.empty() || relative.back() == '/') relative += "index.html";
        if (fs::path(relative).lexically_normal().string().starts_with("..")) {
            error = "refusing to write " + path + " outside " + dir;
            return false;
        }
        const fs::path target = fs::path(dir) / relative;
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) {
            error =
                "cannot create the folder " + target.parent_path().string() + ": " + ec.message();
            return false;
        }
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(file.Bytes.data(), std::streamsize(file.Bytes.size()));
        out.close();
        if (!out) {
            error =
                "cannot write " + target.string() + ": " + std::generic_category().message(errno);
            return false;
        }
    }
    return true;
}
