#pragma once

// Misbehaving servers for tests, on raw sockets of 127.0.0.1: each accepted
// connection runs a script on a thread of its own (answer late, trickle,
// close early, reset), and a listener that never accepts at all.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class ScriptedServer;

class RawConnection {
public:
    RawConnection(int fd, ScriptedServer& server) : Fd_(fd), Server_(server) {}

    // Reads up to the end of the request head; empty when the peer closed,
    // the server stops or timeoutMs passed.
    std::string ReadHead(int timeoutMs = 10000);
    // Sends everything; false when the peer went away or the server stops.
    bool Send(std::string_view data);
    // Waits ms; false (early) when the server stops or the peer closed.
    bool Pause(int ms);
    // Waits until the peer closes the connection; false when the server
    // stops or timeoutMs passes first.
    bool WaitPeerClosed(int timeoutMs = 60000);
    // Ends the connection with a reset instead of an orderly close.
    void Reset();
    int Fd() const { return Fd_; }

private:
    bool PeerClosed();
    int Fd_;
    ScriptedServer& Server_;
    std::string Pending_; // bytes read beyond the head
};

class ScriptedServer {
public:
    using Script = std::function<void(RawConnection&)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // Closes the listener, ends the running scripts and joins them.
    void Stop();

    int Port() const { return Port_; }
    std::string Origin() const;
    std::string Url(const std::string& path) const { return Origin() + path; }
    // "127.0.0.1+<port>": the folder of the storage folder that its files go to.
    std::string HostFolder() const { return "127.0.0.1+" + std::to_string(Port_); }

    int Accepted() const { return Accepted_; }
    // Every request head read through ReadHead, in order.
    std::vector<std::string> Heads() const;
    bool Stopping() const { return Stopping_; }

private:
    friend class RawConnection;
    void AcceptLoop();
    void Record(const std::string& head);

    Script Script_;
    int Listen_ = -1;
    int Port_ = 0;
    std::atomic<bool> Stopping_{false};
    std::atomic<int> Accepted_{0};
    std::thread Acceptor_;
    mutable std::mutex M_;
    std::vector<std::thread> Connections_;
    std::vector<std::string> Heads_;
};

// A listener that never accepts, with its backlog filled up front: a new
// connection attempt stays in the handshake until the client gives up.
class BlackholeServer {
public:
    BlackholeServer();
    ~BlackholeServer();
    BlackholeServer(const BlackholeServer&) = delete;
    BlackholeServer& operator=(const BlackholeServer&) = delete;

    int Port() const { return Port_; }
    std::string Url(const std::string& path) const;
    // Whether a fresh connection attempt indeed stays pending (the kernel
    // might complete it after all); checked with a probe.
    bool ConnectsHang() const;

private:
    int Listen_ = -1;
    int Port_ = 0;
    std::vector<int> Fillers_;
};

// A plain "HTTP/1.0 <status> <reason>" answer head with the given header
// lines (each without CR LF) and the blank line.
std::string ResponseHead(int status, const std::vector<std::string>& headers);
