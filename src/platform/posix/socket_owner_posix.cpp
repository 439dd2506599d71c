// The owners of TCP sockets from /proc/net/tcp and /proc/net/tcp6: one line per socket, the local and
// remote addresses as hexadecimal ADDRESS:PORT, the state, and the user's number in the eighth field.
#include <pwd.h>
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
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        socket_row row;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> row.uid)) continue;
        if (!split_endpoint(local, row.local_address, row.local_port) ||
            !split_endpoint(remote, row.remote_address, row.remote_port)) {
            continue;
        }
        try {
            row.state = std::stoul(state, nullptr, 16);
        } catch (const std::exception&) {
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
    bool any = false;
    const std::vector<socket_row> rows = read_tables(why, any);
    if (!any) return std::nullopt;
    const int local = end == connection_end::server ? server_port : client_port;
    const int remote = end == connection_end::server ? client_port : server_port;
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
