#include "help.h"

namespace shell {

#define ZARELIN_USAGE                                                                              \
    "usage: zarelin-shell [--module PATH] [--root DIR] [--network FILE]\n"                         \
    "  --module PATH   the module to load (default: libzarelin.so beside the shell)\n"             \
    "  --root DIR      the directory drive C: stands for (default: /)\n"                           \
    "  --network FILE  the network to complete servers and shares from (default:\n"                \
    "                  $ZARELIN_NETWORK): a JSON file of domains, servers and their\n"             \
    "                  shares, each share a local folder or a real SMB server's; its\n"            \
    "                  format is in docs/network.md, an example in\n"                              \
    "                  examples/network/network.json\n"                                            \
    "  --help, -h      this text\n"

const char UsageText[] = ZARELIN_USAGE;

// Kept to 80 columns: it is read in a terminal and above the prompt alike.
const char HelpText[] = ZARELIN_USAGE
    "\n"
    "Keys at the command line:\n"
    "  Tab                the next name that completes the word at the cursor\n"
    "  Shift+Tab          the previous name\n"
    "  Ctrl+Space         the list of the names that complete it\n"
    "  F11                the module's menu: its commands and options\n"
    "  Enter              runs the line\n"
    "  Up, Down           the lines run before, one by one; Down past the newest\n"
    "                     gives back the line being typed\n"
    "  F7                 the lines run before, in a list: Enter puts one on the line\n"
    "  F8                 the newest line run before that begins as the line does up\n"
    "                     to the cursor; F8 again, the one before it\n"
    "  Shift+PageUp       the output above, a screen further back (PageUp too when\n"
    "                     the line is empty); any other key goes back to the prompt\n"
    "  Shift+PageDown     a screen further on (PageDown too when the line is empty)\n"
    "  Left, Right, ^B, ^F  a character left, right\n"
    "  Home, End, ^A, ^E  the start, the end of the line\n"
    "  Backspace, Del     deletes the character before, at the cursor\n"
    "  Esc, ^U            clears the line\n"
    "  ^C                 clears the line\n"
    "  F4                 edits the file the word at the cursor names, or one asked\n"
    "                     for: the completion keys work in it, F2 saves, Esc or F10\n"
    "                     closes it\n"
    "  F10                quits\n"
    "\n"
    "While a line runs, its programs have the terminal and every key:\n"
    "  ^C                 SIGINT, as a terminal sends it (a program may read it as a\n"
    "                     key); a second later, the next ^C kills them (SIGKILL)\n"
    "  F12                kills them at once, whatever they do with ^C\n"
    "\n"
    "Built-in commands:\n"
    "  cd, chdir [PATH]   shows or changes the current directory (cd.. as well)\n"
    "  dir [PATH]         lists a folder, or the names a pattern matches\n"
    "  type FILE...       shows files\n"
    "  cls                clears the output above the prompt\n"
    "  help               shows this text\n"
    "  exit               quits\n"
    "Any other command runs a program; the lines run are kept in\n"
    "$XDG_STATE_HOME/zarelin/history.\n";

#undef ZARELIN_USAGE

} // namespace shell
