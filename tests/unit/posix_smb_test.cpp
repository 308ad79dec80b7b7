// Real servers in the network file: how one is described, and how its answers become
// Win32 answers, over a stand-in for libsmbclient (the real server is tests/smb).
#include <gtest/gtest.h>

#include <libsmbclient.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/os.h"
#include "sources/network.h"
#include "zp_network.h"

namespace fs = std::filesystem;
using namespace zarelin;

namespace {

struct Listed {
    unsigned type;
    std::string name;
};

// What the stand-in server holds, by the URL libsmbclient would be given.
std::map<std::string, std::vector<Listed>> served;
std::vector<std::string> urls; // every URL opened, in order

struct OpenFolder {
    std::vector<Listed> entries;
    size_t next = 0;
    std::vector<char> dirent; // the last entry handed out
};

SMBCFILE* StandInOpendir(SMBCCTX* context, const char* url) {
    EXPECT_EQ(context, nullptr); // no libsmbclient context is made for a stand-in
    urls.push_back(url);
    auto found = served.find(url);
    if (found == served.end()) {
        errno = std::strstr(url, "refused") ? ECONNREFUSED : ENOENT;
        return nullptr;
    }
    return reinterpret_cast<SMBCFILE*>(new OpenFolder{found->second, 0, {}});
}

smbc_dirent* StandInReaddir(SMBCCTX*, SMBCFILE* dir) {
    auto* folder = reinterpret_cast<OpenFolder*>(dir);
    if (folder->next == folder->entries.size()) return nullptr;
    const Listed& e = folder->entries[folder->next++];
    folder->dirent.assign(sizeof(smbc_dirent) + e.name.size() + 1, 0);
    auto* entry = reinterpret_cast<smbc_dirent*>(folder->dirent.data());
    entry->smbc_type = e.type;
    entry->namelen = static_cast<unsigned>(e.name.size());
    std::memcpy(entry->name, e.name.c_str(), e.name.size() + 1);
    return entry;
}

int StandInClosedir(SMBCCTX*, SMBCFILE* dir) {
    delete reinterpret_cast<OpenFolder*>(dir);
    return 0;
}

const char* const Nas = R"({ "platform": "@FAMILY@",
  "providers": [ { "name": "Microsoft Windows Network",
                   "domains": [ { "name": "HOME", "servers": ["NAS", "OFF"] } ] } ],
  "servers": { "NAS": { "smb": { "address": "nas.invalid" } },
               "OFF": { "smb": { "address": "refused.invalid", "port": 4455 } } } })";

class PosixSmb : public ::testing::Test {
  protected:
    void SetUp() override {
        ZpSmbSetSystemCall("opendir", reinterpret_cast<ZpSystemCall>(StandInOpendir));
        ZpSmbSetSystemCall("readdir", reinterpret_cast<ZpSystemCall>(StandInReaddir));
        ZpSmbSetSystemCall("closedir", reinterpret_cast<ZpSystemCall>(StandInClosedir));
        served = {
            {"smb://nas.invalid:445/",
             {{SMBC_FILE_SHARE, "data"},
              {SMBC_FILE_SHARE, "a\\b"},
              {SMBC_FILE_SHARE, "backup$"},
              {SMBC_PRINTER_SHARE, "laser"},
              {SMBC_COMMS_SHARE, "com1"},
              {SMBC_IPC_SHARE, "IPC$"},
              {SMBC_WORKGROUP, "HOME"}}},
            {"smb://nas.invalid:445/data",
             {{SMBC_DIR, "."},
              {SMBC_DIR, ".."},
              {SMBC_FILE, "Read Me.txt"},
              {SMBC_DIR, "100% sure#"},
              {SMBC_FILE, "x\\y"},
              {SMBC_LINK, "link"},
              {SMBC_SERVER, "ALPHA"}}},
            {"smb://nas.invalid:445/data/100%25%20sure%23", {{SMBC_FILE, "inner"}}},
        };
        urls.clear();
    }
    void TearDown() override {
        ZpSmbSetSystemCall(nullptr, nullptr);
        ZpNetworkLoad(nullptr);
    }
    void LoadFamily(const std::string& family) {
        std::string json = Nas;
        json.replace(json.find("@FAMILY@"), 8, family);
        ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    }
};

template <typename Fn> Fn Proc(const char* library, const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA(library), name)));
}

// A share name with a separator, and whatever is not a share, are left out; every
// share of a '$' name is special, as the server's own share list says.
TEST_F(PosixSmb, ServerAnswersBecomeShareListsOfBothFamilies) {
    LoadFamily("nt");
    auto ntEnum = Proc<NetShareEnumNtFn>("NETAPI32.DLL", "NetShareEnum");
    auto bufferFree = Proc<NetApiBufferFreeFn>("NETAPI32.DLL", "NetApiBufferFree");
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    WCHAR server[] = u"\\\\nas";
    ASSERT_EQ(ntEnum(server, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              (DWORD)NERR_Success);
    std::string seen;
    for (DWORD i = 0; i < read; ++i) {
        const SHARE_INFO_1& share = reinterpret_cast<SHARE_INFO_1*>(buffer)[i];
        for (const WCHAR* c = share.shi1_netname; *c; ++c)
            seen += static_cast<char>(*c);
        seen += ":" + std::to_string(share.shi1_type & 0xFF) +
                (share.shi1_type & STYPE_SPECIAL ? "s " : " ");
    }
    bufferFree(buffer);
    EXPECT_EQ(seen, "data:0 backup$:0s laser:1 com1:2 IPC$:3s ");
    WCHAR off[] = u"OFF";
    EXPECT_EQ(ntEnum(off, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              (DWORD)ERROR_BAD_NETPATH);

    LoadFamily("other");
    auto otherEnum = Proc<NetShareEnumOtherFn>("svrapi.DLL", "NetShareEnum");
    char records[400];
    unsigned short got = 0, available = 0;
    ASSERT_EQ(otherEnum("\\\\NAS", 1, records, sizeof records, &got, &available),
              (DWORD)NERR_Success);
    seen.clear();
    for (unsigned i = 0; i < got; ++i) {
        ZpShareInfo1Other info;
        std::memcpy(&info, records + i * sizeof info, sizeof info);
        seen += std::string(info.shi1_netname) + ":" + std::to_string(info.shi1_type) + " ";
    }
    EXPECT_EQ(seen, "data:0 laser:1 com1:2 IPC$:3 ");
    EXPECT_EQ(urls,
              (std::vector<std::string>{"smb://nas.invalid:445/", "smb://refused.invalid:4455/",
                                        "smb://nas.invalid:445/"}));
}

TEST_F(PosixSmb, FoldersAreReadThroughEscapedUrls) {
    LoadFamily("nt");
    auto list = [](const char* mask, DWORD* error) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(mask, &data);
        *error = search == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (search == INVALID_HANDLE_VALUE) return names;
        do
            names.push_back(std::string(data.cFileName) +
                            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
        while (FindNextFileA(search, &data));
        FindClose(search);
        return names;
    };
    struct Case {
        const char* mask;
        DWORD error;
        std::vector<std::string> names;
    } cases[] = {
        {"\\\\NAS\\data\\*", ERROR_SUCCESS, {"./", "../", "Read Me.txt", "100% sure#/", "link"}},
        {"\\\\NAS\\data\\100% sure#\\*", ERROR_SUCCESS, {"inner"}},
        // The server compares names itself; only when it finds none is the folder read.
        {"\\\\NAS\\data\\100% SURE#\\*", ERROR_SUCCESS, {"inner"}},
        {"\\\\NAS\\data\\nothing\\*", ERROR_PATH_NOT_FOUND, {}},
        {"\\\\NAS\\nothing\\*", ERROR_BAD_NET_NAME, {}},
        {"\\\\OFF\\data\\*", ERROR_BAD_NETPATH, {}},
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(list(c.mask, &error), c.names) << c.mask;
        EXPECT_EQ(error, c.error) << c.mask;
    }
    EXPECT_EQ(urls[1], "smb://nas.invalid:445/data/100%25%20sure%23");
}

TEST_F(PosixSmb, ARealServerIsDescribedByItsAddressAndCredentials) {
    char base[] = "/tmp/zarelin-smb-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string dir = base, file = dir + "/network.json";
    std::ofstream(dir + "/good") << "# the NAS\nusername = anna\npassword = two words\r\n";
    std::ofstream(dir + "/colon") << "username: anna\n";
    std::ofstream(dir + "/nobody") << "password = x\n";
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0); // would block a reader: refused
    struct Case {
        std::string smb;   // the server's "smb" object, or more keys after it
        std::string error; // what follows "file: " in the error; "" for none
    } cases[] = {
        {R"({"address": "10.0.0.5", "port": 4455, "timeout": 250, "credentials": "good"})", ""},
        {R"({"port": 445})", "servers.NAS.smb.address: missing"},
        {R"({"address": "a b"})", "servers.NAS.smb.address: \"a b\" is not a host name"},
        {R"({"address": "nas", "port": 70000})", "servers.NAS.smb.port: not between 1 and 65535"},
        {R"({"address": "nas", "port": "445"})", "servers.NAS.smb.port: expected a whole number"},
        {R"({"address": "nas", "timeout": 0})", "servers.NAS.smb.timeout: not between 1 and"},
        {R"({"address": "nas", "user": "anna"})", "servers.NAS.smb.user: unknown key"},
        {R"({"address": "nas", "credentials": "missing"})",
         "servers.NAS.smb.credentials: " + dir + "/missing: No such file"},
        {R"({"address": "nas", "credentials": "colon"})",
         "servers.NAS.smb.credentials: " + dir + "/colon: line 1: expected \"name = value\""},
        {R"({"address": "nas", "credentials": "nobody"})",
         "servers.NAS.smb.credentials: " + dir + "/nobody: no username"},
        {R"({"address": "nas", "credentials": "fifo"})",
         "servers.NAS.smb.credentials: " + dir + "/fifo: not a regular file"},
        {R"({"address": "nas"}, "shares": [])",
         "servers.NAS.shares: a server reached over SMB lists its own shares"},
    };
    for (const Case& c : cases) {
        std::ofstream(file) << "{ \"servers\": { \"NAS\": { \"smb\": " + c.smb + " } } }";
        EXPECT_EQ(ZpNetworkLoad(file.c_str()), c.error.empty() ? 0 : -1) << c.smb;
        EXPECT_EQ(
            std::string(ZpNetworkError()).rfind(c.error.empty() ? "" : file + ": " + c.error, 0),
            0u)
            << ZpNetworkError();
    }
    fs::remove_all(dir);
}

} // namespace
