#include "run.h"

#include <curses.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "screen.h"
#include "shell.h"
#include "spawn.h"
#include "stop_signals.h"
#include "terminal.h"

namespace shell {

namespace {

constexpr size_t ChunkSize = 64 << 10;  // read at most this much between two looks at the keys
constexpr long FrameMilliseconds = 40;  // the screen is drawn at most this often while output flows
constexpr long DrainMilliseconds = 200; // output still on its way after the last program ended
constexpr long KillAfterMilliseconds = 1000; // a program that outlives its SIGINT this long
                                             // may be killed by the next ^C
constexpr int StopForGood = KEY_F(12);       // SIGKILL to the programs, whatever they do with ^C

pid_t running = -1; // the process group of the line now running

long Milliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// Whether ^C typed on the pty becomes SIGINT: the programs may have turned that off
// and read it as a key (vim).
bool InterruptIsSignal(int master) {
    termios settings;
    return tcgetattr(master, &settings) == 0 && (settings.c_lflag & ISIG) &&
           settings.c_cc[VINTR] == 3;
}

void ResizeTerminal(int master, ProgramTerminal& terminal) {
    winsize size = {};
    size.ws_row = static_cast<unsigned short>(screen::Height());
    size.ws_col = static_cast<unsigned short>(screen::Width());
    terminal.Resize(screen::Height(), screen::Width());
    ioctl(master, TIOCSWINSZ, &size);
}

} // namespace

void SignalRunning(int sig) {
    if (running > 0) kill(-running, sig);
}

int RunPipeline(const Pipeline& pipeline, bool* interrupted) {
    *interrupted = false;
    Job job;
    if (!StartJob(pipeline, screen::Height(), screen::Width(), &job)) return -1;
    running = job.leader;
    ProgramTerminal terminal(screen::Height(), screen::Width(), job.master);

    int status = -1;
    bool ended = false, outputOpen = true;
    long drainUntil = -1, lastFrame = 0;
    long interruptedAt = -1; // when ^C last became SIGINT
    std::vector<char> chunk(ChunkSize);
    for (;;) {
        HonourStopSignal();
        if (!ended && waitpid(job.leader, &status, WNOHANG) == job.leader) {
            ended = true;
            drainUntil = Milliseconds() + DrainMilliseconds;
        }
        // Done once the programs have ended and their output is read; a job they left
        // behind may hold the terminal open for long, and is not waited for.
        if (ended && (!outputOpen || Milliseconds() >= drainUntil)) break;

        int keyWait = 0;
        if (outputOpen) {
            pollfd watch = {job.master, POLLIN, 0};
            const long wait = ended ? std::max(0L, drainUntil - Milliseconds()) : 20;
            if (poll(&watch, 1, static_cast<int>(wait)) > 0) {
                const ssize_t n = read(job.master, chunk.data(), chunk.size());
                if (n > 0)
                    terminal.Feed(chunk.data(), static_cast<size_t>(n));
                else if (n == 0 || errno != EINTR)
                    outputOpen = false; // EIO: no program holds the terminal any more
            }
        } else {
            keyWait = 20; // nothing more to read: wait for the programs or a key
        }
        const long now = Milliseconds();
        if (interruptedAt >= 0 && now - interruptedAt >= KillAfterMilliseconds && !ended &&
            Shell.notice.empty())
            Notice("^C again stops it for good");
        screen::Key key;
        while (screen::ReadKeyWithin(keyWait, &key)) {
            keyWait = 0;
            if (key.special && key.code == KEY_RESIZE) {
                ResizeTerminal(job.master, terminal);
            } else if (key.special && key.code == StopForGood) {
                *interrupted = true;
                SignalRunning(SIGKILL);
            } else if (!key.special && key.code == 3 && interruptedAt >= 0 &&
                       now - interruptedAt >= KillAfterMilliseconds) {
                SignalRunning(SIGKILL);
            } else {
                if (!key.special && key.code == 3 && InterruptIsSignal(job.master)) {
                    *interrupted = true;
                    if (interruptedAt < 0) interruptedAt = now;
                }
                terminal.Key(key);
            }
        }
        if (Milliseconds() - lastFrame >= FrameMilliseconds) {
            terminal.Draw();
            screen::Render();
            lastFrame = Milliseconds();
        }
    }
    running = -1;
    close(job.master);
    terminal.Finish();
    Shell.notice.clear();
    return status;
}

} // namespace shell
