// A helper thread that takes the first-write page faults of a freshly
// allocated image block on another core while the reader fills it: a fresh
// page costs its first writer a fault (several microseconds under Wine),
// which for a large picture is a good part of the decode. The helper walks
// the pages in the order the reader fills them, far faster, so the reader
// finds them present. Each touch is an atomic OR with 0, which keeps the
// byte's value whatever the reader writes there at the same moment.
#pragma once

#include <windows.h>
#include <stddef.h>

// Starts touching bytes [first, first + length), from the last page down
// when downward is set; null (nothing to wait for) when the block is small
// or no thread could be made. The block must stay where it is until
// finish_page_toucher returns.
HANDLE start_page_toucher(BYTE* first, size_t length, int downward);
// Waits for the helper and ends it; null is allowed.
void finish_page_toucher(HANDLE toucher);
