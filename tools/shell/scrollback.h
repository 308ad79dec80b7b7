// Browsing the output kept above the prompt, a screen at a time: Shift+PageUp and
// Shift+PageDown, and PageUp and PageDown while the command line is empty. Any other
// key goes back to the prompt and then does what it does there.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "screen.h"

namespace shell {

// Where the output [0, end) of `lines` stands when its line end - 1 is at the bottom of
// `rows` rows `width` columns wide, long lines wrapped: the first line shown, at least
// in part.
size_t FirstShown(const std::deque<std::string>& lines, size_t end, int rows, int width);
// The end a screen further back: the line above the first one wholly shown comes to
// the bottom, and no further back than the oldest line at the top.
size_t PageBack(const std::deque<std::string>& lines, size_t end, int rows, int width);
// The end a screen further on: the line below the bottom one comes to the top.
size_t PageOn(const std::deque<std::string>& lines, size_t end, int rows, int width);

// Pages through Shell.output for a paging key and returns true; any other key ends the
// browsing (a resize excepted) and is the caller's: false.
bool ScrollbackKey(const screen::Key& key);
// The end of the output on show: all of it unless browsing.
size_t ScrollbackEnd();
// What the key-label row says while browsing (OEM); empty otherwise.
std::string ScrollbackMarker();
// Teaches the terminal library the keys Shift+PageUp and Shift+PageDown send where
// the terminal's description does not name them (TERM=screen under tmux).
void DefineScrollKeys();

} // namespace shell
