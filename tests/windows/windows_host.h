// A Windows console host for tests: it loads zarelin.dll with LoadLibraryA and draws its
// command line into a console screen buffer of its own, which the module finds as the
// standard output, as it finds the real host's.
#pragma once

#include <windows.h>

#include <string>

#include "scripted_host.h"

namespace winhost {

using namespace testhost;

class WindowsHost : public ScriptedHost {
  public:
    // Loads the module and hands it the startup record; `registryRoot` is the host's
    // key below HKEY_CURRENT_USER. Without `console` the host draws nothing and the
    // module finds no cursor, so it works at the line's end (under Wine every console
    // call is a round trip to another process, which a benchmark must leave out).
    explicit WindowsHost(const std::string& registryRoot, bool console = true);
    ~WindowsHost() override; // ClosePlugin, then FreeLibrary

    // True when the host has a console screen buffer to draw the command line into.
    bool hasConsole() const { return screen_ != INVALID_HANDLE_VALUE; }

    void DrawCommandLine() override;

  private:
    HMODULE module_ = nullptr;
    HANDLE screen_ = INVALID_HANDLE_VALUE;
    HANDLE savedOutput_ = nullptr;
};

// The module's file, next to the test program (or $ZARELIN_MODULE).
std::string ModulePath();

} // namespace winhost
