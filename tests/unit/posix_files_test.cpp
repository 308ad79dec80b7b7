// The file search, stated as the Win32 behaviour it stands in for, over real
// directories made for each test.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "win32.h"
#include "zp_codepage.h"
#include "zp_files.h"

namespace {

using Names = std::vector<std::string>;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

class PosixFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/zarelin-files-XXXXXX";
        ASSERT_NE(mkdtemp(&base[0]), nullptr);
        char resolved[PATH_MAX];
        ASSERT_NE(realpath(base.c_str(), resolved), nullptr);
        root_ = resolved;
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_TRUE(ZpSetDriveRoot('Q', root_.c_str()));
    }

    void TearDown() override {
        EXPECT_EQ(chdir(previous_), 0);
        ZpFilesSetSystemCall(nullptr, nullptr);
        ZpSetDriveRoot('Q', nullptr);
        ZpSetDriveRoot('C', "/");
        ZpSetOemCodePage(437);
        nftw(root_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }

    // Creates entries below the root: "dir/" a directory, "name->target" a symbolic
    // link, anything else an empty file; parents must come first.
    void Add(const Names& entries) const {
        for (const std::string& entry : entries) {
            std::string path = root_ + "/" + entry;
            size_t arrow = entry.find("->");
            if (arrow != std::string::npos)
                ASSERT_EQ(symlink(entry.substr(arrow + 2).c_str(),
                                  (root_ + "/" + entry.substr(0, arrow)).c_str()),
                          0)
                    << entry;
            else if (entry.back() == '/')
                ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << entry;
            else
                ASSERT_EQ(close(open(path.c_str(), O_CREAT | O_WRONLY, 0644)), 0) << entry;
        }
    }

    std::string root_;
    char previous_[PATH_MAX];
};

struct Listing {
    DWORD error;                                   // FindFirstFileA's error, or the last error
                                                   // once the listing ended
    Names names;                                   // sorted; a directory's name ends in '/'
    std::map<std::string, std::string> shortNames; // by name, those that have one
};

Listing List(const std::string& mask) {
    Listing listing{ERROR_SUCCESS, {}, {}};
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(mask.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        listing.error = GetLastError();
        return listing;
    }
    do {
        listing.names.push_back(std::string(data.cFileName) +
                                (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
        if (data.cAlternateFileName[0])
            listing.shortNames[data.cFileName] = data.cAlternateFileName;
    } while (FindNextFileA(search, &data));
    listing.error = GetLastError();
    EXPECT_TRUE(FindClose(search));
    std::sort(listing.names.begin(), listing.names.end());
    return listing;
}

struct Case {
    std::string mask;
    DWORD error;
    Names names;
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Listing listing = List(c.mask);
        EXPECT_EQ(listing.error, c.error) << c.mask;
        EXPECT_EQ(listing.names, c.names) << c.mask;
    }
}

constexpr DWORD End = ERROR_NO_MORE_FILES;

TEST_F(PosixFiles, MasksMatchAsOnWindows) {
    Add({"notepad.exe", "Notes.TXT", "notes/", "README", "a.b.c", "x", "xy", ".profile"});
    Check({
        {"Q:\\not*", End, {"Notes.TXT", "notepad.exe", "notes/"}},
        {"Q:\\NOTE*", End, {"Notes.TXT", "notepad.exe", "notes/"}},
        {"Q:\\*.txt", End, {"Notes.TXT"}},
        {"Q:\\*.*",
         End,
         {".profile", "Notes.TXT", "README", "a.b.c", "notepad.exe", "notes/", "x", "xy"}},
        {"Q:\\*",
         End,
         {".profile", "Notes.TXT", "README", "a.b.c", "notepad.exe", "notes/", "x", "xy"}},
        // ".profile" has the 8.3 name PRO~6NJR, which has no dot: as on Windows.
        {"Q:\\*.", End, {".profile", "README", "notes/", "x", "xy"}},
        {"Q:\\x.*", End, {"x"}},
        {"Q:\\?y", End, {"xy"}},
        {"Q:\\?", End, {"x"}},
        {"Q:\\x?", End, {"x", "xy"}},
        {"Q:\\?otes.txt", End, {"Notes.TXT"}},
        {"Q:\\a?b.c", ERROR_FILE_NOT_FOUND, {}},
        {"Q:\\*.c", End, {"a.b.c"}},
        {"Q:\\a*c", End, {"a.b.c"}},
        {"Q:\\a.b.*", End, {"a.b.c"}},
        {"Q:\\readme", End, {"README"}},
        {"Q:\\readme.", End, {"README"}},
        {"Q:\\.p*", End, {".profile"}},
        {"Q:\\note", ERROR_FILE_NOT_FOUND, {}},
        {"Q:\\nothing*", ERROR_FILE_NOT_FOUND, {}},
    });
}

TEST_F(PosixFiles, EightDotThreeNamesAreMadeMatchedAndFollowed) {
    Add({"Program Files/", "Program Files/readme.txt", "Program Data/", "index.html", ".profile",
         "a.b.c", "x+y=z.tar.gz", "\xc3\xa9t\xc3\xa9.txt", "README", "~", "toolongname"});
    // Each long name has the same 8.3 name in every listing: the scheme is part of the
    // contract, as stored paths and typed masks rely on it. Valid 8.3 names have none.
    const std::map<std::string, std::string> expected = {
        {"Program Files", "PRO~55X8"},
        {"Program Data", "PRO~2Q85"},
        {"index.html", "IND~FH8P.HTM"},
        {".profile", "PRO~6NJR"},
        {"a.b.c", "AB~3V3M.C"},
        {"x+y=z.tar.gz", "X_Y~WLT1.GZ"},
        {"\x82t\x82.txt", "_T_~AT38.TXT"},
        {"toolongname", "TOO~DGMY"},
    };
    EXPECT_EQ(List("Q:\\*").shortNames, expected);
    Check({
        // A mask matches either name, letter case ignored.
        {"Q:\\pro~55*", End, {"Program Files/"}},
        {"Q:\\PRO~2Q85", End, {"Program Data/"}},
        {"Q:\\*.htm", End, {"index.html"}},
        {"Q:\\*~*.*",
         End,
         {".profile", "Program Data/", "Program Files/", "a.b.c", "index.html", "toolongname",
          "x+y=z.tar.gz", "~", "\x82t\x82.txt"}},
        {"Q:\\file*", ERROR_FILE_NOT_FOUND, {}},
        // A path names a directory by either name.
        {"Q:\\pro~55x8\\*", End, {"../", "./", "readme.txt"}},
        {"Q:\\PRO~55X8\\READ*", End, {"readme.txt"}},
        {"Q:\\PRO~55X9\\*", ERROR_PATH_NOT_FOUND, {}},
    });
    char translated[PATH_MAX];
    ASSERT_TRUE(ZpTranslatePath("Q:\\PRO~55X8\\readme.txt", translated, sizeof translated));
    EXPECT_EQ(translated, root_ + "/Program Files/readme.txt");
}

dirent* UnknownType(DIR* stream) {
    dirent* entry = readdir(stream);
    if (entry) entry->d_type = DT_UNKNOWN;
    return entry;
}

TEST_F(PosixFiles, DirectoryBitIsWhatTheEntryIsOrPointsTo) {
    Add({"dir/", "file", "linkdir->dir", "linkfile->file", "dangling->missing", "loop1->loop2",
         "loop2->loop1"});
    Names expected = {"dangling", "dir/", "file", "linkdir/", "linkfile", "loop1", "loop2"};
    EXPECT_EQ(List("Q:\\*").names, expected);
    // Some file systems do not tell an entry's kind: it is then asked for.
    ZpFilesSetSystemCall("readdir", reinterpret_cast<ZpSystemCall>(UnknownType));
    EXPECT_EQ(List("Q:\\*").names, expected);
}

TEST_F(PosixFiles, DotsAreListedEverywhereButAtADriveRoot) {
    Add({"sub/", "sub/f"});
    ASSERT_EQ(chdir(root_.c_str()), 0);
    Check({
        {"Q:\\*", End, {"sub/"}},
        {"Q:\\sub\\..\\*", End, {"sub/"}},
        {"*", End, {"sub/"}},
        {"Q:\\sub\\*", End, {"../", "./", "f"}},
        {"sub\\*", End, {"../", "./", "f"}},
    });
}

TEST_F(PosixFiles, PathsResolveAsWindowsPathsDo) {
    Add({"Sub/", "Sub/Deep/", "Sub/Deep/f.txt", "top.txt", "loop1->loop2", "loop2->loop1"});
    ASSERT_EQ(chdir((root_ + "/Sub").c_str()), 0);
    std::string longName(300, 'x');
    Check({
        {"Q:\\Sub\\Deep\\*.txt", End, {"f.txt"}},
        {"Q:/Sub/Deep/*.txt", End, {"f.txt"}},
        {"q:\\SUB\\deep\\F.TXT", End, {"f.txt"}},
        {"Q:\\Sub\\..\\Sub\\.\\Deep\\\\f*", End, {"f.txt"}},
        {"Q:\\..\\..\\Sub\\Deep\\f*", End, {"f.txt"}},
        {"Q:\\missing\\..\\Sub\\Deep\\f*", End, {"f.txt"}},
        {"Deep\\f*", End, {"f.txt"}},
        {"..\\top*", End, {"top.txt"}},
        {"\\Sub\\Deep\\f*", End, {"f.txt"}},
        {"Q:Deep\\f*", End, {"f.txt"}},
        {"C:" + root_ + "/Sub/Deep/f*", End, {"f.txt"}},
        {"Q:\\missing\\*", ERROR_PATH_NOT_FOUND, {}},
        {"Q:\\top.txt\\*", ERROR_PATH_NOT_FOUND, {}},
        {"Q:\\loop1\\*", ERROR_PATH_NOT_FOUND, {}},
        {"R:\\*", ERROR_PATH_NOT_FOUND, {}},
        {"", ERROR_PATH_NOT_FOUND, {}},
        {"Q:\\Sub\\", ERROR_FILE_NOT_FOUND, {}},
        {"Q:\\Sub\\" + longName, ERROR_INVALID_NAME, {}},
        {"\\\\server\\share\\*", ERROR_BAD_NETPATH, {}},
    });
}

TEST_F(PosixFiles, HostTranslatesPathsBothWays) {
    Add({"Sub/", "Sub/Deep/"});
    char out[PATH_MAX];
    struct {
        const char* windows;
        std::string posix;
    } cases[] = {
        {"Q:\\", root_},
        {"q:\\SUB\\deep", root_ + "/Sub/Deep"},
        {"Q:\\sub\\New\\..\\x", root_ + "/Sub/x"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(ZpTranslatePath(c.windows, out, sizeof out)) << c.windows;
        EXPECT_EQ(out, c.posix) << c.windows;
    }
    EXPECT_TRUE(ZpWindowsPath((root_ + "/Sub/./Deep/").c_str(), out, sizeof out));
    EXPECT_STREQ(out, "Q:\\Sub\\Deep");
    EXPECT_TRUE(ZpWindowsPath("/usr/../etc", out, sizeof out));
    EXPECT_STREQ(out, "C:\\etc");
    EXPECT_FALSE(ZpWindowsPath("/etc", out, 6));
    EXPECT_FALSE(ZpTranslatePath("R:\\x", out, sizeof out));
}

TEST_F(PosixFiles, RejectsBadArgumentsAndHandles) {
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FindFirstFileA("Q:\\*", nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    for (HANDLE bad : {INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
        EXPECT_FALSE(FindNextFileA(bad, &data));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        EXPECT_FALSE(FindClose(bad));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    }
}

int Denied(const char*, int, unsigned) {
    errno = EACCES;
    return -1;
}

TEST_F(PosixFiles, UnreadableDirectoryIsAccessDenied) {
    // As root, permissions deny nothing: the refusal is injected.
    ZpFilesSetSystemCall("open", reinterpret_cast<ZpSystemCall>(Denied));
    EXPECT_EQ(List("Q:\\*").error, (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(PosixFiles, NamesReachTheCallerInTheOemCodePage) {
    struct {
        unsigned codePage;
        std::string name; // on the disk, UTF-8 or not
        std::string mask; // OEM
        std::string seen; // OEM
    } cases[] = {
        {437, "\xc3\xa9t\xc3\xa9.txt", "*.txt", "\x82t\x82.txt"}, // été
        {437, "\xc3\xa9t\xc3\xa9", "\x90T\x90", "\x82t\x82"},     // ÉTÉ finds été
        {437,
         "\xe2\x82\xac"
         "uro",
         "?uro", "?uro"},                      // € has no CP437 form
        {437, "\xe6\x97\xa5", "?", "?"},       // 日
        {437, "\xf0\x9f\x98\x80", "??", "??"}, // beyond the BMP: two units
        {850, "\xc3\xa9", "\x90", "\x82"},
        {866, "\xd0\x96\xd1\x83\xd0\xba", "\xa6*", "\x86\xe3\xaa"}, // Жук found by ж*
        {866, "\xc3\xa9", "?", "?"},
    };
    int i = 0;
    for (const auto& c : cases) {
        std::string dir = "c" + std::to_string(i++);
        Add({dir + "/", dir + "/" + c.name});
        ASSERT_TRUE(ZpSetOemCodePage(c.codePage));
        Listing listing = List("Q:\\" + dir + "\\" + c.mask);
        EXPECT_EQ(listing.names, Names{c.seen}) << dir;
    }
    // The directory part is OEM too, and found without regard to case.
    ASSERT_TRUE(ZpSetOemCodePage(437));
    Add({"\xc3\xa9t\xc3\xa9/", "\xc3\xa9t\xc3\xa9/f"});
    EXPECT_EQ(List("Q:\\\x90T\x90\\f").names, Names{"f"});
}

TEST_F(PosixFiles, NamesWindowsCannotHoldAreKnownOnlyByTheir83Names) {
    struct {
        std::string name; // on the disk
        std::string seen; // as listed; empty: by its 8.3 name alone, which has no other
    } cases[] = {
        {"q\"x", ""},
        {"back\\", ""},
        {"t\tx", ""},
        {"dot.", ""},
        {"blank ", ""},
        {"caf\xe9", ""},
        {"st*r", ""},
        {"x:y", ""},
        {"p|q<r>", ""},
        {"wh?", ""},
        {"...", ""},
        {"\x1b[31m", ""},
        {"a;b$c`d", "a;b$c`d"},
        {"(x)'y'", "(x)'y'"},
        {" lead", " lead"},
        {"a&b^c%d%~e", "a&b^c%d%~e"},
        {"\xef\xbf\xbd", "?"}, // U+FFFD written out: a name, which CP437 cannot show
    };
    int i = 0;
    for (const auto& c : cases) {
        const std::string dir = "d" + std::to_string(i++);
        const std::string folder = "Q:\\" + dir + "\\";
        Add({dir + "/", dir + "/" + c.name});
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
        ASSERT_NE(search, INVALID_HANDLE_VALUE) << dir;
        while (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, ".."))
            ASSERT_TRUE(FindNextFileA(search, &data)) << dir;
        const std::string shown = data.cFileName;
        char path[PATH_MAX];
        EXPECT_TRUE(ZpFindPosixPath(search, path, sizeof path)) << dir;
        EXPECT_EQ(path, root_ + "/" + dir + "/" + c.name) << dir;
        const std::string alternate = data.cAlternateFileName;
        while (FindNextFileA(search, &data))
            EXPECT_EQ(data.cFileName[0], '.') << dir << ": listed twice, as " << data.cFileName;
        FindClose(search);
        if (!c.seen.empty()) {
            EXPECT_EQ(shown, c.seen) << dir;
            continue;
        }
        EXPECT_NE(shown.find('~'), std::string::npos) << dir << ": " << shown;
        EXPECT_EQ(alternate, "") << dir;
        // The alias finds it, as a mask and in a path; its own name does not.
        EXPECT_EQ(List(folder + shown).names, Names{shown}) << dir;
        char translated[PATH_MAX];
        ASSERT_TRUE(ZpTranslatePath((folder + shown).c_str(), translated, sizeof translated));
        EXPECT_EQ(translated, root_ + "/" + dir + "/" + c.name) << dir;
        if (c.name.find_first_of("*?\\/") == std::string::npos) {
            const Names found = List(folder + c.name).names;
            EXPECT_EQ(std::count(found.begin(), found.end(), shown), 0) << dir;
        }
    }
}

TEST_F(PosixFiles, NamesOfTheLongestLengthAreListedWhole) {
    std::string ascii(255, 'a');
    std::string accented;
    for (int i = 0; i < 127; ++i)
        accented += "\xc3\xa9";
    accented += "x"; // 255 bytes on the disk, 128 in CP437
    Add({ascii, accented});
    EXPECT_EQ(List("Q:\\a*").names, Names{ascii});
    EXPECT_EQ(List("Q:\\\x82*").names, Names{std::string(127, '\x82') + "x"});
}

int readdirCalls = 0;
dirent* CountedReaddir(DIR* stream) {
    ++readdirCalls;
    return readdir(stream);
}

TEST_F(PosixFiles, ReadsOneEntryPerCallAndStaysEnded) {
    Add({"big/"});
    for (int i = 0; i < 1000; ++i)
        Add({"big/f" + std::to_string(i)});
    readdirCalls = 0;
    ZpFilesSetSystemCall("readdir", reinterpret_cast<ZpSystemCall>(CountedReaddir));
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("Q:\\big\\*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readdirCalls, 1);
    int listed = 1;
    while (FindNextFileA(search, &data))
        ++listed;
    EXPECT_EQ(listed, 1002);
    EXPECT_EQ(readdirCalls, 1003);
    // The end stays the end, without reading again.
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    }
    EXPECT_EQ(readdirCalls, 1003);
    EXPECT_TRUE(FindClose(search));
}

TEST_F(PosixFiles, HundredThousandEntriesListToACleanEnd) {
    Add({"many/"});
    std::string dir = root_ + "/many/";
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(close(open((dir + "f" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644)),
                  0);
    Listing all = List("Q:\\many\\*");
    EXPECT_EQ(all.error, (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_EQ(all.names.size(), 100002u);
    EXPECT_EQ(List("Q:\\many\\F9999?").names,
              (Names{"f9999", "f99990", "f99991", "f99992", "f99993", "f99994", "f99995", "f99996",
                     "f99997", "f99998", "f99999"}));
}

TEST_F(PosixFiles, DirectoryRemovedDuringTheListingEndsIt) {
    Add({"gone/"});
    for (int i = 0; i < 50; ++i)
        Add({"gone/f" + std::to_string(i)});
    // Entries whose kind must be asked for are the ones a removal can surprise.
    ZpFilesSetSystemCall("readdir", reinterpret_cast<ZpSystemCall>(UnknownType));
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("Q:\\gone\\*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    nftw((root_ + "/gone").c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    int listed = 1;
    while (FindNextFileA(search, &data))
        ++listed;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_LE(listed, 52);
    EXPECT_TRUE(FindClose(search));
}

} // namespace
