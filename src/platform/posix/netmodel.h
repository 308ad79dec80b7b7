// The simulated network inside libzarelin-platform.so: the model the JSON file
// describes, shared by the enumeration and listing calls (network.cpp) and the version
// and library calls (system.cpp). Nothing here is exported.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "win32.h"

#define ZP_INTERNAL __attribute__((visibility("hidden")))

namespace zp {

enum class ShareKind { Disk, Printer, Device, Ipc, Special };

struct Share {
    std::string name;   // UTF-8, as in the file
    ShareKind kind;     // what the file's "type" names
    std::string remark; // UTF-8, "" when the file has none
    std::string path;   // the local directory of a disk share; "" for none
};

struct Server {
    std::string name;    // UTF-8, without the leading backslashes
    std::string comment; // UTF-8, "" when the file has none
    bool denied = false; // its share list is refused
    std::vector<Share> shares;
};

struct Domain {
    std::string name;
    std::vector<std::string> servers; // names, in the file's order
};

struct Provider {
    std::string name;
    std::vector<Domain> domains;
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
};

// The current network, read from $ZARELIN_NETWORK on first use; null for none.
ZP_INTERNAL std::shared_ptr<const Network> CurrentNetwork();

// Counts down fault `fault` (ZpNetworkFault) and tells whether it hits this call.
ZP_INTERNAL bool FaultHits(int fault);

// Names compare as Windows compares them: without regard to case, Unicode-wide.
ZP_INTERNAL std::u16string Fold(const std::u16string& name);
ZP_INTERNAL bool SameName(const std::u16string& a, const std::u16string& b);

// Conversions between the file's UTF-8, UTF-16 and the ANSI code page.
ZP_INTERNAL std::u16string Utf8ToWide(const std::string& text);
ZP_INTERNAL std::u16string AnsiToWide(const char* text);
ZP_INTERNAL std::string WideToAnsi(const std::u16string& text);

// The entry points GetProcAddress hands out, by library and name; null for none.
enum class Library { Netapi32, Svrapi };
ZP_INTERNAL FARPROC NetworkProc(Library library, const char* name);

} // namespace zp
