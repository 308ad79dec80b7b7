// The file search inside libzarelin-platform.so, in four parts: Windows-style paths
// over POSIX directories and network shares (paths.cpp), the folders a search reads,
// local or on a real server (folder.cpp), the Windows wildcard match (wildcard.cpp)
// and 8.3 names (shortname.cpp). find.cpp puts them together behind FindFirstFileA.
// Nothing here is exported.
#pragma once

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "names.h"
#include "win32.h"

namespace zp {

class SmbServer;
struct SmbEntry;

// ---- Paths (paths.cpp) ------------------------------------------------------------

// A path under construction in a fixed buffer; ".." never climbs above the root it
// started from (a drive's or a share's), as on Windows.
struct Path {
    Path() { text[0] = '\0'; }

    char text[PATH_MAX]; // always terminated
    size_t length = 0;   // of text
    size_t floor = 0;    // length of the root part

    bool Set(const char* path);
    bool SetRoot(const char* root);
    bool Append(const char* name, size_t n);
    void Up();
};

// Where a Windows path leads: a local directory, or a folder in a share of a real
// server, which `path` then names below the share ("" for its root, names joined by
// '/', in UTF-8).
struct Location {
    Path path;
    std::shared_ptr<SmbServer> smb; // set for a folder of a real server
    std::string share;              // that server's share
    int delayMs = 0;                // how long the server behind a share takes to answer
};

// One component of a Windows path, in the OEM code page; not terminated.
struct Component {
    const char* text;
    size_t length;
};

enum class Lookup {
    Exact,        // as written
    AnyCase,      // each directory found without regard to case, or by its 8.3 name; a
                  // missing one fails
    AnyCaseOrKeep // the same, but from a missing directory on the rest is kept as written
};

// Translates a Windows-style path into `where`. With `splitLast`, the last component
// is not looked up but handed back in `last` (the search's pattern). "." and ".." are
// applied to the text first, as Windows does, so "missing\..\x" is "x".
ZP_INTERNAL DWORD ResolvePath(const char* windowsPath, Lookup lookup, bool splitLast,
                              Location* where, Component* last);

// Windows lists no "." or ".." in the root of a drive: whether directory `fd` is one.
ZP_INTERNAL bool IsDriveRoot(int fd);

// The directory a drive's root ("X:", "X:\") stands for, or for null the current
// directory; false for a drive that is not there.
ZP_INTERNAL bool DriveDirectory(const char* root, std::string* directory);

// ---- Folders (folder.cpp) ---------------------------------------------------------

// One directory's entries in its order: a local directory read an entry at a time, or
// a real server's folder, read whole when opened.
class Folder {
  public:
    Folder() = default;
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens the folder `where` stands for: ERROR_SUCCESS or the Win32 error.
    DWORD Open(const Location& where);

    // The next entry's UTF-8 name, or null at the end (or when the folder could no
    // longer be read: the listing ends cleanly either way). Valid until the next call.
    const char* Next();
    // Whether the entry Next gave last is a directory, what a link points to counted;
    // `info` receives its size and times when they came with the answer, else zeros.
    bool IsDirectory(struct stat* info);

    // Windows lists no "." or ".." in the root of a drive.
    bool HidesDots() const { return hideDots_; }

  private:
    DIR* stream_ = nullptr; // a local directory
    struct dirent* entry_ = nullptr;
    std::vector<SmbEntry>* remote_ = nullptr; // a real server's entries
    size_t next_ = 0;
    bool hideDots_ = false;
};

// ---- Wildcards (wildcard.cpp) -----------------------------------------------------

// A compiled mask. Windows rewrites a mask before matching, so that DOS habits keep
// working: '?' before a dot or at the end matches nothing as well as one character
// ("a?" finds "a"), "*." finds names without a dot, and "x.*" finds "x".
struct Pattern {
    unsigned char kind[MAX_PATH];    // the element of each position (wildcard.cpp)
    unsigned char literal[MAX_PATH]; // the upper-cased character of a literal
    int length;                      // elements used
    int prefix;                      // leading literals, checked before the full match
};

ZP_INTERNAL void Compile(const Component& mask, const unsigned char* upper, Pattern* pattern);

// Whether a zero-terminated OEM name matches; no name costs more than its length times
// the mask's.
ZP_INTERNAL bool Matches(const Pattern& pattern, const char* name, const unsigned char* upper);

// ---- 8.3 names (shortname.cpp) ----------------------------------------------------

constexpr size_t ShortNameSize = 13; // eight, a dot, three and the terminator

// The 8.3 alternate name of the UTF-8 file name `name` into `out`, upper case; false
// (and `out` empty) when the name is a valid 8.3 name already and so has none.
ZP_INTERNAL bool ShortName(const char* name, char out[ShortNameSize]);

// Whether the UTF-8 file name `name` is one Windows could hold: UTF-8 text with no
// control character, none of \ / : * ? " < > |, and no trailing dot or blank ("." and
// ".." aside). The file search gives any other name only by its 8.3 name, as Wine
// shows such files to Windows programs, so that no program is handed a name that
// reads back as another.
ZP_INTERNAL bool IsWindowsName(const char* name);

} // namespace zp
