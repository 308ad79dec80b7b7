#include "model.h"

#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

namespace doubles {

namespace {

using Json = nlohmann::json;

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int units =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                            units);
    return wide;
}

std::wstring Text(const Json& object, const char* key) {
    return object.contains(key) ? Wide(object[key].get<std::string>()) : std::wstring();
}

ShareKind Kind(const std::string& type) {
    if (type == "printer") return ShareKind::Printer;
    if (type == "device") return ShareKind::Device;
    if (type == "ipc") return ShareKind::Ipc;
    if (type == "special") return ShareKind::Special;
    return ShareKind::Disk;
}

std::shared_ptr<Network> Read(const Json& root) {
    auto net = std::make_shared<Network>();
    net->workgroup = Text(root, "workgroup");
    net->domain = Text(root, "domain");
    for (const Json& p : root.value("providers", Json::array())) {
        Provider provider{Text(p, "name"), {}};
        for (const Json& d : p.value("domains", Json::array())) {
            Domain domain{Text(d, "name"), {}, d.value("delay", 0u)};
            for (const Json& s : d.value("servers", Json::array()))
                domain.servers.push_back(Wide(s.get<std::string>()));
            provider.domains.push_back(std::move(domain));
        }
        net->providers.push_back(std::move(provider));
    }
    if (root.contains("servers"))
        for (auto& [name, s] : root["servers"].items()) {
            Server server{
                Wide(name), Text(s, "comment"), s.value("denied", false), {}, s.value("delay", 0u)};
            for (const Json& sh : s.value("shares", Json::array()))
                server.shares.push_back(
                    {Text(sh, "name"), Text(sh, "remark"), Kind(sh.value("type", "disk"))});
            net->servers.push_back(std::move(server));
        }
    return net;
}

std::mutex blocksLock;
std::set<void*> blocks;

} // namespace

void WaitAsServer(DWORD delayMs) {
    if (delayMs) Sleep(delayMs);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

const Server* Network::FindServer(const std::wstring& name, bool* listed) const {
    size_t skip = name.find_first_not_of(L'\\');
    std::wstring wanted = skip == std::wstring::npos ? L"" : name.substr(skip);
    if (listed) {
        *listed = false;
        for (const Provider& p : providers)
            for (const Domain& d : p.domains)
                for (const std::wstring& s : d.servers)
                    if (SameName(s, wanted)) *listed = true;
    }
    for (const Server& s : servers)
        if (SameName(s.name, wanted)) return &s;
    return nullptr;
}

const Provider* Network::FindProvider(const std::wstring& name) const {
    for (const Provider& p : providers)
        if (SameName(p.name, name)) return &p;
    return nullptr;
}

std::shared_ptr<const Network> LoadNetwork() {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ZARELIN_NETWORK", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    try {
        return Read(Json::parse(text, nullptr, true, /*ignore_comments=*/true));
    } catch (const std::exception&) {
        return nullptr; // a file the Linux layer would refuse: no network
    }
}

void* NewBlock(size_t bytes) {
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
    if (!block) return nullptr;
    std::lock_guard<std::mutex> hold(blocksLock);
    blocks.insert(block);
    return block;
}

bool FreeBlock(void* block) {
    std::lock_guard<std::mutex> hold(blocksLock);
    if (!blocks.erase(block)) return false; // not handed out, or freed already
    HeapFree(GetProcessHeap(), 0, block);
    return true;
}

long OutstandingBlocks() {
    std::lock_guard<std::mutex> hold(blocksLock);
    return static_cast<long>(blocks.size());
}

} // namespace doubles
