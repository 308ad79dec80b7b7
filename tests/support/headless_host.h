// A host without a screen: it loads libzarelin.so through its entry points and draws
// its command line into the platform layer's console buffer, so that tests drive the
// commands as a user would.
#pragma once

#include <string>

#include "scripted_host.h"

namespace testhost {

class HeadlessHost : public ScriptedHost {
  public:
    // Loads the module and hands it the startup record; `registryRoot` is the host's
    // key below HKEY_CURRENT_USER. Without `matchService` the module matches names
    // with its own match.
    explicit HeadlessHost(const std::string& registryRoot = "Software\\ZarelinTestHost",
                          bool matchService = true);
    // A host that lacks the services `services` leaves out.
    HeadlessHost(const std::string& registryRoot, HostServices services);
    ~HeadlessHost() override; // ClosePlugin, then unloads the module

    // The record GetPluginInfo filled, over bytes set to 0xAB beforehand.
    PluginInfo pluginInfo();

    // Whether the module is still in the process: after its host is gone, while a
    // worker of its own still holds it.
    static bool ModuleLoaded();

    // Beeps heard since the host started.
    unsigned beeps() const;

    void DrawCommandLine() override;

  private:
    void* module_ = nullptr;
    GetPluginInfoFn getPluginInfo_ = nullptr;
    unsigned beepsAtStart_ = 0;
};

} // namespace testhost
