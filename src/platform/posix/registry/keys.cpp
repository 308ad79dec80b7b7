// The registry's Win32 calls over key handles: RegCreateKeyExA, RegOpenKeyExA,
// RegQueryValueExA, RegSetValueExA and RegCloseKey, and the workgroup the network names.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

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
// By the address the handle carries; shared, so that a call reads its key without a copy.
std::unordered_map<const OpenKey*, std::shared_ptr<const OpenKey>> openKeys;
std::string workgroup;

const KeyPath WorkgroupKey = {1, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP"};

constexpr REGSAM MaximumAllowed = 0x02000000u;

// What `handle` stands for; null for a handle that is not a key.
std::shared_ptr<const OpenKey> Resolve(HKEY handle) {
    int root = RootIndex(handle);
    if (root >= 0) {
        auto key = std::make_shared<OpenKey>();
        key->key = {root, ""};
        key->access = KEY_ALL_ACCESS;
        key->file = StoreFile();
        return key;
    }
    std::lock_guard<std::mutex> hold(keysLock);
    auto found = openKeys.find(reinterpret_cast<const OpenKey*>(handle));
    return found == openKeys.end() ? nullptr : found->second;
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
    auto handle = std::make_shared<const OpenKey>(key);
    std::lock_guard<std::mutex> hold(keysLock);
    openKeys.emplace(handle.get(), handle);
    return reinterpret_cast<HKEY>(const_cast<OpenKey*>(handle.get()));
}

// Resolves `parent` and `subKey` into `key`, with the access asked for.
LONG KeyBelow(HKEY parent, const char* subKey, REGSAM access, OpenKey& key) {
    std::shared_ptr<const OpenKey> from = Resolve(parent);
    if (!from) return ERROR_INVALID_HANDLE;
    key = *from;
    key.access = (access & MaximumAllowed) ? KEY_ALL_ACCESS : access;
    return AppendSubKey(key.key.path, subKey);
}

// Whether `key` is in its store now: ERROR_SUCCESS with `exists` set, or the error of
// reading the store. Reads are many: the file is read into a buffer each thread keeps.
LONG InStore(const OpenKey& key, bool* exists) {
    thread_local std::string contents;
    LONG code = ReadStore(key.file, contents);
    if (code == ERROR_SUCCESS) *exists = KeyExists(*ParsedStore(contents), key.key);
    return code;
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
    bool exists = false, created = false;
    if ((code = InStore(key, &exists)) != ERROR_SUCCESS) return code;
    if (!exists) {
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
    bool exists = false;
    if ((code = InStore(key, &exists)) != ERROR_SUCCESS) return code;
    if (!exists) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(key);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY handle, const CHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    std::shared_ptr<const OpenKey> key = Resolve(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    thread_local std::string contents; // reads are many: a buffer each thread keeps
    LONG code = ReadStore(key->file, contents);
    if (code != ERROR_SUCCESS) return code;
    const std::string valueName = name ? name : "";
    std::shared_ptr<const Document> document = ParsedStore(contents);
    const Document::Line* entry = document->Find(key->key, valueName);
    DWORD valueType = REG_SZ;
    std::string value;
    if (entry) {
        valueType = entry->type;
        value = entry->data;
    } else if (SameKey(key->key, WorkgroupKey) && SameRegistryName(valueName, "Workgroup")) {
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
    std::shared_ptr<const OpenKey> key = Resolve(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    const std::string valueName = name ? name : "";
    if ((!data && size > 0) || valueName.size() > MaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (size > MaxStoreSize / 4) return ERROR_INVALID_PARAMETER; // it could not be read back
    if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string value(reinterpret_cast<const char*>(data), data ? size : 0);
    return UpdateStore(key->file, [&](Document& document) {
        document.Set(key->key, valueName, type, value);
        return true;
    });
}

LONG RegCloseKey(HKEY handle) {
    if (RootIndex(handle) >= 0) return ERROR_SUCCESS; // predefined keys stay open
    std::lock_guard<std::mutex> hold(keysLock);
    return openKeys.erase(reinterpret_cast<const OpenKey*>(handle)) ? ERROR_SUCCESS
                                                                    : ERROR_INVALID_HANDLE;
}

void ZpRegistrySetWorkgroup(const char* name) {
    std::lock_guard<std::mutex> hold(keysLock);
    workgroup = name ? name : "";
}

} // extern "C"
