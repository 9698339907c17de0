#pragma once

#include "demo/LocalListen.h"

#include <httplib.h>

#include <thread>

// Runs a cpp-httplib server on 127.0.0.1, on a port of its own and a thread
// of its own, from construction to destruction, with a listen queue that
// takes every connection a scan opens at once. The server's routes are set
// before.
class ServerThread {
public:
    explicit ServerThread(httplib::Server& server) : Server_(server) {
        Port_ = ListenLocally(Server_, "127.0.0.1");
        Thread_ = std::thread([this] { Server_.listen_after_bind(); });
        while (!Server_.is_running())
            std::this_thread::yield();
    }
    ~ServerThread() {
        Server_.stop();
        Thread_.join();
    }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    int Port() const { return Port_; }

private:
    httplib::Server& Server_;
    int Port_ = 0;
    std::thread Thread_;
};
