// Sun icons: the text format of a C comment header ("depth=", "width=",
// "height=", "valid_bits_per_item=") followed by 16-bit items in hex.
#pragma once

#include <windows.h>

// Reads the Sun icon at path; 1 bit (white, black) or 8 bits. Null after
// the reader's message.
HGLOBAL read_sun_icon_file(HWND owner, const char* path, char* info);
