// The host's side of the simulated network.
#pragma once

#include "win32.h"

// The local directory that stands for the share \\server\share, for the file search
// (a path such as \\server\share\dir\* lists that directory below it). Names are in
// UTF-8 and compared without regard to letter case. Copies the directory, zero-
// terminated, into `dir` of `dirSize` bytes; false when the share is not known (the
// search then fails as it does for an unreachable share) or the path did not fit.
ZARELIN_PLATFORM_API bool ZpShareDirectory(const char* server, const char* share, char* dir,
                                           size_t dirSize);
