// SIGHUP and SIGTERM end the shell, but first an unsaved editor buffer is written to a
// recovery file and the programs the shell started are passed the signal. The next
// shell to start says where the buffer went.
#pragma once

#include <string>
#include <vector>

namespace shell {

// Catches SIGHUP and SIGTERM; call before the terminal is taken over, so that the
// terminal library leaves them to the shell.
void InstallStopSignals();

// Ends the shell now if a stop signal came. Called wherever the shell waits (for a
// key, for a program), never from the signal handler itself.
void HonourStopSignal();

// Whether a stop signal came and waits to be honoured. A signal that comes while the
// shell is busy is honoured at the next wait for a key; a loop that may run for long
// without waiting (over the entries of a large folder, say) checks this every few
// hundred steps, cheaply, and calls HonourStopSignal when it is true.
bool StopSignalPending();

// A descriptor that becomes readable when a stop signal comes (the read end of a pipe
// the handler writes to), or -1 before InstallStopSignals. A wait for a key watches it
// beside the terminal, so that no signal is left waiting behind a blocked read.
int StopSignalDescriptor();

// Ends the shell as a hangup does, unsaved edits kept: for a terminal that is gone.
[[noreturn]] void StopForLostTerminal();

// Notes what an earlier shell kept when a signal stopped it, to show at the start of
// this one; each note is given once.
std::vector<std::string> TakeRecoveryNotes();

// Files of the shell's own: $XDG_STATE_HOME/zarelin (~/.local/state/zarelin), made on
// first use; empty when it cannot be.
std::string StateDirectory();

} // namespace shell
