// The registry inside libzarelin-platform.so: keys and values in one text file, laid
// out as a registry export is.
//
//   [HKEY_CURRENT_USER\Software\Host\Zarelin]
//   "ShortFileNames"=dword:00000001      REG_DWORD of 4 bytes
//   "Title"="text"                       REG_SZ: the text and one terminating zero
//   "Blob"=hex:01,02                     REG_BINARY
//   "Odd"=hex(4):01,02                   any other type or size, as typed raw bytes
//   @="..."                              the key's unnamed value
//
// Inside quotes, \\ \" and \xHH escape; other bytes stand for themselves, so the file
// is in the ANSI code page, as the names the A calls take. A key exists when its
// section, or the section of a key below it, is in the file. Names compare without
// regard to case and keep the case they were first written in.
//
// Three parts: the file's lines (format.cpp, document.cpp), the file itself, read and
// replaced through calls tests may swap (store.cpp), and the Win32 calls over key
// handles (keys.cpp). Nothing here is exported.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"
#include "win32.h"

namespace zp {

// ---- Names and key paths (format.cpp) -------------------------------------------

// Registry names compare in the ANSI code page, without regard to case.
ZP_INTERNAL bool SameRegistryName(std::string_view a, std::string_view b);

struct KeyPath {
    int root = 0;     // index into the predefined keys: 0 HKEY_CURRENT_USER, 1 HKEY_LOCAL_MACHINE
    std::string path; // below the root: names joined by single backslashes; may be empty
};

// The index of a predefined key handle, or -1.
ZP_INTERNAL int RootIndex(HKEY handle);
ZP_INTERNAL bool SameKey(const KeyPath& a, const KeyPath& b);
// True when `key` lies strictly below `ancestor`.
ZP_INTERNAL bool IsBelow(const KeyPath& key, const KeyPath& ancestor);

constexpr size_t MaxValueNameLength = 16383;

// Appends `subKey` to `path`. As on Windows a key name may not be empty (so no leading
// or doubled backslash; one trailing backslash is ignored) nor longer than 255
// characters. Control characters are refused too: they could not be written to a
// section line.
ZP_INTERNAL LONG AppendSubKey(std::string& path, const char* subKey);

// ---- The file's lines (document.cpp) ----------------------------------------------

// The store file's contents as lines, each with what it says. Lines that do not parse
// are ignored when reading and kept verbatim when writing: a damaged or hand-edited
// file loses nothing to a write.
class Document {
  public:
    struct Line {
        std::string text;                           // as in the file, without the line feed
        enum Kind { Other, Section, Entry } kind{}; // Other: blank, comment or unparsed
        KeyPath key{};                              // Section: its key
        size_t section = 0;                         // Entry: the index of its section's line
        std::string name{};                         // Entry: the value's name as written
        DWORD type = REG_NONE;                      // Entry
        std::string data{};                         // Entry: the value's bytes
    };

    explicit Document(const std::string& contents);
    std::string Text() const;

    bool HasKey(const KeyPath& key) const;
    // The last entry wins, as when a registry export is imported.
    const Line* Find(const KeyPath& key, const std::string& name) const;
    void AddKey(const KeyPath& key);
    void Set(const KeyPath& key, const std::string& name, DWORD type, const std::string& data);

  private:
    void Parse();
    size_t FindIndex(const KeyPath& key, const std::string& name) const; // or lines_.size()
    KeyPath SpelledAsStored(const KeyPath& key) const;

    std::vector<Line> lines_;
};

// The store's contents parsed, for reading: the document of the same bytes as the
// last call's is that one again, so that a host reading its options one by one from
// an unchanged file parses it once.
ZP_INTERNAL std::shared_ptr<const Document> ParsedStore(const std::string& contents);

// The line syntax (format.cpp).
ZP_INTERNAL std::string_view Trim(std::string_view text);
ZP_INTERNAL bool StartsSection(std::string_view text);
ZP_INTERNAL bool ParseSection(std::string_view trimmed, KeyPath& key);
ZP_INTERNAL bool ParseEntry(std::string_view trimmed, std::string& name, DWORD& type,
                            std::string& data);
ZP_INTERNAL std::string FormatEntry(const std::string& name, DWORD type, const std::string& data);
ZP_INTERNAL std::string SectionLine(const KeyPath& key);

// ---- The store file (store.cpp) ---------------------------------------------------

constexpr size_t MaxStoreSize = 16u << 20; // larger is not a settings file

// The store file a key opened now would use; empty when no home is known.
ZP_INTERNAL std::string StoreFile();

// Reads the whole store. A missing file is an empty store. A file that cannot be read
// (no permission, not a regular file, too large, a read error) answers
// ERROR_ACCESS_DENIED or ERROR_BADDB, for reads and writes alike: a write must not
// replace content it could not read.
ZP_INTERNAL LONG ReadStore(const std::string& file, std::string& contents);

// Applies `change` to the store's current contents and writes the result back whole
// (temporary file, fsync, rename) under a lock on the store's directory, so that a
// crash leaves the old file or the new one and hosts writing in turn never lose each
// other's values. `change` returns false when it left the document as it was; nothing
// is written then.
ZP_INTERNAL LONG UpdateStore(const std::string& file, const std::function<bool(Document&)>& change);

} // namespace zp
