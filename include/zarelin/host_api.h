/* The records and services a host exchanges with the Zarelin module, and the module's
 * four entry points. On 32-bit Windows every record has the host's exact byte layout
 * (checked below); elsewhere the same fields keep their natural sizes. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define ZARELIN_CALL __stdcall
#else
#define ZARELIN_CALL
#endif

#if defined(ZARELIN_BUILDING_MODULE) && defined(_WIN32)
#define ZARELIN_EXPORT extern "C" __declspec(dllexport)
#elif defined(ZARELIN_BUILDING_MODULE)
#define ZARELIN_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define ZARELIN_EXPORT extern "C"
#endif

/* One item of a host menu. */
struct MenuItem {
    char Text[128];    /* zero-terminated */
    int32_t Selected;  /* nonzero: the cursor starts on this item */
    int32_t Checked;   /* nonzero: shows a check mark */
    int32_t Separator; /* nonzero: a separator line, not an item */
};

/* Host services, called on the host's thread from within a call into the module.
 * Each is a function type: a host declares its services with these types (and the
 * module calls them through pointers to them), so that on 32-bit Windows a service
 * written with the wrong calling convention does not compile, rather than corrupting
 * the stack at the first call. */

/* Shows `count` items titled `title`; returns the chosen index, negative on cancel.
 * `flags` is 0 for the module's own menu and 1 for a list of candidates; `breakKeys`,
 * when given, is a zero-terminated list of keys that also choose an item. */
typedef int32_t ZARELIN_CALL HostMenuService(int32_t moduleNumber, int32_t x, int32_t y,
                                             int32_t maxHeight, uint32_t flags, const char* title,
                                             const char* bottom, const char* helpTopic,
                                             const int32_t* breakKeys, int32_t* breakCode,
                                             const MenuItem* items, int32_t count);
/* The text of the module's message `id` (0..7); the host owns it. */
typedef const char* ZARELIN_CALL HostMessageService(int32_t moduleNumber, int32_t id);
/* Command line access: command 8 copies the line into a 1024-byte buffer, command 9
 * replaces the line with the zero-terminated text in `param`. */
typedef int32_t ZARELIN_CALL HostControlService(void* panel, int32_t command, void* param);
/* Nonzero when the last path component of `name` matches the wildcard `pattern`. */
typedef int32_t ZARELIN_CALL HostMatchService(const char* pattern, const char* name,
                                              int32_t lastComponent);
/* Editor access: 0 reads the current line (EditorLineRecord), 1 replaces it
 * (EditorLineWriteRecord), 6 fills EditorInfoRecord, 7 moves the cursor
 * (EditorPositionRecord). */
typedef int32_t ZARELIN_CALL HostEditorService(int32_t command, void* record);

typedef HostMenuService* HostMenuFn;
typedef HostMessageService* HostMessageFn;
typedef HostControlService* HostControlFn;
typedef HostMatchService* HostMatchFn;
typedef HostEditorService* HostEditorFn;

enum HostControlCommand { HostGetCommandLine = 8, HostSetCommandLine = 9 };
enum HostEditorCommand {
    EditorGetLine = 0,
    EditorSetLine = 1,
    EditorGetInfo = 6,
    EditorSetPosition = 7
};

/* The startup record, copied whole by SetStartupInfo (372 bytes on 32-bit Windows). */
struct StartupInfo {
    int32_t StructSize;
    char ModuleName[260];
    int32_t ModuleNumber;     /* first argument of HostMessage */
    const char* RegistryRoot; /* below HKEY_CURRENT_USER; the module adds "\Zarelin" */
    HostMenuFn HostMenu;
    void* Reserved0[2];
    HostMessageFn HostMessage;
    HostControlFn HostControl;
    void* Reserved1[7];
    HostMatchFn HostMatch;
    void* Reserved2[2];
    HostEditorFn HostEditor;
    void* Reserved3[9];
};

/* Filled by GetPluginInfo; the module writes only the fields it names. */
struct PluginInfo {
    int32_t StructSize; /* 44 */
    int32_t Flags;      /* 4: offered in the editor as well */
    const void* Reserved0[2];
    int32_t Reserved1;
    const char* const* MenuStrings; /* the module's entry in the host's menu */
    int32_t MenuStringsCount;
    const void* Reserved2;
    int32_t Reserved3;
    const void* Reserved4;
    int32_t Reserved5;
};

/* Editor command 0: the host fills Text for the line numbered LineNumber (-1: the
 * cursor's line). */
struct EditorLineRecord {
    int32_t LineNumber;
    const char* Text;
    const char* EndOfLine;
    int32_t Length;
    int32_t SelectionStart;
    int32_t SelectionEnd;
};

/* Editor command 1: replaces the line numbered LineNumber by Text. */
struct EditorLineWriteRecord {
    int32_t LineNumber;
    const char* Text;
    const char* EndOfLine; /* null keeps the line's own */
    int32_t Length;
};

/* Editor command 6: the module reads only CursorPos, the cursor's character index. */
struct EditorInfoRecord {
    int32_t Reserved0[6];
    int32_t CursorPos;
    int32_t Reserved1[18];
};

/* Editor command 7: -1 leaves a field as it is. */
struct EditorPositionRecord {
    int32_t Line;
    int32_t Position; /* character index in the line */
    int32_t TabPosition;
    int32_t TopLine;
    int32_t LeftColumn;
    int32_t Overtype;
};

/* Where OpenPlugin is called from: the editor; any other value is the command line. */
enum { OpenFromEditor = 5 };

/* The module's entry points, as function types: the module declares its exports with
 * them and a host that loads the module by name calls them through pointers to them. */
typedef void ZARELIN_CALL SetStartupInfoEntry(const StartupInfo* info);
typedef void ZARELIN_CALL GetPluginInfoEntry(PluginInfo* info);
typedef intptr_t ZARELIN_CALL OpenPluginEntry(int32_t openFrom, intptr_t item);
typedef void ZARELIN_CALL ClosePluginEntry(void* plugin);

ZARELIN_EXPORT SetStartupInfoEntry SetStartupInfo;
ZARELIN_EXPORT GetPluginInfoEntry GetPluginInfo;
ZARELIN_EXPORT OpenPluginEntry OpenPlugin;
ZARELIN_EXPORT ClosePluginEntry ClosePlugin;

typedef SetStartupInfoEntry* SetStartupInfoFn;
typedef GetPluginInfoEntry* GetPluginInfoFn;
typedef OpenPluginEntry* OpenPluginFn;
typedef ClosePluginEntry* ClosePluginFn;

#if defined(_WIN32) && !defined(_WIN64)
/* The host's byte layout, to the byte. */
static_assert(sizeof(StartupInfo) == 372, "StartupInfo is 372 bytes");
static_assert(offsetof(StartupInfo, ModuleNumber) == 264, "ModuleNumber at 264");
static_assert(offsetof(StartupInfo, RegistryRoot) == 268, "RegistryRoot at 268");
static_assert(offsetof(StartupInfo, HostMenu) == 272, "HostMenu at 272");
static_assert(offsetof(StartupInfo, HostMessage) == 284, "HostMessage at 284");
static_assert(offsetof(StartupInfo, HostControl) == 288, "HostControl at 288");
static_assert(offsetof(StartupInfo, HostMatch) == 320, "HostMatch at 320");
static_assert(offsetof(StartupInfo, HostEditor) == 332, "HostEditor at 332");
static_assert(sizeof(MenuItem) == 140, "MenuItem is 140 bytes");
static_assert(offsetof(MenuItem, Checked) == 132, "MenuItem.Checked at 132");
static_assert(offsetof(MenuItem, Separator) == 136, "MenuItem.Separator at 136");
static_assert(sizeof(PluginInfo) == 44, "PluginInfo is 44 bytes");
static_assert(offsetof(PluginInfo, Flags) == 4, "PluginInfo.Flags at 4");
static_assert(offsetof(PluginInfo, MenuStrings) == 20, "PluginInfo.MenuStrings at 20");
static_assert(offsetof(PluginInfo, MenuStringsCount) == 24, "PluginInfo count at 24");
static_assert(sizeof(EditorLineRecord) == 24, "EditorLineRecord is six 32-bit fields");
static_assert(sizeof(EditorLineWriteRecord) == 16, "EditorLineWriteRecord is four fields");
static_assert(sizeof(EditorInfoRecord) == 100, "EditorInfoRecord is 100 bytes");
static_assert(offsetof(EditorInfoRecord, CursorPos) == 24, "EditorInfoRecord.CursorPos at 24");
static_assert(sizeof(EditorPositionRecord) == 24, "EditorPositionRecord is six int32");
#endif
