#include "headless_host.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "zp_console.h"

namespace testhost {

namespace {

// The command line sits on the last row but one of a 25-row screen.
constexpr int Width = 80;
constexpr int CommandRow = 23;

const char* ModulePath() {
    const char* path = std::getenv("ZARELIN_MODULE");
    return path ? path : ZARELIN_MODULE_PATH;
}

template <typename Fn> Fn Symbol(void* module, const char* name) {
    void* address = dlsym(module, name);
    if (!address) throw std::runtime_error(std::string("module lacks ") + name);
    return reinterpret_cast<Fn>(address);
}

} // namespace

HeadlessHost::HeadlessHost(const std::string& registryRoot, bool matchService)
    : HeadlessHost(registryRoot, HostServices{true, true, matchService}) {}

HeadlessHost::HeadlessHost(const std::string& registryRoot, HostServices services) {
    module_ = dlopen(ModulePath(), RTLD_NOW | RTLD_LOCAL);
    if (!module_) throw std::runtime_error(dlerror());
    getPluginInfo_ = Symbol<GetPluginInfoFn>(module_, "GetPluginInfo");

    ZpConsoleResize(Width, 25);
    beepsAtStart_ = ZpConsoleBellCount();
    DrawCommandLine();
    Start(Symbol<SetStartupInfoFn>(module_, "SetStartupInfo"),
          Symbol<OpenPluginFn>(module_, "OpenPlugin"),
          Symbol<ClosePluginFn>(module_, "ClosePlugin"), registryRoot, services);
}

HeadlessHost::~HeadlessHost() {
    Close();
    dlclose(module_);
}

bool HeadlessHost::ModuleLoaded() {
    void* module = dlopen(ModulePath(), RTLD_NOW | RTLD_NOLOAD);
    if (module) dlclose(module);
    return module != nullptr;
}

PluginInfo HeadlessHost::pluginInfo() {
    PluginInfo info;
    std::memset(&info, 0xAB, sizeof info);
    getPluginInfo_(&info);
    return info;
}

unsigned HeadlessHost::beeps() const {
    return ZpConsoleBellCount() - beepsAtStart_;
}

void HeadlessHost::DrawCommandLine() {
    size_t cursor = 0;
    std::string shown = VisibleLine(Width, &cursor);
    ZpConsoleClear();
    ZpConsoleWrite(0, CommandRow, shown.c_str(), static_cast<int>(shown.size()));
    if (!rowBelow.empty())
        ZpConsoleWrite(0, CommandRow + 1, rowBelow.c_str(), static_cast<int>(rowBelow.size()));
    ZpConsoleSetCursor(static_cast<int>(cursor), CommandRow);
}

} // namespace testhost
