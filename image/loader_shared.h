// What the readers that the selected-file loader calls take back from it:
// the identities of files, the reader table's pixels per byte, the
// identification handle and the palette of the shown picture. Held apart
// from loader.h so that no reader includes the loader that includes it.
// All of it is defined in loader.cpp.
#pragma once

#include <windows.h>
#include <stdint.h>

extern HFILE g_hFile;                // identification handle (kept by animations)
extern HPALETTE g_hPalette;          // palette of the shown image or animation

// What the first bytes and the extension say the file is.
enum FileIdentity {
    IDENT_BMP, IDENT_GIF, IDENT_JPEG, IDENT_J2K, IDENT_JP2, IDENT_SUN_RASTER, IDENT_PNM,
    IDENT_PCX, IDENT_TIFF, IDENT_PNG, IDENT_IFF, IDENT_RIFF, IDENT_MIDI, IDENT_QUICKTIME,
    IDENT_MP3, IDENT_ASF, IDENT_ICON, IDENT_SUN_ICON, IDENT_PLACEABLE_WMF, IDENT_WMF,
    IDENT_EMF, IDENT_TARGA, IDENT_JBIG, IDENT_MPEG, IDENT_MACBINARY_GIF, IDENT_MACBINARY_TIFF,
    IDENT_UNKNOWN,
};

// The reader table's pixels per byte of an identity (pixel_ceiling.h); 0
// for formats that hold no pixels of their own.
uint32_t reader_pixels_per_byte(int identity);
