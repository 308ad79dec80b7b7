#include "fake_host.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "sources/bounded.h"

namespace fakehost {

Fake fake;

namespace {

HANDLE const SearchHandle = reinterpret_cast<HANDLE>(0x5EA7C4);

bool Fill(WIN32_FIND_DATAA* data) {
    if (fake.next >= fake.listing.size()) return false;
    const Entry& e = fake.listing[fake.next++];
    std::memset(data, 0, sizeof *data);
    std::strncpy(data->cFileName, e.name.c_str(), sizeof data->cFileName - 1);
    std::strncpy(data->cAlternateFileName, e.shortName.c_str(),
                 sizeof data->cAlternateFileName - 1);
    data->dwFileAttributes = e.directory ? FILE_ATTRIBUTE_DIRECTORY : 0;
    return true;
}

HANDLE WINAPI FindFirst(const CHAR*, WIN32_FIND_DATAA* data) {
    fake.next = 0;
    if (!Fill(data)) return INVALID_HANDLE_VALUE;
    ++fake.searchesOpen;
    return SearchHandle;
}

BOOL WINAPI FindNext(HANDLE, WIN32_FIND_DATAA* data) {
    if (fake.failNextAfter == 0) return FALSE;
    if (fake.failNextAfter > 0) --fake.failNextAfter;
    return Fill(data);
}

BOOL WINAPI Close(HANDLE) {
    --fake.searchesOpen;
    return TRUE;
}

BOOL WINAPI CountBeep(UINT) {
    ++fake.beeps;
    return TRUE;
}

HANDLE WINAPI NoConsole(DWORD) {
    return INVALID_HANDLE_VALUE;
}

int32_t WINAPI Control(void*, int32_t command, void* param) {
    char* buffer = static_cast<char*>(param);
    if (command == HostGetCommandLine) {
        std::strncpy(buffer, fake.commandLine.c_str(), 1023);
        buffer[1023] = 0;
    } else if (command == HostSetCommandLine) {
        fake.commandLine = buffer;
    }
    return 1;
}

int32_t WINAPI Menu(int32_t, int32_t, int32_t, int32_t, uint32_t, const char*, const char*,
                    const char*, const int32_t*, int32_t*, const MenuItem* items, int32_t count) {
    fake.menuTexts.clear();
    for (int32_t i = 0; i < count; ++i)
        fake.menuTexts.push_back(items[i].Text);
    return fake.menuAnswer;
}

} // namespace

FakeHostScope::FakeHostScope() {
    fake = Fake{};
    zarelin::State.Init();
    zarelin::Host = StartupInfo{};
    zarelin::Host.HostControl = Control;
    zarelin::Host.HostMenu = Menu;
    zarelin::os.FindFirstFileA = FindFirst;
    zarelin::os.FindNextFileA = FindNext;
    zarelin::os.FindClose = Close;
    zarelin::os.MessageBeep = CountBeep;
    zarelin::os.GetStdHandle = NoConsole; // the cursor counts as the end of the line
}

FakeHostScope::~FakeHostScope() {
    zarelin::State.ResetSearch();
    // A worker of a network word may still be in the fakes: they stay until it ends.
    zarelin::State.AbandonCalls();
    while (zarelin::WorkersRunning() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    zarelin::OsRestoreDefaults();
    zarelin::Host = StartupInfo{};
}

} // namespace fakehost
