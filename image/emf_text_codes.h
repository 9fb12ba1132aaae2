// Text in the code pages a Windows metafile holds it in. A Windows
// metafile's text is bytes in the code page of its font's character set;
// a conversion that writes a text in one that cannot hold its characters
// writes question marks. The program's own conversion (emf_to_wmf.h)
// chooses a character set that holds the text, and the renderer checks
// the text of the system's conversion.
#pragma once

#include <windows.h>
#include <stdint.h>

// A character set whose code page holds every one of the count characters
// of text, the font's own (own) first, and the text in it: *chosen, the
// bytes (room for count * 2) and, for each byte, the character it belongs
// to; *byte_count of them. False when no character set holds the text.
bool encode_in_charset(const WCHAR* text, int count, BYTE own, BYTE* chosen, char* bytes, int* owner,
                       int* byte_count);

// Whether the text of a Windows metafile made of the enhanced one keeps
// its characters: characters a code page cannot hold come back as
// question marks, which a small caption in a large picture hides from the
// comparison. False when the size bytes of the Windows metafile's records
// hold more question marks in their text than the enhanced one's.
bool wmf_text_keeps_characters(HENHMETAFILE emf, const BYTE* wmf, uint32_t size);
