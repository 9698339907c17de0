#include "ScriptedServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int ListenOn127(int backlog, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, backlog) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

int MsLeft(Clock::time_point end) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

// Non-blocking connect to 127.0.0.1:port; the socket, or -1.
int StartConnect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(std::uint16_t(port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    return fd;
}

} // namespace

// --- RawConnection ---

std::string RawConnection::ReadHead(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string buf = std::move(Pending_);
    Pending_.clear();
    for (;;) {
        const auto pos = buf.find("\r\n\r\n");
        if (pos != std::string::npos) {
            Pending_ = buf.substr(pos + 4);
            std::string head = buf.substr(0, pos + 4);
            Server_.Record(head);
            return head;
        }
        if (Server_.Stopping() || MsLeft(end) == 0) return {};
        pollfd p{Fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, 50);
        if (r <= 0) continue;
        char chunk[4096];
        const ssize_t n = ::recv(Fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return {};
        buf.append(chunk, std::size_t(n));
    }
}

bool RawConnection::Send(std::string_view data) {
    std::size_t off = 0;
    while (off < data.size()) {
        if (Server_.Stopping()) return false;
        pollfd p{Fd_, POLLOUT, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP)) return false;
        const ssize_t n =
            ::send(Fd_, data.data() + off, data.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return false;
        }
        off += std::size_t(n);
    }
    return true;
}

bool RawConnection::PeerClosed() {
    pollfd p{Fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLERR | POLLHUP)) return true;
    char chunk[4096];
    const ssize_t n = ::recv(Fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0) return true;
    if (n < 0) return errno != EAGAIN && errno != EINTR;
    Pending_.append(chunk, std::size_t(n));
    return false;
}

bool RawConnection::Pause(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (MsLeft(end) > 0) {
        if (Server_.Stopping() || PeerClosed()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, MsLeft(end))));
    }
    return true;
}

bool RawConnection::WaitPeerClosed(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Server_.Stopping() && MsLeft(end) > 0) {
        if (PeerClosed()) return true;
        pollfd p{Fd_, POLLIN, 0};
        ::poll(&p, 1, 20);
    }
    return false;
}

void RawConnection::Reset() {
    linger l{1, 0};
    ::setsockopt(Fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(Fd_);
    Fd_ = -1;
}

// --- ScriptedServer ---

ScriptedServer::ScriptedServer(Script script) : Script_(std::move(script)) {
    Listen_ = ListenOn127(64, Port_);
    Acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    Stop();
}

std::string ScriptedServer::Origin() const {
    return "http://127.0.0.1:" + std::to_string(Port_);
}

void ScriptedServer::AcceptLoop() {
    while (!Stopping_) {
        pollfd p{Listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(Listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++Accepted_;
        std::lock_guard lk(M_);
        Connections_.emplace_back([this, fd] {
            RawConnection conn(fd, *this);
            Script_(conn);
            if (conn.Fd() >= 0) ::close(conn.Fd());
        });
    }
}

void ScriptedServer::Stop() {
    if (!Acceptor_.joinable()) return;
    Stopping_ = true;
    Acceptor_.join();
    ::close(Listen_);
    std::vector<std::thread> threads;
    {
        std::lock_guard lk(M_);
        threads.swap(Connections_);
    }
    for (auto& t : threads)
        t.join();
}

std::vector<std::string> ScriptedServer::Heads() const {
    std::lock_guard lk(M_);
    return Heads_;
}

void ScriptedServer::Record(const std::string& head) {
    std::lock_guard lk(M_);
    Heads_.push_back(head);
}

// --- BlackholeServer ---

BlackholeServer::BlackholeServer() {
    Listen_ = ListenOn127(0, Port_);
    // With a backlog of 0 one completed connection fills the queue; further
    // handshakes are dropped by the kernel and stay pending.
    for (int i = 0; i < 3; ++i)
        Fillers_.push_back(StartConnect(Port_));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

BlackholeServer::~BlackholeServer() {
    for (int fd : Fillers_)
        if (fd >= 0) ::close(fd);
    ::close(Listen_);
}

std::string BlackholeServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port_) + path;
}

bool BlackholeServer::ConnectsHang() const {
    const int fd = StartConnect(Port_);
    if (fd < 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const int r = ::poll(&p, 1, 300);
    ::close(fd);
    return r == 0;
}

std::string ResponseHead(int status, const std::vector<std::string>& headers) {
    std::string reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\n";
    for (const auto& h : headers)
        head += h + "\r\n";
    head += "\r\n";
    return head;
}
