// The owners of TCP sockets from /proc/net/tcp and /proc/net/tcp6: one line per socket, the local and
// remote addresses as hexadecimal ADDRESS:PORT, the state, and the user's number in the eighth field. A
// connection between two IPv4 loopback ends is first asked of the kernel directly (sock_diag over
// netlink), which finds it by its four numbers at once instead of reading every socket's line: the bridge
// asks for each connection it accepts, also in a flood.
#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/socket_owner.hpp"

namespace quizhost {
namespace {

constexpr unsigned long established_state = 0x01;
constexpr unsigned long listen_state = 0x0A;

struct socket_row {
    std::string local_address, remote_address;
    int local_port = -1, remote_port = -1;
    unsigned long state = 0;
    unsigned long uid = 0;
};

// "0100007F:1D33" into its address digits and port.
bool split_endpoint(const std::string& text, std::string& address, int& port) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    address = text.substr(0, colon);
    try {
        port = std::stoi(text.substr(colon + 1), nullptr, 16);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::vector<socket_row> read_table(const char* path, bool& readable) {
    std::vector<socket_row> rows;
    std::ifstream in(path);
    if (!in) return rows;
    readable = true;
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
        // "sl: local remote st tx:rx tr:when retransmits uid ...", with the addresses in hexadecimal.
        char local[64];
        char remote[64];
        unsigned int state = 0;
        unsigned long uid = 0;
        // NOLINTNEXTLINE(cert-err34-c): a line that does not scan whole is skipped
        if (std::sscanf(line.c_str(), " %*s %63s %63s %x %*s %*s %*s %lu", local, remote, &state, &uid) != 4) continue;
        socket_row row;
        row.state = state;
        row.uid = uid;
        if (!split_endpoint(local, row.local_address, row.local_port) ||
            !split_endpoint(remote, row.remote_address, row.remote_port)) {
            continue;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<socket_row> read_tables(std::string& why, bool& any) {
    any = false;
    std::vector<socket_row> rows = read_table("/proc/net/tcp", any);
    std::vector<socket_row> six = read_table("/proc/net/tcp6", any);
    rows.insert(rows.end(), six.begin(), six.end());
    if (!any) why = "/proc/net/tcp cannot be read";
    return rows;
}

// The kernel prints each 32-bit word of an address in host order; on the machines a cabinet runs on that
// is little-endian, so 127.0.0.1 reads 0100007F. 127.x.y.z all lead to the loopback.
bool loopback_v4(const std::string& word) { return word.size() == 8 && word.substr(6) == "7F"; }

bool reaches_loopback(const std::string& address) {
    if (address.size() == 8) return address == "00000000" || loopback_v4(address);
    if (address.size() != 32) return false;
    const std::string head = address.substr(0, 16);
    const std::string third = address.substr(16, 8);
    const std::string fourth = address.substr(24, 8);
    if (head != "0000000000000000") return false;
    if (third == "00000000") return fourth == "00000000" || fourth == "01000000";  // :: and ::1
    return third == "FFFF0000" && (fourth == "00000000" || loopback_v4(fourth));   // ::ffff:a.b.c.d
}

// The user of the established IPv4 socket 127.0.0.1:local <-> 127.0.0.1:remote, asked of the kernel;
// nothing when it has no such socket or will not say.
std::optional<unsigned long> diagnosed_uid(int local, int remote) {
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) return std::nullopt;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = 1u << 1;  // TCP_ESTABLISHED
    message.request.id.idiag_sport = htons(static_cast<std::uint16_t>(local));
    message.request.id.idiag_dport = htons(static_cast<std::uint16_t>(remote));
    message.request.id.idiag_src[0] = htonl(INADDR_LOOPBACK);
    message.request.id.idiag_dst[0] = htonl(INADDR_LOOPBACK);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    std::optional<unsigned long> uid;
    timeval bound{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) ==
        static_cast<ssize_t>(sizeof message)) {
        alignas(nlmsghdr) char reply[8192];
        const ssize_t got = ::recv(fd, reply, sizeof reply, 0);
        if (got >= static_cast<ssize_t>(sizeof(nlmsghdr))) {
            const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
            if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY && header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg)) &&
                static_cast<std::size_t>(got) >= header->nlmsg_len) {
                const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
                uid = found->idiag_uid;
            }
        }
    }
    ::close(fd);
    return uid;
}

socket_owner owner_of(unsigned long uid) {
    socket_owner owner;
    owner.administrator = uid == 0;
    owner.this_user = uid == static_cast<unsigned long>(::geteuid());
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        owner.user = found->pw_name;
    } else {
        owner.user = "uid " + std::to_string(uid);
    }
    return owner;
}

}  // namespace

std::optional<socket_owner> loopback_connection_owner(connection_end end, int server_port, int client_port,
                                                      std::string& why) {
    const int local = end == connection_end::server ? server_port : client_port;
    const int remote = end == connection_end::server ? client_port : server_port;
    if (const auto uid = diagnosed_uid(local, remote)) return owner_of(*uid);
    // An IPv6 listener's connection, or a kernel without sock_diag: every socket's line.
    bool any = false;
    const std::vector<socket_row> rows = read_tables(why, any);
    if (!any) return std::nullopt;
    for (const socket_row& row : rows) {
        if (row.state != established_state || row.local_port != local || row.remote_port != remote) continue;
        if (!reaches_loopback(row.local_address) || !reaches_loopback(row.remote_address)) continue;
        return owner_of(row.uid);
    }
    why = "no connection between 127.0.0.1:" + std::to_string(server_port) + " and port " +
          std::to_string(client_port) + " in /proc/net/tcp";
    return std::nullopt;
}

std::optional<socket_owner> loopback_listener_owner(int port, std::string& why) {
    bool any = false;
    const std::vector<socket_row> rows = read_tables(why, any);
    if (!any) return std::nullopt;
    for (const socket_row& row : rows) {
        if (row.state == listen_state && row.local_port == port && reaches_loopback(row.local_address)) {
            return owner_of(row.uid);
        }
    }
    why = "nothing listens on 127.0.0.1:" + std::to_string(port);
    return std::nullopt;
}

}  // namespace quizhost
