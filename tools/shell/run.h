// Programs started from the command line, each with an argument vector of its own
// (posix_spawn: no interpreter reads the line), their output shown above the prompt.
#pragma once

#include "command_line.h"

namespace shell {

// Starts the programs of `pipeline` and shows their output until the last one ends,
// reading keys and reaping between bounded reads, so that ^C always reaches them:
// the first ^C sends SIGINT to each program's process group, the next one SIGKILL.
// Returns the last program's wait status, or -1 when nothing started (the output then
// says why). `interrupted` tells whether ^C was pressed.
int RunPipeline(const Pipeline& pipeline, bool* interrupted);

// Sends `sig` to the process groups of the pipeline now running, if any.
void SignalRunning(int sig);

} // namespace shell
