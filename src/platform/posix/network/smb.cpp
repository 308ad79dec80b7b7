// The SMB backend: share lists and folders of real servers through libsmbclient.
#include "network/smb.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libsmbclient.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "zp_network.h"

namespace zp {

namespace {

constexpr size_t MaxEntries = 1u << 20; // a listing beyond this is not a folder to complete in

// libsmbclient's entry points, looked up once; all null when it is not installed.
struct SmbLibrary {
    decltype(&smbc_new_context) NewContext = nullptr;
    decltype(&smbc_free_context) FreeContext = nullptr;
    decltype(&smbc_init_context) InitContext = nullptr;
    decltype(&smbc_setDebug) SetDebug = nullptr;
    decltype(&smbc_setPort) SetPort = nullptr;
    decltype(&smbc_setTimeout) SetTimeout = nullptr;
    decltype(&smbc_setOptionUserData) SetUserData = nullptr;
    decltype(&smbc_getOptionUserData) GetUserData = nullptr;
    decltype(&smbc_setOptionUseKerberos) SetUseKerberos = nullptr;
    decltype(&smbc_setOptionFallbackAfterKerberos) SetFallbackAfterKerberos = nullptr;
    decltype(&smbc_setOptionNoAutoAnonymousLogin) SetNoAutoAnonymousLogin = nullptr;
    decltype(&smbc_setFunctionAuthDataWithContext) SetAuthentication = nullptr;
    decltype(&smbc_getFunctionOpendir) GetOpendir = nullptr;
    decltype(&smbc_getFunctionReaddir) GetReaddir = nullptr;
    decltype(&smbc_getFunctionClosedir) GetClosedir = nullptr;
};

const SmbLibrary& Smbclient() {
    static const SmbLibrary library = [] {
        SmbLibrary l;
        void* so = dlopen("libsmbclient.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!so) return l;
        bool all = true;
        auto find = [&](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(so, name));
            all = all && entry;
        };
        find(l.NewContext, "smbc_new_context");
        find(l.FreeContext, "smbc_free_context");
        find(l.InitContext, "smbc_init_context");
        find(l.SetDebug, "smbc_setDebug");
        find(l.SetPort, "smbc_setPort");
        find(l.SetTimeout, "smbc_setTimeout");
        find(l.SetUserData, "smbc_setOptionUserData");
        find(l.GetUserData, "smbc_getOptionUserData");
        find(l.SetUseKerberos, "smbc_setOptionUseKerberos");
        find(l.SetFallbackAfterKerberos, "smbc_setOptionFallbackAfterKerberos");
        find(l.SetNoAutoAnonymousLogin, "smbc_setOptionNoAutoAnonymousLogin");
        find(l.SetAuthentication, "smbc_setFunctionAuthDataWithContext");
        find(l.GetOpendir, "smbc_getFunctionOpendir");
        find(l.GetReaddir, "smbc_getFunctionReaddir");
        find(l.GetClosedir, "smbc_getFunctionClosedir");
        return all ? l : SmbLibrary{}; // the library stays loaded: contexts point into it
    }();
    return library;
}

// ---- Calls that tests may replace ---------------------------------------------------

SMBCFILE* ContextOpendir(SMBCCTX* c, const char* url) {
    return Smbclient().GetOpendir(c)(c, url);
}
smbc_dirent* ContextReaddir(SMBCCTX* c, SMBCFILE* dir) {
    return Smbclient().GetReaddir(c)(c, dir);
}
int ContextClosedir(SMBCCTX* c, SMBCFILE* dir) {
    return Smbclient().GetClosedir(c)(c, dir);
}

struct SystemCall {
    const char* name;
    ZpSystemCall current;
    ZpSystemCall standard;
};

template <typename Fn> ZpSystemCall Generic(Fn fn) {
    return reinterpret_cast<ZpSystemCall>(fn);
}

enum { CallOpendir, CallReaddir, CallClosedir };
SystemCall systemCalls[] = {
    {"opendir", Generic(ContextOpendir), Generic(ContextOpendir)},
    {"readdir", Generic(ContextReaddir), Generic(ContextReaddir)},
    {"closedir", Generic(ContextClosedir), Generic(ContextClosedir)},
};
std::mutex systemCallsLock; // guards systemCalls

template <typename Fn> Fn Call(int which) {
    std::lock_guard<std::mutex> hold(systemCallsLock);
    return reinterpret_cast<Fn>(systemCalls[which].current);
}

bool StandIn() {
    std::lock_guard<std::mutex> hold(systemCallsLock);
    return systemCalls[CallOpendir].current != systemCalls[CallOpendir].standard;
}

// ---- URLs and answers -----------------------------------------------------------

// libsmbclient decodes %XX in a URL and reads '?' as the start of options: every byte
// but the unreserved ones and the separator is escaped.
void AppendEscaped(std::string& url, const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
}

void CopyField(char* field, int size, const std::string& text) {
    if (size > 0) std::snprintf(field, static_cast<size_t>(size), "%s", text.c_str());
}

// libsmbclient asks for credentials for each connection: the file's, or the guest
// account with no password.
void Authenticate(SMBCCTX* context, const char* /*server*/, const char* /*share*/, char* workgroup,
                  int workgroupSize, char* user, int userSize, char* password, int passwordSize) {
    auto* settings = static_cast<const SmbSettings*>(Smbclient().GetUserData(context));
    if (!settings || settings->user.empty()) {
        CopyField(user, userSize, "guest");
        CopyField(password, passwordSize, "");
        return;
    }
    CopyField(user, userSize, settings->user);
    CopyField(password, passwordSize, settings->password);
    if (!settings->domain.empty()) CopyField(workgroup, workgroupSize, settings->domain);
}

// Whether a TCP connection to the server's port opens within `timeoutMs`: told apart,
// a server that is not there and one that does not answer get the errors Windows gives.
bool Reachable(const SmbSettings& s) {
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(s.host.c_str(), std::to_string(s.port).c_str(), &hints, &found) != 0)
        return false;
    bool connected = false;
    for (addrinfo* a = found; a && !connected; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            pollfd wait = {fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof error;
            connected = poll(&wait, 1, s.timeoutMs) == 1 &&
                        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        close(fd);
    }
    freeaddrinfo(found);
    return connected;
}

bool HoldsSeparator(const std::string& name) {
    return name.find_first_of("\\/") != std::string::npos;
}

} // namespace

SmbServer::SmbServer(SmbSettings settings) : settings_(std::move(settings)) {}

SmbServer::~SmbServer() {
    if (context_) Smbclient().FreeContext(static_cast<SMBCCTX*>(context_), 1);
}

DWORD SmbServer::ErrorFor(int error, bool shareList, const std::string& path) {
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ETIMEDOUT:
        return Reachable(settings_) ? ERROR_SEM_TIMEOUT : ERROR_BAD_NETPATH;
    case ENOENT:
    case ENODEV: // a share that is not a disk
    case ENOTDIR:
        if (shareList) return ERROR_BAD_NETPATH; // the name leads to no server
        return path.find('/') == std::string::npos ? ERROR_BAD_NET_NAME : ERROR_PATH_NOT_FOUND;
    default: // refused, unreachable, reset, a name that resolves to nothing
        return ERROR_BAD_NETPATH;
    }
}

DWORD SmbServer::List(const std::string& path, bool shareList, std::vector<SmbEntry>* entries) {
    entries->clear();
    std::lock_guard<std::mutex> hold(lock_);
    SMBCCTX* context = nullptr;
    if (!StandIn()) {
        const SmbLibrary& library = Smbclient();
        if (!library.NewContext) return ERROR_NO_NETWORK;
        if (!context_) {
            SMBCCTX* made = library.NewContext();
            if (!made) return ERROR_NOT_ENOUGH_MEMORY;
            library.SetDebug(made, 0);
            library.SetPort(made, static_cast<uint16_t>(settings_.port));
            library.SetTimeout(made, settings_.timeoutMs);
            library.SetUseKerberos(made, 0);
            library.SetFallbackAfterKerberos(made, 1);
            // A login the server refuses is not retried anonymously, which the server
            // would take for its guest: a wrong password must not look like guest access.
            library.SetNoAutoAnonymousLogin(made, !settings_.user.empty());
            library.SetUserData(made, const_cast<SmbSettings*>(&settings_));
            library.SetAuthentication(made, Authenticate);
            if (!library.InitContext(made)) {
                library.FreeContext(made, 0);
                return ERROR_NO_NETWORK;
            }
            context_ = made;
        }
        context = static_cast<SMBCCTX*>(context_);
    }
    std::string url = "smb://";
    url +=
        settings_.host.find(':') == std::string::npos ? settings_.host : "[" + settings_.host + "]";
    url += ":" + std::to_string(settings_.port) + "/";
    AppendEscaped(url, path);

    errno = 0;
    SMBCFILE* dir = Call<smbc_opendir_fn>(CallOpendir)(context, url.c_str());
    if (!dir) return ErrorFor(errno, shareList, path);
    auto read = Call<smbc_readdir_fn>(CallReaddir);
    while (const smbc_dirent* entry = read(context, dir)) {
        if (entries->size() == MaxEntries) break;
        entries->push_back({entry->name, entry->smbc_type, entry->comment ? entry->comment : ""});
    }
    Call<smbc_closedir_fn>(CallClosedir)(context, dir);
    return ERROR_SUCCESS;
}

DWORD SmbServer::Shares(std::vector<Share>* shares) {
    shares->clear();
    std::vector<SmbEntry> entries;
    DWORD code = List("", true, &entries);
    if (code != ERROR_SUCCESS) return code;
    for (SmbEntry& e : entries) {
        // A name that holds a separator would make a path of a share name.
        if (e.name.empty() || HoldsSeparator(e.name)) continue;
        ShareKind kind;
        switch (e.type) {
        case SMBC_FILE_SHARE:
            // The server marks every share whose name ends in '$' as special, as Samba
            // does; libsmbclient keeps only the share's kind.
            kind = e.name.back() == '$' ? ShareKind::Special : ShareKind::Disk;
            break;
        case SMBC_PRINTER_SHARE:
            kind = ShareKind::Printer;
            break;
        case SMBC_COMMS_SHARE:
            kind = ShareKind::Device;
            break;
        case SMBC_IPC_SHARE:
            kind = ShareKind::Ipc;
            break;
        default: // workgroups, servers, files: nothing a share list holds
            continue;
        }
        shares->push_back({std::move(e.name), kind, std::move(e.comment), ""});
    }
    return ERROR_SUCCESS;
}

DWORD SmbServer::Folder(const std::string& share, const std::string& path,
                        std::vector<SmbEntry>* entries) {
    if (share.empty() || HoldsSeparator(share)) return ERROR_BAD_NET_NAME;
    DWORD code = List(path.empty() ? share : share + "/" + path, false, entries);
    if (code != ERROR_SUCCESS) return code;
    entries->erase(std::remove_if(entries->begin(), entries->end(),
                                  [](const SmbEntry& e) {
                                      return e.name.empty() || HoldsSeparator(e.name) ||
                                             (e.type != SMBC_DIR && e.type != SMBC_FILE &&
                                              e.type != SMBC_LINK);
                                  }),
                   entries->end());
    return ERROR_SUCCESS;
}

bool ParseCredentials(const std::string& text, SmbSettings* settings, std::string* why) {
    size_t start = 0;
    for (int line = 1; start < text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(start, end - start);
        start = end + 1;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        size_t first = row.find_first_not_of(" \t");
        if (first == std::string::npos || row[first] == '#' || row[first] == ';') continue;
        size_t equals = row.find('=');
        if (equals == std::string::npos) {
            *why = "line " + std::to_string(line) + ": expected \"name = value\"";
            return false;
        }
        std::string key = row.substr(first, equals - first);
        key.erase(key.find_last_not_of(" \t") + 1);
        size_t from = row.find_first_not_of(" \t", equals + 1);
        // The value runs to the end of the line: a password may hold blanks.
        std::string value = from == std::string::npos ? "" : row.substr(from);
        if (key == "username")
            settings->user = value;
        else if (key == "password")
            settings->password = value;
        else if (key == "domain")
            settings->domain = value;
        else {
            *why = "line " + std::to_string(line) + ": unknown key \"" + key + "\"";
            return false;
        }
    }
    if (settings->user.empty()) {
        *why = "no username";
        return false;
    }
    return true;
}

} // namespace zp

extern "C" int ZpSmbSetSystemCall(const char* name, ZpSystemCall call) {
    std::lock_guard<std::mutex> hold(zp::systemCallsLock);
    int found = name ? -1 : 0;
    for (zp::SystemCall& entry : zp::systemCalls) {
        if (!name) {
            entry.current = entry.standard;
        } else if (std::strcmp(name, entry.name) == 0) {
            entry.current = call ? call : entry.standard;
            found = 0;
        }
    }
    return found;
}
