// What the shell tells about itself: its options, its keys and its built-in commands,
// one text for `zarelin-shell --help` and the `help` command alike.
#pragma once

namespace shell {

// The usage line and the options: what a wrong command line is answered with.
extern const char UsageText[];
// UsageText, then the keys and the built-in commands (UTF-8, lines ending in '\n').
extern const char HelpText[];

} // namespace shell
