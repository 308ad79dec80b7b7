// Small text routines over zero-terminated 8-bit strings in fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarelin {

// Copies at most `length` bytes of `source` (less if it ends sooner) into `target` of
// `size` bytes and always terminates it. Returns false, with `target` holding the
// part that fits, when the text had to be cut.
bool CopyBounded(char* target, size_t size, const char* source, size_t length = SIZE_MAX);

// Appends `source` to the text in `target` of `size` bytes; false when it did not fit
// whole (the target then holds as much as fits).
bool AppendBounded(char* target, size_t size, const char* source, size_t length = SIZE_MAX);

// Index of the first character of `text` that occurs in `set`, or the length of
// `text` when there is none.
int32_t SpanUntil(const char* text, const char* set);

// Orders names for the list menu and compares extensions: each byte read as signed,
// with bit 5 cleared, so letters compare without regard to case and bytes 0x80-0xFF
// sort first. Never reads past either terminator; a space folds to the terminator's
// value, so 'a b' equals 'a'.
int32_t CompareNames(const char* a, const char* b);

// The order the list menu is sorted in: CompareNames, with the ties it leaves between
// a name's end and a space broken (the end first), so that the order is a strict weak
// ordering as sorting requires. CompareNames alone is not one: 'a' ties with 'a b'
// and with 'a c', which do not tie with each other.
bool NameLess(const char* a, const char* b);

} // namespace zarelin
