// The owners of TCP sockets from the system's TCP table (GetExtendedTcpTable: each row's owning process)
// and that process's token (its user).
#include <winsock2.h>
// after winsock2.h, which must come first
#include <windows.h>
// after both
#include <iphlpapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/socket_owner.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost {
namespace {

struct handle_closer {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using owned_handle = std::unique_ptr<void, handle_closer>;

// The whole IPv4 table with owning processes; it may grow between the two calls, so it is asked again.
bool read_table(std::vector<unsigned char>& table, std::string& why) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        DWORD size = static_cast<DWORD>(table.size());
        const DWORD result = ::GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE, AF_INET,
                                                   TCP_TABLE_OWNER_PID_ALL, 0);
        if (result == NO_ERROR) return true;
        if (result != ERROR_INSUFFICIENT_BUFFER) {
            why = "the TCP table cannot be read: " + win32::system_message(result);
            return false;
        }
        table.resize(size + 1024);
    }
    why = "the TCP table keeps changing";
    return false;
}

int port_of(DWORD field) { return static_cast<int>(::ntohs(static_cast<u_short>(field & 0xFFFF))); }

bool loopback(DWORD address) { return (::ntohl(address) >> 24) == 127; }

std::unique_ptr<unsigned char[]> token_user(HANDLE token) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return nullptr;
    auto bytes = std::make_unique<unsigned char[]>(size);
    if (!::GetTokenInformation(token, TokenUser, bytes.get(), size, &size)) return nullptr;
    return bytes;
}

PSID sid_of(const std::unique_ptr<unsigned char[]>& user) {
    return reinterpret_cast<TOKEN_USER*>(user.get())
        ->User.Sid;  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): the API's layout
}

std::string account_name(PSID sid) {
    char name[256];
    char domain[256];
    DWORD name_size = sizeof name;
    DWORD domain_size = sizeof domain;
    SID_NAME_USE use{};
    if (::LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
        return domain_size > 0 ? std::string(domain) + "\\" + name : std::string(name);
    }
    char* text = nullptr;
    if (::ConvertSidToStringSidA(sid, &text)) {
        std::string sid_text = text;
        ::LocalFree(text);
        return sid_text;
    }
    return "an account without a name";
}

std::optional<socket_owner> owner_of_process(DWORD pid, std::string& why) {
    socket_owner owner;
    // The system's own processes (the idle process and System) and anything in session 0, where only the
    // service manager starts processes: an administrator installed them.
    DWORD session = 0;
    if (pid <= 4 || (::ProcessIdToSessionId(pid, &session) && session == 0)) {
        owner.administrator = true;
    }
    const owned_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    HANDLE token_handle = nullptr;
    if (process == nullptr || !::OpenProcessToken(process.get(), TOKEN_QUERY, &token_handle)) {
        // Another user's process keeps its token from us; the services' session still tells.
        if (owner.administrator) {
            owner.user = "a service (process " + std::to_string(pid) + ")";
            return owner;
        }
        owner.user = "the user of process " + std::to_string(pid) + " (not this one: its token is closed to us)";
        return owner;
    }
    const owned_handle token(token_handle);
    const auto user = token_user(token.get());
    if (user == nullptr) {
        why = "the user of process " + std::to_string(pid) + " cannot be read";
        return std::nullopt;
    }
    const PSID sid = sid_of(user);
    owner.user = account_name(sid);
    if (::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinLocalServiceSid) ||
        ::IsWellKnownSid(sid, WinNetworkServiceSid)) {
        owner.administrator = true;
    }
    HANDLE own_handle = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own_handle)) {
        const owned_handle own(own_handle);
        const auto own_user = token_user(own.get());
        owner.this_user = own_user != nullptr && ::EqualSid(sid, sid_of(own_user)) != FALSE;
    }
    return owner;
}

template <class Match>
std::optional<socket_owner> find_owner(Match match, const std::string& missing, std::string& why) {
    std::vector<unsigned char> table;
    if (!read_table(table, why)) return std::nullopt;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(
        table.data());  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): the API's layout
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row =
            rows->table[i];  // NOLINT(cppcoreguidelines-pro-bounds-constant-array-index): counted by the API
        if (match(row)) return owner_of_process(row.dwOwningPid, why);
    }
    why = missing;
    return std::nullopt;
}

}  // namespace

std::optional<socket_owner> loopback_connection_owner(connection_end end, int server_port, int client_port,
                                                      std::string& why) {
    const int local = end == connection_end::server ? server_port : client_port;
    const int remote = end == connection_end::server ? client_port : server_port;
    const std::string missing = "no connection between 127.0.0.1:" + std::to_string(server_port) + " and port " +
                                std::to_string(client_port) + " in the TCP table";
    // A connection the server has not yet accepted may not be in the table yet (wine builds it from the
    // Linux kernel's, where such a socket has no owner): it is asked again for a moment before it counts
    // as unknown (200 ms at most, whatever one reading of the table costs).
    const ULONGLONG give_up = ::GetTickCount64() + 200;
    for (;;) {
        auto owner = find_owner(
            [&](const MIB_TCPROW_OWNER_PID& row) {
                return row.dwState == MIB_TCP_STATE_ESTAB && port_of(row.dwLocalPort) == local &&
                       port_of(row.dwRemotePort) == remote && loopback(row.dwLocalAddr) && loopback(row.dwRemoteAddr);
            },
            missing, why);
        if (owner || why != missing || ::GetTickCount64() >= give_up) return owner;
        ::Sleep(10);
    }
}

std::optional<socket_owner> loopback_listener_owner(int port, std::string& why) {
    return find_owner(
        [&](const MIB_TCPROW_OWNER_PID& row) {
            return row.dwState == MIB_TCP_STATE_LISTEN && port_of(row.dwLocalPort) == port &&
                   (row.dwLocalAddr == 0 || loopback(row.dwLocalAddr));
        },
        "nothing listens on 127.0.0.1:" + std::to_string(port), why);
}

}  // namespace quizhost
