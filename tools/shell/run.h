// A line's programs run on a pseudo-terminal of their own (spawn.h), whose screen the
// shell keeps and shows (terminal.h) until the last of them ends.
#pragma once

#include "command_line.h"

namespace shell {

// Starts the programs of `pipeline` and runs their terminal until the last one ends:
// their output is read in bounded pieces between looks at the keys, and every key
// goes to them. ^C reaches them as a terminal delivers it: SIGINT to their process
// group where they left that on, a key where they turned it off. A program still
// running a second after its SIGINT is killed (SIGKILL) by the next ^C, and F12 kills
// the programs of the line at once, whatever they do with ^C.
// Returns the wait status of the last program, or -1 when nothing started (the output
// then says why). `interrupted` tells whether ^C became SIGINT or F12 was pressed.
int RunPipeline(const Pipeline& pipeline, bool* interrupted);

// Sends `sig` to the process group of the line now running, if any.
void SignalRunning(int sig);

} // namespace shell
