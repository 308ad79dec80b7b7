// The SMB backend: a real server's shares and folders, read through libsmbclient.
//
// libsmbclient is loaded when a real server is first asked (dlopen), so that the layer,
// and every program that loads it, starts as quickly without it and runs where it is
// missing (a real server then answers ERROR_NO_NETWORK). Each real server has a
// libsmbclient context of its own: its port, its timeout and its credentials. Every
// answer is read whole when asked for, so no remote handle outlives a call, and every
// call ends within the server's timeout (a connection that cannot be made, a server
// that does not answer), with the Win32 error Windows gives for it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "network/network.h"

namespace zp {

struct SmbSettings {
    std::string host;        // a name or an address, as libsmbclient takes it
    int port = 445;          // libsmbclient's smbc_setPort
    int timeoutMs = 5000;    // libsmbclient's smbc_setTimeout: connection and each answer
    std::string user;        // empty: the guest account
    std::string password;    // from the credentials file only
    std::string domain;      // the user's domain or workgroup; empty: libsmbclient's
    std::string credentials; // the credentials file, for messages; empty: none
};

// Reads a credentials file in the form libsmbclient's tools take (smbclient's
// authentication file): "username = NAME", "password = SECRET", "domain = NAME", one a
// line, blank lines and lines starting with '#' or ';' ignored. False with `why` set
// for any other line or a file that names no user.
ZP_INTERNAL bool ParseCredentials(const std::string& text, SmbSettings* settings, std::string* why);

// An entry of a server's share list or of a folder, as the server names it.
struct SmbEntry {
    std::string name;    // UTF-8
    unsigned type;       // libsmbclient's SMBC_FILE_SHARE ... SMBC_LINK
    std::string comment; // UTF-8; shares only
};

class SmbServer {
  public:
    explicit SmbServer(SmbSettings settings);
    ~SmbServer();
    SmbServer(const SmbServer&) = delete;
    SmbServer& operator=(const SmbServer&) = delete;

    const SmbSettings& Settings() const { return settings_; }

    // The share list, mapped to the model's kinds. ERROR_SUCCESS or the Win32 error.
    DWORD Shares(std::vector<Share>* shares);

    // The entries of folder `path` of `share`: UTF-8 names below the share joined by
    // '/', "" for the share's root. ERROR_SUCCESS, ERROR_BAD_NET_NAME (no such share),
    // ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_NETPATH (no server there),
    // ERROR_SEM_TIMEOUT (a server that does not answer) or ERROR_NO_NETWORK.
    DWORD Folder(const std::string& share, const std::string& path, std::vector<SmbEntry>* entries);

  private:
    DWORD List(const std::string& path, bool shareList, std::vector<SmbEntry>* entries);
    DWORD ErrorFor(int error, bool shareList, const std::string& path);

    const SmbSettings settings_;
    std::mutex lock_;         // a libsmbclient context serves one call at a time
    void* context_ = nullptr; // SMBCCTX, made on first use
};

} // namespace zp
