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

// Notes what an earlier shell kept when a signal stopped it, to show at the start of
// this one; each note is given once.
std::vector<std::string> TakeRecoveryNotes();

// Files of the shell's own: $XDG_STATE_HOME/zarelin (~/.local/state/zarelin), made on
// first use; empty when it cannot be.
std::string StateDirectory();

} // namespace shell
