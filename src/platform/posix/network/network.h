// The network inside libzarelin-platform.so: the model the network file describes,
// and the two backends that answer for a server's shares and the files in them: the
// model itself, or a real server reached over SMB (smb.h). The enumeration and listing
// calls (wnet.cpp, netapi.cpp) and the file search ask through ServerShares and
// FindShareRoot only, never a backend directly. Nothing here is exported.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "names.h"
#include "win32.h"

namespace zp {

enum class ShareKind { Disk, Printer, Device, Ipc, Special };

struct Share {
    std::string name;   // UTF-8, as in the file or as the server names it
    ShareKind kind;     // what the file's "type" names, or the server's type
    std::string remark; // UTF-8, "" when there is none
    std::string path;   // the local directory of a disk share in the model; "" for none
};

class SmbServer; // a real server's address, credentials and session (smb.h)

struct Server {
    std::string name;    // UTF-8, without the leading backslashes
    std::string comment; // UTF-8, "" when the file has none
    bool denied = false; // its share list is refused
    int delayMs = 0;     // how long each of its answers takes: the file's "delay"
    std::vector<Share> shares;
    std::shared_ptr<SmbServer> smb; // set for a real server: shares and files come from it
    std::u16string key;             // the name in UTF-16, folded: what lookups compare
    std::u16string wideComment;     // the comment in UTF-16
};

// Every name below comes in three forms: UTF-8 as in the file, folded UTF-16 for
// lookups, and UTF-16 as the enumeration hands it out; the last two made once, at load.
struct Domain {
    std::string name;
    int delayMs = 0;                         // how long a listing of its servers takes
    std::vector<std::string> servers;        // names, in the file's order
    std::vector<std::u16string> keys;        // the servers' names, folded
    std::vector<std::u16string> wideServers; // the servers as "\\NAME"
    std::u16string key;
    std::u16string wide;
};

struct Provider {
    std::string name;
    std::vector<Domain> domains;
    std::u16string key;
    std::u16string wide;
};

// One network as read from a file; never changed once loaded, so that calls in flight
// keep the one they started with while another is loaded.
struct Network {
    bool nt = true;        // the family GetVersionExA reports
    std::string workgroup; // the other family's workgroup; "" for none
    std::string domain;    // the primary domain; "" for none
    std::vector<Provider> providers;
    std::vector<Server> servers; // every server named under "servers"

    // The server of that name (any case, leading backslashes allowed); null when none
    // is known. `listed` tells whether some domain lists it.
    const Server* FindServer(const std::u16string& name, bool* listed = nullptr) const;
    // The server whose folded name is `key`, or null.
    const Server* FindKey(const std::u16string& key) const;
    // Whether `domain` lists the server whose folded name is `key`.
    static bool Lists(const Domain& domain, const std::u16string& key);
};

// The current network, read from $ZARELIN_NETWORK on first use; null for none.
ZP_INTERNAL std::shared_ptr<const Network> CurrentNetwork();

// Counts down fault `fault` (ZpNetworkFault) and tells whether it hits this call.
ZP_INTERNAL bool FaultHits(int fault);

// Reading a network file (load.cpp). Thrown with the text ZpNetworkError reports.
struct LoadError {
    std::string text;
};
// The file's bytes; throws LoadError.
ZP_INTERNAL std::string ReadNetworkFile(const std::string& path);
// The network `text` describes; `file` names it in complaints and relative paths
// start from the absolute directory `base`. Throws LoadError.
ZP_INTERNAL std::shared_ptr<const Network>
ParseNetwork(const std::string& text, const std::string& file, const std::string& base);

// ---- The backends ------------------------------------------------------------------

// The server's shares, in its order: the file's, or what the real server lists.
// ERROR_SUCCESS, or the Win32 error listing them met (unreachable, denied, ...).
ZP_INTERNAL DWORD ServerShares(const Server& server, std::vector<Share>* shares);

// Where the files of \\server\share lie: a local directory of the model, or a share
// of a real server, whose folders the file search reads through smb.h.
struct ShareRoot {
    std::string local;              // the model's directory, absolute; "" for a real share
    std::shared_ptr<SmbServer> smb; // the real server, for a real share
    std::string share;              // the share's name on it (UTF-8)
    int delayMs = 0;                // the server's delay: set when the server is known
};

// ERROR_SUCCESS with `root` filled, or ERROR_BAD_NETPATH for a server or share the
// network does not know (a real server's shares are known to the server alone: its
// answer comes when the folder is read). The delay is set whenever the server is known,
// as its answer is slow whether or not it has the share.
ZP_INTERNAL DWORD FindShareRoot(const std::string& server, const std::string& share,
                                ShareRoot* root);

// Holds the calling thread for `delayMs`: a slow server's or domain's answer, which a
// test makes so to see that no caller waits on it for long.
ZP_INTERNAL void WaitAsServer(int delayMs);

// The entry points GetProcAddress hands out, by library and name; null for none.
enum class Library { Netapi32, Svrapi };
ZP_INTERNAL FARPROC NetworkProc(Library library, const char* name);

} // namespace zp
