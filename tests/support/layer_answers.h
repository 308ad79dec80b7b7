// The network layer's answers to the calls the module makes over the sample network:
// as Windows gives them, and where Wine's own mpr.dll (with the test provider behind it)
// answers otherwise, as Wine does. The Windows test asks Wine's layer, the Linux one
// our own, which answers as Windows. Include after the platform's Win32 declarations.
#pragma once

#include <cstdio>
#include <string>

namespace testhost {

// A buffer size counted from the size of one record (which differs by architecture).
constexpr DWORD RecordPlus = 0x40000000;
inline DWORD Bytes(DWORD size) {
    return size >= RecordPlus ? static_cast<DWORD>(sizeof(NETRESOURCEA) + size - RecordPlus) : size;
}

struct LayerAnswer {
    const char* what;
    const char* remote; // the container's; with no provider either, no container at all
    const char* provider;
    DWORD type, usage;
    DWORD count, size;  // the first read asks for these
    std::string answer; // what Answer() makes of the open and the read, on Windows
    const char* wine;   // Wine's answer where it differs; null where it does not
};

inline const LayerAnswer LayerAnswers[] = {
    {"the root lists the providers, reserved containers without a comment", nullptr, nullptr, 0, 0,
     0xFFFFFFFF, 16384,
     "open 0 read 0 count 3 size 16384 first 'Microsoft Windows Network' display 6 usage "
     "80000002 comment null",
     nullptr},
    {"the workgroup, one server a read", "HOME", "Microsoft Windows Network", 1, 2, 1, 256,
     "open 0 read 0 count 1 size 256 first '\\\\ALPHA' display 2 usage 2 comment ''", nullptr},
    {"a server's disk shares, no provider named", "\\\\ALPHA", nullptr, 1, 1, 1, 256,
     "open 0 read 0 count 1 size 256 first '\\\\ALPHA\\data' display 3 usage 1 comment ''",
     nullptr},
    {"an unknown server: the open succeeds, the read fails", "\\\\NOSUCH", nullptr, 1, 1, 1, 256,
     "open 0 read 53 count 1 size 256", nullptr},
    {"a share is no container: the read says so", "\\\\ALPHA\\data", nullptr, 1, 1, 1, 256,
     "open 0 read 1207 count 1 size 256", nullptr},
    {"a buffer short of one record asks for a record", "HOME", "Microsoft Windows Network", 1, 2, 1,
     16, "open 0 read 234 count 1 size record", nullptr},
    // The A call reads the UTF-16 form first. Windows tells the size that form needs;
    // Wine reads nothing and answers success, though the list goes on.
    {"room for the ANSI strings but not the UTF-16 ones", "HOME", "Microsoft Windows Network", 1, 2,
     1, RecordPlus + 36, "open 0 read 234 count 1 size record+70",
     "open 0 read 0 count 0 size record+36"},
    {"a provider nobody registered", "HOME", "No Such Network", 1, 2, 1, 256, "open 1204", nullptr},
    {"a domain the named provider does not have", "NOWHERE", "Microsoft Windows Network", 0, 0, 1,
     256, "open 6118", nullptr},
};

// Opens the row's enumeration, reads once and closes it, in the words of `answer`.
template <typename Open, typename Read, typename Close>
std::string Answer(const LayerAnswer& row, Open open, Read read, Close close) {
    NETRESOURCEA container = {};
    container.dwScope = 2; // the module's records: global, disk, server, container
    container.dwType = 1;
    container.dwDisplayType = 2;
    container.dwUsage = 2;
    container.lpRemoteName = const_cast<char*>(row.remote);
    container.lpProvider = const_cast<char*>(row.provider);
    bool root = !row.remote && !row.provider;
    HANDLE handle = nullptr;
    DWORD code = open(2, row.type, row.usage, root ? nullptr : &container, &handle);
    std::string text = "open " + std::to_string(code);
    if (code != 0) return text;
    alignas(NETRESOURCEA) char buffer[16384];
    DWORD count = row.count, size = Bytes(row.size);
    code = read(handle, &count, buffer, &size);
    text += " read " + std::to_string(code) + " count " + std::to_string(count) + " size ";
    size_t record = sizeof(NETRESOURCEA);
    text += size == record ? std::string("record")
            : size > record && size < record + 128 && row.size >= RecordPlus
                ? "record+" + std::to_string(size - record)
                : std::to_string(size);
    if (code == 0 && count > 0) {
        const auto* first = reinterpret_cast<const NETRESOURCEA*>(buffer);
        char usage[16];
        std::snprintf(usage, sizeof usage, "%lx", static_cast<unsigned long>(first->dwUsage));
        text += " first '" + std::string(first->lpRemoteName) + "' display " +
                std::to_string(first->dwDisplayType) + " usage " + usage + " comment " +
                (first->lpComment ? "'" + std::string(first->lpComment) + "'" : "null");
    }
    close(handle);
    return text;
}

} // namespace testhost
