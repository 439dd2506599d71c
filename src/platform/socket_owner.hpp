// Who holds a TCP socket on the loopback address. Any local user can listen on a free loopback port or
// connect to ours, and a socket says nothing of its owner to its peer, but the operating system knows:
// on Linux /proc/net/tcp and /proc/net/tcp6 give each socket's user, on Windows the TCP table gives its
// process and the process's token its user. The host asks before it trusts an answer on the credit port,
// and the bridge before it gives a connection one of its few places.
#pragma once

#include <optional>
#include <string>

namespace quizhost {

struct socket_owner {
    std::string user;            // the user's name; "uid N" (Linux) or the SID's text when it has none
    bool administrator = false;  // root; on Windows the system's own accounts and the services' session
    bool this_user = false;      // the user this process runs as
};

// Which end of a loopback connection between 127.0.0.1:server_port and the client's port.
enum class connection_end { server, client };

// The owner of one end of the established loopback connection between `server_port` (the listener's side)
// and `client_port`. The server's end is the socket the listener accepted it on, which belongs to the
// listener's user even before it was accepted. Nothing, and `why` says it, when the system does not tell.
std::optional<socket_owner> loopback_connection_owner(connection_end end, int server_port, int client_port,
                                                      std::string& why);

// The owner of the socket listening on `port` that a connection to 127.0.0.1:`port` reaches (bound to
// 127.0.0.1, to every address, or to the IPv6 equivalents). Nothing when none listens or the system does
// not tell (`why`).
std::optional<socket_owner> loopback_listener_owner(int port, std::string& why);

}  // namespace quizhost
