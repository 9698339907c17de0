#include "LocalListen.h"

#include <httplib.h>

#include <memory>

#include <sys/socket.h>

int ListenLocally(httplib::Server& server, const std::string& address, int port) {
    // The library listens as it binds; the socket is known from its options.
    auto listening = std::make_shared<int>(-1);
    server.set_socket_options([listening](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        *listening = sock;
    });
    int bound = -1;
    if (port == 0)
        bound = server.bind_to_any_port(address);
    else if (server.bind_to_port(address, port))
        bound = port;
    if (bound <= 0) return -1;
    // Listening again on a listening socket only sets the depth of its queue.
    if (*listening >= 0) ::listen(*listening, SOMAXCONN);
    return bound;
}
