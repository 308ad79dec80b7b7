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
#include <deque>
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

constexpr size_t SentKeysKept = 4096; // as many as a terminal's input holds

pid_t running = -1; // the process group of the line now running

// A key that went to the programs, and the bytes it took on their terminal.
struct SentKey {
    screen::Key key;
    size_t bytes;
};

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
    long interruptedAt = -1;             // when ^C last became SIGINT
    std::deque<SentKey> sent;            // the last keys that went to the programs
    std::vector<screen::Key> typedAhead; // keys for the prompt that comes back
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
            // Once the programs have ended, what they wrote is there at once: a pause
            // in the output ends the wait.
            pollfd watch = {job.master, POLLIN, 0};
            const long wait = ended ? std::min(20L, std::max(0L, drainUntil - Milliseconds())) : 20;
            if (poll(&watch, 1, static_cast<int>(wait)) > 0) {
                const ssize_t n = read(job.master, chunk.data(), chunk.size());
                if (n > 0)
                    terminal.Feed(chunk.data(), static_cast<size_t>(n));
                else if (n == 0 || errno != EINTR)
                    outputOpen = false;
            } else if (ended) {
                outputOpen = false;
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
            } else if (ended) {
                typedAhead.push_back(key);
            } else {
                if (!key.special && key.code == 3 && InterruptIsSignal(job.master)) {
                    *interrupted = true;
                    if (interruptedAt < 0) interruptedAt = now;
                }
                sent.push_back({key, terminal.Key(key)});
                if (sent.size() > SentKeysKept) sent.pop_front();
            }
        }
        if (Milliseconds() - lastFrame >= FrameMilliseconds) {
            terminal.Draw();
            screen::Render();
            lastFrame = Milliseconds();
        }
    }
    running = -1;
    // What the programs left unread was typed ahead for the prompt, as on a console
    // whose programs and shell share the terminal.
    size_t unread = TakeUnread(job.slave), keys = 0;
    for (size_t bytes = 0;
         keys < sent.size() && bytes + sent[sent.size() - 1 - keys].bytes <= unread;)
        bytes += sent[sent.size() - 1 - keys++].bytes;
    for (size_t i = sent.size() - keys; i < sent.size(); ++i)
        screen::TypeAhead(sent[i].key);
    for (const screen::Key& key : typedAhead)
        screen::TypeAhead(key);
    close(job.slave);
    close(job.master);
    terminal.Finish();
    Shell.notice.clear();
    return status;
}

} // namespace shell
