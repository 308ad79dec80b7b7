// A line's programs, started on a pseudo-terminal of their own: a job leader in a
// session whose terminal is the pty starts each program of the pipeline in its
// process group, the terminal's foreground group, and ends as the last one ends.
#pragma once

#include <sys/types.h>

#include <string>

#include "command_line.h"

namespace shell {

struct Job {
    pid_t leader = -1; // also the process group of every program of the job
    int master = -1;   // the pty's master: the programs' output, the keys for them
    int slave = -1;    // the shell's own end of the pty, to take back the keys left unread
};

// Starts the programs of `pipeline` on a new pty of `rows` x `cols`. False, having
// said why in the output, when a program cannot be found or nothing could start; no
// file is opened then.
bool StartJob(const Pipeline& pipeline, int rows, int cols, Job* job);

// Once the programs have ended: how many bytes of what was typed for them they left
// unread on their terminal, the last ones typed (emptying the terminal's input).
size_t TakeUnread(int slave);

// cmd's two lines for a program that is not there.
std::string NotRecognized(const std::string& name);

} // namespace shell
