#pragma once

// Serves the demo gallery over HTTP on 127.0.0.1, or writes it out as
// static files for any other web server.

#include "demo/DemoSite.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

class DemoServer {
public:
    explicit DemoServer(std::map<std::string, DemoFile> files);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port) and answers on threads of
    // its own. False when the port cannot be had or the server already runs.
    bool Start(int port = 0);
    int Port() const { return Port_; }
    std::string BaseUrl() const; // "http://127.0.0.1:PORT/"
    // Closes the port and waits for the answers under way; safe to repeat.
    void Stop();

private:
    const std::map<std::string, DemoFile> Files_;
    std::unique_ptr<httplib::Server> Server_;
    std::thread Thread_;
    std::atomic<bool> Finished_{false};
    int Port_ = 0;
};

// Writes every file under dir, creating the folders: "/" becomes index.html,
// "/gallery/page1.html" dir/gallery/page1.html. False with a message for
// the user in error when a folder or a file cannot be written.
bool WriteDemoSite(const std::map<std::string, DemoFile>& files, const std::string& dir,
                   std::string& error);
