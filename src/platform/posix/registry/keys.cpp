// The registry's Win32 calls over key handles: RegCreateKeyExA, RegOpenKeyExA,
// RegQueryValueExA, RegSetValueExA and RegCloseKey, and the workgroup the network names.
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

#include "registry/registry.h"
#include "zp_network.h"
#include "zp_registry.h"

using namespace zp;

namespace {

// What a key handle stands for: a heap object, known to be live while in openKeys.
struct OpenKey {
    KeyPath key;
    REGSAM access = 0; // as asked for when opened
    std::string file;  // the store it was opened in
};

std::mutex keysLock; // guards openKeys and workgroup
std::unordered_set<OpenKey*> openKeys;
std::string workgroup;

const KeyPath WorkgroupKey = {1, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP"};

constexpr REGSAM MaximumAllowed = 0x02000000u;

// Copies what `handle` stands for; false for a handle that is not a key.
bool Resolve(HKEY handle, OpenKey& out) {
    int root = RootIndex(handle);
    if (root >= 0) {
        out.key = {root, ""};
        out.access = KEY_ALL_ACCESS;
        out.file = StoreFile();
        return true;
    }
    std::lock_guard<std::mutex> hold(keysLock);
    auto found = openKeys.find(reinterpret_cast<OpenKey*>(handle));
    if (found == openKeys.end()) return false;
    out = **found;
    return true;
}

std::string Workgroup() {
    // The network file names the workgroup; it may not have been read yet when the
    // module asks first. Read it before taking the lock, which loading it takes too.
    ZpNetworkReady();
    std::lock_guard<std::mutex> hold(keysLock);
    return workgroup;
}

// The host's workgroup makes its key and the keys above it exist.
bool KeyExists(const Document& document, const KeyPath& key) {
    return document.HasKey(key) ||
           ((SameKey(key, WorkgroupKey) || IsBelow(WorkgroupKey, key)) && !Workgroup().empty());
}

HKEY NewHandle(const OpenKey& key) {
    OpenKey* handle = new OpenKey(key);
    std::lock_guard<std::mutex> hold(keysLock);
    openKeys.insert(handle);
    return reinterpret_cast<HKEY>(handle);
}

// Resolves `parent` and `subKey` into `key`, with the access asked for.
LONG KeyBelow(HKEY parent, const char* subKey, REGSAM access, OpenKey& key) {
    if (!Resolve(parent, key)) return ERROR_INVALID_HANDLE;
    key.access = (access & MaximumAllowed) ? KEY_ALL_ACCESS : access;
    return AppendSubKey(key.key.path, subKey);
}

} // namespace
extern "C" {

LONG RegCreateKeyExA(HKEY parent, const CHAR* subKey, DWORD /*reserved*/, CHAR* /*className*/,
                     DWORD /*options*/, REGSAM access, SECURITY_ATTRIBUTES* /*security*/,
                     HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey key;
    LONG code = KeyBelow(parent, subKey, access, key);
    if (code != ERROR_SUCCESS) return code;
    // An existing key opens without writing, so a read-only store still serves it.
    std::string contents;
    code = ReadStore(key.file, contents);
    if (code != ERROR_SUCCESS) return code;
    bool created = false;
    if (!KeyExists(Document(contents), key.key)) {
        code = UpdateStore(key.file, [&](Document& document) {
            if (KeyExists(document, key.key)) return false; // another host was quicker
            document.AddKey(key.key);
            return created = true;
        });
        if (code != ERROR_SUCCESS) return code;
    }
    *result = NewHandle(key);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY parent, const CHAR* subKey, DWORD /*options*/, REGSAM access,
                   HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey key;
    LONG code = KeyBelow(parent, subKey, access, key);
    if (code != ERROR_SUCCESS) return code;
    std::string contents;
    code = ReadStore(key.file, contents);
    if (code != ERROR_SUCCESS) return code;
    if (!KeyExists(Document(contents), key.key)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(key);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY handle, const CHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    OpenKey key;
    if (!Resolve(handle, key)) return ERROR_INVALID_HANDLE;
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    std::string contents;
    LONG code = ReadStore(key.file, contents);
    if (code != ERROR_SUCCESS) return code;
    const std::string valueName = name ? name : "";
    Document document(contents);
    const Document::Line* entry = document.Find(key.key, valueName);
    DWORD valueType = REG_SZ;
    std::string value;
    if (entry) {
        valueType = entry->type;
        value = entry->data;
    } else if (SameKey(key.key, WorkgroupKey) && SameRegistryName(valueName, "Workgroup")) {
        value = Workgroup();
        if (value.empty()) return ERROR_FILE_NOT_FOUND;
        value += '\0';
    } else {
        return ERROR_FILE_NOT_FOUND;
    }
    const DWORD needed = static_cast<DWORD>(value.size()); // the store is at most 16 MiB
    if (type) *type = valueType;
    if (data) {
        // Too small: only the size needed is reported, the buffer is left alone.
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, value.data(), needed);
    }
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY handle, const CHAR* name, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD size) {
    OpenKey key;
    if (!Resolve(handle, key)) return ERROR_INVALID_HANDLE;
    const std::string valueName = name ? name : "";
    if ((!data && size > 0) || valueName.size() > MaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (size > MaxStoreSize / 4) return ERROR_INVALID_PARAMETER; // it could not be read back
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string value(reinterpret_cast<const char*>(data), data ? size : 0);
    return UpdateStore(key.file, [&](Document& document) {
        document.Set(key.key, valueName, type, value);
        return true;
    });
}

LONG RegCloseKey(HKEY handle) {
    if (RootIndex(handle) >= 0) return ERROR_SUCCESS; // predefined keys stay open
    OpenKey* key = reinterpret_cast<OpenKey*>(handle);
    {
        std::lock_guard<std::mutex> hold(keysLock);
        if (openKeys.erase(key) == 0) return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

void ZpRegistrySetWorkgroup(const char* name) {
    std::lock_guard<std::mutex> hold(keysLock);
    workgroup = name ? name : "";
}

} // extern "C"
