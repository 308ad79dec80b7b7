// The Windows test program's start. Under Wine it makes sure that this program loads
// the NETAPI32 and svrapi doubles rather than Wine's own stubs: Wine reads a program's
// DLL overrides from the registry when the process starts, so the first run writes
// them and runs the program again, once, with the same arguments.
#include <gtest/gtest.h>

#include "wine_network.h"

int main(int argc, char** argv) {
    if (winhost::UnderWine() && !winhost::DoublesOverridden())
        return winhost::RunAgainWithDoubles();
    winhost::UseDoubles();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
