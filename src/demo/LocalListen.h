#pragma once

#include <string>

namespace httplib {
class Server;
}

// Binds server to address:port (port 0: a free one) with a listen queue deep
// enough for the connections a crawler opens at once. The library's queue
// holds 5: the kernel drops a sixth connection made at the same moment, and
// its request waits for TCP to send it again (0.2 s, 0.6 s, ...). The port is
// the server's alone (SO_REUSEADDR, not the library's SO_REUSEPORT): a busy
// port fails instead of splitting the requests between two servers.
// Returns the port bound, or -1.
int ListenLocally(httplib::Server& server, const std::string& address, int port = 0);
