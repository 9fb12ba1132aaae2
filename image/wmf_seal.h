// The sealing of Windows-metafile bits by the reading rules (wmf_check.h):
// every record is walked before GDI or the renderer sees the bits, and
// what breaks its rule is taken out, stood in for or cuts the picture. The
// readers of files and the clipboard (metafile.h) and the renderer
// (metafile_renderer.h) seal what they are given; the checked players are
// in metafile_play.h.
#pragma once

#include <windows.h>
#include <stdint.h>

enum { WMF_HEADER_SIZE = 18 };

// Header words of the fixed 18-byte metafile header, and the bytes of a
// record's head (size in words, function) and of the end record.
enum { META_TYPE_MEMORY = 1, META_TYPE_DISK = 2, META_HEADER_WORDS = 9, META_EOF_BYTES = 6 };
enum { META_RECORD_HEAD_BYTES = 6 };

// Walks the records of the size bytes of Windows-metafile bits at bits
// (header first) up to their end record; a record without a rule for its
// function, or breaking it, is taken out and the rest moved up over it
// (wmf_record_fate), but a create is replaced by a stand-in the player
// makes, which holds its object's slot: every object keeps the file's own
// number. A font record whose face name ends before its 32 bytes is grown
// to the whole record, as every reader of it takes all 32: room is the
// bytes at bits that may be written, at least wmf_seal_room. The header's
// type, size and largest record are made to match what GDI is given. Returns the byte count to
// hand to GDI; 0 when the header is not a metafile header, room is short,
// a record leaves the data before the end record, or a record that draws
// breaks its rule or draws with an object left out (the picture is cut).
// A blit of an old one-bit bitmap is handed over as the blit of a DIB in
// the colours the DC has there, which every road then keeps.
uint32_t seal_wmf_records(BYTE* bits, uint32_t size, uint64_t room);

// The room seal_wmf_records needs for the size bytes at bits: size, and
// what their short font and create records and mono blits would grow by.
uint64_t wmf_seal_room(const BYTE* bits, uint32_t size);

// A copy or conversion of a placeable picture carries no box: puts
// records setting the box (left, top, right, bottom) as the window before
// the records of the size bytes of Windows-metafile bits at bits,
// which have room for WMF_BOX_WINDOW_BYTES more, and counts them in the
// header. A box wider or taller than a record's 32767 gets its extent
// exactly through a scaling of the window. The new size.
enum { WMF_BOX_WINDOW_BYTES = 34 };
uint32_t put_box_window(BYTE* bits, uint32_t size, const RECT* box);

// Calls visit(offset, words, function) for each record of the size bytes at
// bits that chains in whole words from the header, up to and with the end
// record; true when the end record was reached. A visit that returns false
// stops the walk there (false).
template <typename Visit>
bool walk_wmf_records(const BYTE* bits, uint32_t size, Visit visit)
{
    for (uint32_t offset = WMF_HEADER_SIZE; size - offset >= META_EOF_BYTES;) {
        const BYTE* p = bits + offset;
        uint32_t words = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
        uint16_t function = (uint16_t)(p[4] | (p[5] << 8));
        if (words < 3 || words > (size - offset) / 2 || !visit(offset, words, function))
            return false;
        if (function == 0)
            return true;
        offset += words * 2;
    }
    return false;
}
