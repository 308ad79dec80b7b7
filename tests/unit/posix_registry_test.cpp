// The registry store: Win32 answers over one text file that hosts share.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "zp_registry.h"

namespace fs = std::filesystem;

namespace {

const char* const Settings = "Software\\Host\\Zarelin";
const LONG BadPathname = 161; // ERROR_BAD_PATHNAME

class PosixRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        char base[] = "/tmp/zarelin-registry-XXXXXX";
        ASSERT_NE(mkdtemp(base), nullptr);
        dir_ = base;
        setenv("XDG_CONFIG_HOME", base, 1);
        file_ = dir_ + "/zarelin/registry.txt";
        ASSERT_EQ(ZpRegistryPath(), file_);
    }
    void TearDown() override {
        ZpRegistrySetSystemCall(nullptr, nullptr);
        ZpRegistrySetWorkgroup(nullptr);
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(dir_);
    }

    std::string Stored() const {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Store(const std::string& text) const {
        fs::create_directories(dir_ + "/zarelin");
        std::ofstream(file_, std::ios::binary) << text;
    }
    bool Holds(const std::string& text) const { return Stored().find(text) != std::string::npos; }
    // Only the store file: no temporary one left behind.
    bool Tidy() const {
        return std::distance(fs::directory_iterator(dir_ + "/zarelin"), {}) == 1 &&
               fs::exists(file_);
    }

    static HKEY Create(const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }
    static LONG SetDword(HKEY key, const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    }
    // The value as "type:bytes", or "error N".
    static std::string Query(HKEY key, const char* name) {
        DWORD type = 99, size = 256;
        BYTE data[256];
        LONG code = RegQueryValueExA(key, name, nullptr, &type, data, &size);
        if (code != ERROR_SUCCESS) return "error " + std::to_string(code);
        return std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size);
    }
    // A value read through a fresh handle, from the file.
    static std::string Fresh(const char* name, const char* path = Settings,
                             HKEY root = HKEY_CURRENT_USER) {
        HKEY key;
        LONG code = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key);
        if (code != ERROR_SUCCESS) return "error " + std::to_string(code);
        std::string value = Query(key, name);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        return value;
    }

    std::string dir_, file_;
};

const std::string One("\1\0\0\0", 4);

TEST_F(PosixRegistry, ValuesSurviveClosingAndReopening) {
    DWORD disposition = 0;
    HKEY key = Create(Settings, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
        const char* line; // as the file shows it
    } cases[] = {
        {"ShortFileNames", REG_DWORD, One, "\"ShortFileNames\"=dword:00000001"},
        {"Title", REG_SZ, std::string("a \"b\"\\c\0", 8), "\"Title\"=\"a \\\"b\\\"\\\\c\""},
        {"", REG_SZ, std::string("x\0", 2), "@=\"x\""},
        {"Blob", REG_BINARY, std::string("\0\xff", 2), "\"Blob\"=hex:00,ff"},
        {"Short", REG_DWORD, "\2", "\"Short\"=hex(4):02"},
        {"Line\nbreak", REG_SZ, std::string("\t\0", 2), "\"Line\\x0abreak\"=\"\\x09\""},
    };
    for (const Case& c : cases)
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type,
                                 reinterpret_cast<const BYTE*>(c.data.data()), c.data.size()),
                  ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    for (const Case& c : cases) {
        EXPECT_EQ(Fresh(c.name), std::to_string(c.type) + ":" + c.data) << c.name;
        EXPECT_TRUE(Holds(std::string("\n") + c.line + "\n")) << c.line;
    }
    EXPECT_TRUE(Holds("\n[HKEY_CURRENT_USER\\Software\\Host\\Zarelin]\n"));
    RegCloseKey(Create("Software\\Host", &disposition)); // a key above a stored one exists
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_TRUE(Tidy());
}

TEST_F(PosixRegistry, ReportsTheSizeNeededWhenTheBufferIsShort) {
    HKEY key = Create(Settings);
    ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4),
              ERROR_SUCCESS);
    struct Case {
        DWORD size;
        bool withData;
        LONG code;
        std::string buffer; // afterwards; a short buffer is left alone
    } cases[] = {
        {0, true, ERROR_MORE_DATA, "~~~~~"},
        {1, true, ERROR_MORE_DATA, "~~~~~"},
        {3, true, ERROR_MORE_DATA, "~~~~~"},
        {4, true, ERROR_SUCCESS, std::string("abc\0~", 5)},
        {5, true, ERROR_SUCCESS, std::string("abc\0~", 5)},
        {0, false, ERROR_SUCCESS, "~~~~~"},
    };
    for (const Case& c : cases) {
        char buffer[] = "~~~~~";
        DWORD size = c.size, type = 0;
        EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type,
                                   c.withData ? reinterpret_cast<BYTE*>(buffer) : nullptr, &size),
                  c.code)
            << c.size;
        EXPECT_EQ(size, 4u) << c.size;
        EXPECT_EQ(type, REG_SZ) << c.size;
        EXPECT_EQ(std::string(buffer, 5), c.buffer) << c.size;
    }
    RegCloseKey(key);
}

TEST_F(PosixRegistry, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    HKEY key = Create(Settings);
    ASSERT_EQ(SetDword(key, "ShortFileNames", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "Caf\xe9", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "SHORTFILENAMES", 0), ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(Create("SOFTWARE\\host\\zarelin\\Sub\\"));
    EXPECT_EQ(Fresh("shortfilenames", "software\\HOST\\ZARELIN"), "4:" + std::string(4, '\0'));
    EXPECT_EQ(Fresh("CAF\xc9"), "4:" + One);
    EXPECT_FALSE(Holds("SHORTFILENAMES"));
    EXPECT_TRUE(Holds("[HKEY_CURRENT_USER\\Software\\Host\\Zarelin\\Sub]"));
}

TEST_F(PosixRegistry, AnswersMissingKeysValuesAndBadHandlesAsWindowsDoes) {
    HKEY key = Create(Settings), readOnly, none = reinterpret_cast<HKEY>(&key);
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_QUERY_VALUE, &readOnly), ERROR_SUCCESS);
    HKEY result = key;
    struct Case {
        const char* what;
        LONG code, expected;
    } cases[] = {
        {"missing key", RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nobody", 0, 1, &result),
         ERROR_FILE_NOT_FOUND},
        {"missing value", RegQueryValueExA(key, "Nothing", nullptr, nullptr, nullptr, nullptr),
         ERROR_FILE_NOT_FOUND},
        {"bad parent", RegOpenKeyExA(none, "x", 0, 1, &result), ERROR_INVALID_HANDLE},
        {"bad query", RegQueryValueExA(none, "x", nullptr, nullptr, nullptr, nullptr),
         ERROR_INVALID_HANDLE},
        {"bad set", SetDword(none, "x", 1), ERROR_INVALID_HANDLE},
        {"bad close", RegCloseKey(none), ERROR_INVALID_HANDLE},
        {"null close", RegCloseKey(nullptr), ERROR_INVALID_HANDLE},
        {"leading backslash", RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, 1, &result),
         BadPathname},
        {"empty name", RegOpenKeyExA(key, "a\\\\b", 0, 1, &result), BadPathname},
        {"name too long", RegOpenKeyExA(key, std::string(256, 'n').c_str(), 0, 1, &result),
         ERROR_INVALID_PARAMETER},
        {"set on a read-only key", SetDword(readOnly, "x", 1), ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.code, c.expected) << c.what;
    EXPECT_EQ(result, nullptr);
    RegCloseKey(readOnly);
    RegCloseKey(key);
}

TEST_F(PosixRegistry, HostsWritingInTurnKeepEachOthersValues) {
    HKEY first = Create(Settings), second = Create(Settings);
    ASSERT_EQ(SetDword(first, "ShortFileNames", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(second, "ShowHiddenShares", 1), ERROR_SUCCESS);
    Store(Stored() + "\"ByHand\"=dword:00000001\n"); // a third host, or an editor
    ASSERT_EQ(SetDword(first, "SingleEntriesInMenu", 1), ERROR_SUCCESS);
    EXPECT_EQ(Query(second, "ShortFileNames"), "4:" + One); // read from the file, not a cache
    for (const char* name : {"ShortFileNames", "ShowHiddenShares", "ByHand", "SingleEntriesInMenu"})
        EXPECT_EQ(Fresh(name), "4:" + One) << name;
    RegCloseKey(first);
    RegCloseKey(second);
}

TEST_F(PosixRegistry, DamagedFileKeepsWhatParsesAndLosesNothingOnWrite) {
    const std::string section = "[HKEY_CURRENT_USER\\Software\\Host\\Zarelin]\n";
    // Every damaged "ShowHiddenShares" below reads as missing.
    struct Case {
        std::string text;
        std::string shortNames; // as read afterwards
    } cases[] = {
        {"", "error 2"},
        {std::string(1, '\0') + "\xff\xfe garbage\n[", "error 2"},
        {section + "\"ShortFileNames\"=dword:00000001\n\"ShowHiddenShares\"=dwo", "4:" + One},
        // Not given to the section before the damaged one.
        {section + "\"ShortFileNames\"=dword:1\r\n[HKCU\\Softw\n\"ShowHiddenShares\"=dword:1\n",
         "4:" + One},
        {section + "\"ShowHiddenShares\"=dword:zz\n\"ShortFileNames\"=dword:123456789\n",
         "error 2"},
        {section + "\"ShortFileNames\"=dword:0\n" + section + "\"ShortFileNames\"=dword:1\n",
         "4:" + One}, // the last one wins
    };
    for (const Case& c : cases) {
        Store(c.text);
        EXPECT_EQ(Fresh("ShortFileNames"), c.shortNames) << c.text;
        EXPECT_EQ(Fresh("ShowHiddenShares"), "error 2") << c.text;
        HKEY key = Create(Settings);
        EXPECT_EQ(SetDword(key, "Toggled", 1), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(Fresh("Toggled"), "4:" + One) << c.text;
        std::istringstream lines(c.text);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back(); // line ends become \n
            EXPECT_TRUE(Holds(line)) << "lost '" << line << "'";
        }
    }
}

ssize_t FailingRead(int, void*, size_t) {
    errno = EIO;
    return -1;
}

TEST_F(PosixRegistry, UnreadableStoreIsNeitherReadNorReplaced) {
    Store("[HKEY_CURRENT_USER\\Software\\Host\\Zarelin]\n");
    ZpRegistrySetSystemCall("read", reinterpret_cast<ZpSystemCall>(FailingRead));
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Settings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "x", 0, REG_SZ, nullptr, 0), ERROR_BADDB);
    ZpRegistrySetSystemCall("read", nullptr);
    EXPECT_EQ(Stored(), "[HKEY_CURRENT_USER\\Software\\Host\\Zarelin]\n");
}

// The write faults: each fails one step of replacing the file.
int DeniedCreate(const char* path, int flags, unsigned mode) {
    if (!(flags & O_CREAT)) return open(path, flags, mode);
    errno = EACCES;
    return -1;
}
ssize_t DiskFullHalfway(int fd, const void* data, size_t size) {
    if (size < 8) {
        errno = ENOSPC;
        return -1;
    }
    return write(fd, data, size / 2);
}
int FailingFsync(int) {
    errno = EIO;
    return -1;
}
int FailingRename(const char*, const char*) {
    errno = EXDEV;
    return -1;
}

TEST_F(PosixRegistry, FailedWriteReportsAndLeavesTheOldFile) {
    HKEY key = Create(Settings);
    ASSERT_EQ(SetDword(key, "ShortFileNames", 1), ERROR_SUCCESS);
    const std::string before = Stored();
    struct Case {
        const char* call;
        ZpSystemCall fault;
        LONG code;
    } cases[] = {
        {"open", reinterpret_cast<ZpSystemCall>(DeniedCreate), ERROR_ACCESS_DENIED},
        {"write", reinterpret_cast<ZpSystemCall>(DiskFullHalfway), ERROR_CANTWRITE},
        {"fsync", reinterpret_cast<ZpSystemCall>(FailingFsync), ERROR_CANTWRITE},
        {"rename", reinterpret_cast<ZpSystemCall>(FailingRename), ERROR_CANTWRITE},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ZpRegistrySetSystemCall(c.call, c.fault), 0);
        EXPECT_EQ(SetDword(key, "ShortFileNames", 0), c.code) << c.call;
        ZpRegistrySetSystemCall(c.call, nullptr);
        EXPECT_EQ(Stored(), before) << c.call;
        EXPECT_TRUE(Tidy()) << c.call;
    }
    EXPECT_EQ(SetDword(key, "ShortFileNames", 0), ERROR_SUCCESS);
    EXPECT_EQ(Fresh("ShortFileNames"), "4:" + std::string(4, '\0'));
    RegCloseKey(key);
}

TEST_F(PosixRegistry, WorkgroupComesFromTheStoreThenFromTheHost) {
    const char* vnetsup = "System\\CurrentControlSet\\Services\\VxD\\VNETSUP";
    auto workgroup = [&] { return Fresh("workgroup", vnetsup, HKEY_LOCAL_MACHINE); };
    EXPECT_EQ(workgroup(), "error 2");
    ZpRegistrySetWorkgroup("OFFICE");
    EXPECT_EQ(workgroup(), std::string("1:OFFICE\0", 9));
    Store(std::string("[HKLM\\") + vnetsup + "]\n\"Workgroup\"=\"HOME\"\n");
    EXPECT_EQ(workgroup(), std::string("1:HOME\0", 7));
    ZpRegistrySetWorkgroup("");
    fs::remove(file_);
    EXPECT_EQ(workgroup(), "error 2");
}

} // namespace
