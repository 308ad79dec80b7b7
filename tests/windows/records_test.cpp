// The module as a 32-bit host sees it: its entry points called with the host's calling
// convention, and every record it reads or writes checked byte by byte at the host's
// offsets, not through the header's structs. Only a 32-bit program can judge this;
// elsewhere the records have other sizes and the tests skip.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

using namespace winhost;

#if defined(__i386__)

// Calls `fn` with `count` 32-bit arguments pushed as a __stdcall caller pushes them
// and returns how many bytes of them the callee took off the stack, or -1 when it did
// not give back the caller's ebx, esi, edi or ebp. The callee's result lands in
// probeResult.
extern "C" {
int32_t ProbeCall(const void* fn, const uint32_t* args, int32_t count);
uintptr_t probeStack, probeFrame, probeResult;
}
asm(R"(
    .text
    .globl _ProbeCall
    .def _ProbeCall; .scl 2; .type 32; .endef
_ProbeCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl 8(%ebp), %eax
    movl %esp, _probeStack
    movl %ebp, _probeFrame
    movl $0x0B0B0B0B, %ebx
    movl $0x51515151, %esi
    movl $0xD1D1D1D1, %edi
    movl $0xBEBEBEBE, %ebp
    call *%eax
    movl %eax, _probeResult
    cmpl $0x0B0B0B0B, %ebx
    jne 3f
    cmpl $0x51515151, %esi
    jne 3f
    cmpl $0xD1D1D1D1, %edi
    jne 3f
    cmpl $0xBEBEBEBE, %ebp
    jne 3f
    movl %esp, %eax
    subl _probeStack, %eax
    jmp 4f
3:  movl $-1, %eax
4:  movl _probeFrame, %ebp
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace {

// --- A host that knows the records only as bytes --------------------------------------

int32_t Int(const void* record, size_t offset) {
    int32_t value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}
void* Pointer(const void* record, size_t offset) {
    void* value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}
template <typename T> void Put(void* record, size_t offset, T value) {
    std::memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

// A menu as the host read it from the bytes it was handed.
struct RawMenu {
    uint32_t flags;
    std::string title;
    std::vector<int32_t> breakKeys;
    std::vector<std::string> texts;
    std::vector<int32_t> checked, separators;
};

struct RawHost {
    static constexpr int32_t ModuleNumber = 0x5A17;
    const char* messages[8] = {"M0", "M1", "M2", "M3", "M4", "M5", "M6", "M7"};
    std::string registryRoot;
    alignas(4) unsigned char startup[372] = {};

    std::vector<int32_t> messageModules; // the first argument of every HostMessage
    std::vector<RawMenu> menus;
    std::vector<int32_t> answers; // for the menus, in order; none left: cancel
    std::string commandLine, editorLine;
    int32_t editorCursor = 0;
    std::vector<std::vector<int32_t>> editorWrites; // fields of each line written
    std::vector<std::vector<int32_t>> positions;    // the six fields of each cursor move
    std::vector<int32_t> readRequests;              // line number of each line read
};

RawHost* raw = nullptr;

struct RawServices {
    static HostMenuService Menu;
    static HostMessageService Message;
    static HostControlService Control;
    static HostMatchService Match;
    static HostEditorService Editor;
};

int32_t RawServices::Menu(int32_t, int32_t, int32_t, int32_t, uint32_t flags, const char* title,
                          const char*, const char*, const int32_t* breakKeys, int32_t*,
                          const MenuItem* items, int32_t count) {
    RawMenu menu{flags, title ? title : "", {}, {}, {}, {}};
    if (breakKeys) {
        size_t n = 0;
        do
            menu.breakKeys.push_back(breakKeys[n]);
        while (breakKeys[n++] != 0);
    }
    const char* bytes = reinterpret_cast<const char*>(items);
    for (int32_t i = 0; i < count; ++i) {
        const char* item = bytes + 140 * i;
        menu.texts.emplace_back(item, strnlen(item, 128));
        menu.checked.push_back(Int(item, 132));
        menu.separators.push_back(Int(item, 136));
    }
    raw->menus.push_back(menu);
    if (raw->answers.empty()) return -1;
    int32_t answer = raw->answers.front();
    raw->answers.erase(raw->answers.begin());
    return answer;
}

const char* RawServices::Message(int32_t module, int32_t id) {
    raw->messageModules.push_back(module);
    return id >= 0 && id < 8 ? raw->messages[id] : "";
}

int32_t RawServices::Control(void* panel, int32_t command, void* buffer) {
    if (panel != INVALID_HANDLE_VALUE) return 0; // the module works on the active panel
    if (command == HostGetCommandLine) {
        std::strncpy(static_cast<char*>(buffer), raw->commandLine.c_str(), 1023);
        static_cast<char*>(buffer)[1023] = 0;
    } else if (command == HostSetCommandLine) {
        raw->commandLine = static_cast<const char*>(buffer);
    }
    return 1;
}

int32_t RawServices::Match(const char* pattern, const char* name, int32_t) {
    return Wildcard(pattern, name);
}

int32_t RawServices::Editor(int32_t command, void* record) {
    switch (command) {
    case EditorGetLine: // six fields: the module sets the first, the host fills the rest
        raw->readRequests.push_back(Int(record, 0));
        Put(record, 4, raw->editorLine.c_str());
        Put(record, 8, "\r\n");
        Put(record, 12, static_cast<int32_t>(raw->editorLine.size()));
        Put(record, 16, int32_t{-1});
        Put(record, 20, int32_t{-1});
        return 1;
    case EditorSetLine: { // four fields: line number, text, end of line, length
        auto* text = static_cast<const char*>(Pointer(record, 4));
        int32_t length = Int(record, 12);
        raw->editorWrites.push_back(
            {Int(record, 0), Pointer(record, 8) == nullptr ? 0 : 1, length});
        raw->editorLine.assign(text, static_cast<size_t>(length));
        return 1;
    }
    case EditorGetInfo: // the host fills all of its 100 bytes
        std::memset(record, 0x5C, 100);
        Put(record, 24, raw->editorCursor);
        return 1;
    case EditorSetPosition: {
        std::vector<int32_t> fields;
        for (size_t offset = 0; offset < 24; offset += 4)
            fields.push_back(Int(record, offset));
        raw->positions.push_back(fields);
        raw->editorCursor = fields[1];
        return 1;
    }
    }
    return 0;
}

// The module loaded and its four entry points, each called through the probe.
class RawRecords : public WindowsTest {
  protected:
    void SetUp() override {
        WindowsTest::SetUp();
        host.registryRoot = hostRoot;
        raw = &host;
        module = LoadLibraryA(ModulePath().c_str());
        ASSERT_NE(module, nullptr);
        for (const char* name : {"SetStartupInfo", "GetPluginInfo", "OpenPlugin", "ClosePlugin"})
            entries.push_back(reinterpret_cast<const void*>(GetProcAddress(module, name)));
        for (const void* entry : entries)
            ASSERT_NE(entry, nullptr);

        unsigned char* record = host.startup;
        Put(record, 0, int32_t{372});
        Put(record, 264, RawHost::ModuleNumber);
        Put(record, 268, host.registryRoot.c_str());
        Put<HostMenuFn>(record, 272, RawServices::Menu);
        Put<HostMessageFn>(record, 284, RawServices::Message);
        Put<HostControlFn>(record, 288, RawServices::Control);
        Put<HostMatchFn>(record, 320, RawServices::Match);
        Put<HostEditorFn>(record, 332, RawServices::Editor);
        EXPECT_EQ(Call(0, {reinterpret_cast<uintptr_t>(record)}), 4) << "SetStartupInfo";
    }
    void TearDown() override {
        EXPECT_EQ(Call(3, {0}), 4) << "ClosePlugin";
        FreeLibrary(module);
        raw = nullptr;
        WindowsTest::TearDown();
    }

    // Calls entry point `which` (0 SetStartupInfo .. 3 ClosePlugin); the bytes it popped.
    int32_t Call(int which, std::vector<uint32_t> args) {
        return ProbeCall(entries[which], args.data(), static_cast<int32_t>(args.size()));
    }
    // OpenPlugin, picking `item` in the module's menu; true when it popped its 8 bytes,
    // kept the caller's registers and returned -1.
    bool Open(int32_t openFrom, int32_t item) {
        host.answers.insert(host.answers.begin(), item);
        return Call(2, {static_cast<uint32_t>(openFrom), 0}) == 8 &&
               static_cast<intptr_t>(probeResult) == -1;
    }

    RawHost host;
    HMODULE module = nullptr;
    std::vector<const void*> entries;
};

int32_t __stdcall StdcallPair(int32_t a, int32_t b) {
    return a + b;
}
int32_t __cdecl CdeclPair(int32_t a, int32_t b) {
    return a + b;
}

TEST_F(RawRecords, TheProbeTellsTheCallingConventions) {
    uint32_t args[] = {2, 3};
    EXPECT_EQ(ProbeCall(reinterpret_cast<const void*>(StdcallPair), args, 2), 8);
    EXPECT_EQ(probeResult, 5u);
    EXPECT_EQ(ProbeCall(reinterpret_cast<const void*>(CdeclPair), args, 2), 0);
}

TEST_F(RawRecords, PluginInfoGetsItsFourFieldsAndNoOtherByte) {
    alignas(4) unsigned char info[64];
    std::memset(info, 0xAB, sizeof info);
    EXPECT_EQ(Call(1, {reinterpret_cast<uintptr_t>(info)}), 4) << "GetPluginInfo";
    EXPECT_EQ(Int(info, 0), 44);
    EXPECT_EQ(Int(info, 4), 4);
    auto* strings = static_cast<const char* const*>(Pointer(info, 20));
    ASSERT_NE(strings, nullptr);
    EXPECT_STREQ(strings[0], "M0");
    EXPECT_EQ(Int(info, 24), 1);
    for (size_t i : {8, 12, 16, 28, 32, 36, 40, 44, 48, 60})
        EXPECT_EQ(static_cast<uint32_t>(Int(info, i)), 0xABABABABu) << "offset " << i;
}

TEST_F(RawRecords, TheModulesMenuComesThroughTheStartupRecordsOffsets) {
    ASSERT_TRUE(Open(0, -1));
    ASSERT_TRUE(Open(0, ShortFileNamesItem));
    ASSERT_TRUE(Open(0, -1));
    ASSERT_EQ(host.menus.size(), 3u);
    const RawMenu& menu = host.menus.back();
    EXPECT_EQ(menu.flags, 0u);
    EXPECT_EQ(menu.title, "M0");
    EXPECT_TRUE(menu.breakKeys.empty());
    EXPECT_EQ(menu.texts, (std::vector<std::string>{"M1", "M2", "M3", "", "M4", "M5", "M6", "M7"}));
    EXPECT_EQ(menu.separators, (std::vector<int32_t>{0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(menu.checked, (std::vector<int32_t>{0, 0, 0, 0, 1, 0, 1, 0}));
    for (int32_t module : host.messageModules)
        EXPECT_EQ(module, RawHost::ModuleNumber);
    // The toggle went to the key below the registry path at offset 268.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (hostRoot + "\\Zarelin").c_str(), 0, KEY_QUERY_VALUE,
                            &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RawRecords, TheListAndTheEditorRecordsHaveTheHostsLayout) {
    folder.Add({"ab1", "abc\\", "ab2"});
    host.editorLine = "copy ab";
    host.editorCursor = 7;
    host.answers = {1}; // the list menu's second item
    ASSERT_TRUE(Open(OpenFromEditor, ListItem));
    ASSERT_EQ(host.menus.size(), 2u);
    const RawMenu& list = host.menus[1];
    EXPECT_EQ(list.flags, 1u);
    EXPECT_EQ(list.title, "Filenames");
    EXPECT_EQ(list.breakKeys, (std::vector<int32_t>{0x0011000D, 0}));
    EXPECT_EQ(list.texts, (std::vector<std::string>{"ab1", "ab2", "abc\\"}));
    EXPECT_EQ(list.separators, (std::vector<int32_t>{0, 0, 0}));

    EXPECT_EQ(host.readRequests, (std::vector<int32_t>{-1}));
    EXPECT_EQ(host.editorLine, "copy ab2");
    // Written: line -1, no end-of-line of its own, the text's length.
    EXPECT_EQ(host.editorWrites, (std::vector<std::vector<int32_t>>{{-1, 0, 8}}));
    // The cursor moved after the word, every other field left as it is (-1).
    EXPECT_EQ(host.positions, (std::vector<std::vector<int32_t>>{{-1, 8, -1, -1, -1, -1}}));
}

} // namespace

#else

TEST(RawRecords, OnlyA32BitProgramHasTheHostsLayout) {
    GTEST_SKIP() << "the host's records are those of 32-bit Windows";
}

#endif
