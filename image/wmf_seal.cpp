// Sealing Windows-metafile bits (see wmf_seal.h). The bits are mended in
// place, within the room the caller gives: nothing is read or written past
// it, and a picture the rules cut gives 0.
#include "image/wmf_seal.h"

#include "image/byte_order.h"
#include "image/emf_check.h"

#include <string.h>

// A font record's bytes with its face name whole: the header's six, then
// the parameters the player reads.
enum { WMF_FONT_RECORD_BYTES = META_RECORD_HEAD_BYTES + WMF_FONT_PARAM_BYTES };

static bool is_short_font_record(uint16_t function, uint32_t bytes)
{
    return function == META_CREATEFONTINDIRECT && bytes < WMF_FONT_RECORD_BYTES;
}

// What a create left out is replaced by: a null brush, which the player
// always makes, in the slot the file's object would have taken. No record
// kept selects it or draws with it. One written where a shorter record
// stood is its head alone until the records are grown (its brush record
// is shorter than any the rules keep).
enum { STAND_IN_BYTES = META_RECORD_HEAD_BYTES + 8 };

static uint32_t put_stand_in(BYTE* at, uint32_t room)
{
    uint32_t bytes = room < STAND_IN_BYTES ? (uint32_t)META_RECORD_HEAD_BYTES : (uint32_t)STAND_IN_BYTES;
    memset(at, 0, bytes);
    put_le32(at, bytes / 2);
    put_le16(at + 4, META_CREATEBRUSHINDIRECT);
    if (bytes == STAND_IN_BYTES)
        put_le16(at + META_RECORD_HEAD_BYTES, BS_NULL);
    return bytes;
}

// The bytes a record kept is handed over in: a font record whose face name
// ends early, and a stand-in's head, grown whole; any other as it stands.
static uint32_t whole_record_bytes(uint16_t function, uint32_t bytes)
{
    if (is_short_font_record(function, bytes))
        return WMF_FONT_RECORD_BYTES;
    if (function == META_CREATEBRUSHINDIRECT && bytes < STAND_IN_BYTES)
        return STAND_IN_BYTES;
    return bytes;
}

uint64_t wmf_seal_room(const BYTE* bits, uint32_t size)
{
    uint64_t room = size;
    if (size >= WMF_HEADER_SIZE)
        walk_wmf_records(bits, size, [&](uint32_t, uint32_t words, uint16_t function) {
            if (is_short_font_record(function, words * 2))
                room += WMF_FONT_RECORD_BYTES - words * 2;
            else if (wmf_function_creates(function) && words * 2 < STAND_IN_BYTES)
                room += STAND_IN_BYTES - words * 2;
            return true;
        });
    return room;
}

// Grows each record among the kept bytes at bits (records from the header
// to kept) that is handed over whole in more bytes (whole_record_bytes):
// a font record's name field filled out with zeros, a stand-in's head
// made the whole stand-in, the records after it moved down. grown: the
// bytes that adds, with room at bits for kept + grown. The records are
// first moved up by grown, then copied back down one by one: what is
// written never passes what is still to be read.
static void grow_records(BYTE* bits, uint32_t kept, uint32_t grown)
{
    const uint32_t body = kept - WMF_HEADER_SIZE;
    memmove(bits + WMF_HEADER_SIZE + grown, bits + WMF_HEADER_SIZE, body);
    uint32_t read = WMF_HEADER_SIZE + grown, write = WMF_HEADER_SIZE;
    while (read < kept + grown) {
        uint32_t bytes = get_le32(bits + read) * 2;
        uint16_t function = get_le16(bits + read + 4);
        memmove(bits + write, bits + read, bytes);
        read += bytes;
        uint32_t whole = whole_record_bytes(function, bytes);
        if (function == META_CREATEBRUSHINDIRECT && whole > bytes) {
            put_stand_in(bits + write, whole);
        } else if (whole > bytes) {
            memset(bits + write + bytes, 0, whole - bytes);
            put_le32(bits + write, whole / 2);
        }
        write += whole;
    }
}

uint32_t seal_wmf_records(BYTE* bits, uint32_t size, uint64_t room)
{
    if (size < WMF_HEADER_SIZE || room < wmf_seal_room(bits, size))
        return 0;
    uint16_t type = get_le16(bits);
    if ((type != META_TYPE_MEMORY && type != META_TYPE_DISK) ||
        get_le16(bits + 2) != META_HEADER_WORDS)
        return 0;
    WmfObjectState* table = begin_wmf_objects(get_le16(bits + 10));
    if (!table)
        return 0;
    uint32_t kept = WMF_HEADER_SIZE;    // end of the records kept
    uint32_t largest = 3;
    uint32_t grown = 0;                 // bytes the records kept gain when grown whole
    // Records only move down over those left out while they are walked:
    // none is read after the bytes before it were rewritten.
    bool ended = walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t words, uint16_t function) {
        uint32_t bytes = words * 2;
        WmfRecordFate fate =
            function == 0 ? WMF_KEEP : wmf_record_fate(function, bits + offset + 6, bytes - 6, table);
        // A shape its rule leaves out, or one drawn with an object left
        // out: what would be shown is not the picture, which is cut as one
        // whose records run off the data.
        if (fate == WMF_CUT)
            return false;
        if (fate == WMF_STAND_IN) {
            bytes = put_stand_in(bits + kept, bytes);
            function = META_CREATEBRUSHINDIRECT;
        } else if (fate == WMF_KEEP) {
            memmove(bits + kept, bits + offset, bytes);
        } else {
            return true;
        }
        kept += bytes;
        uint32_t whole = whole_record_bytes(function, bytes);
        grown += whole - bytes;
        if (whole / 2 > largest)
            largest = whole / 2;
        return true;
    });
    end_wmf_objects(table);
    // Records that leave the data before their end record: the picture is
    // cut, and is not passed off as whole.
    if (!ended)
        return 0;
    // The system's player and its conversion read a font record's whole
    // face name wherever the name ends: a record that ends sooner is handed
    // over whole, on every road that takes these bytes; so is a stand-in
    // written where a shorter record stood.
    if (grown)
        grow_records(bits, kept, grown);
    kept += grown;
    // A memory metafile: the bits are not tied to a file name.
    put_le16(bits, META_TYPE_MEMORY);
    put_le32(bits + 6, kept / 2);
    put_le32(bits + 12, largest);
    return kept;
}

uint32_t put_box_window(BYTE* bits, uint32_t size, const RECT* box)
{
    enum { WINDOW_RECORD_WORDS = WMF_BOX_WINDOW_BYTES / 4 };
    if (size < WMF_HEADER_SIZE)
        return size;
    memmove(bits + WMF_HEADER_SIZE + WMF_BOX_WINDOW_BYTES, bits + WMF_HEADER_SIZE, size - WMF_HEADER_SIZE);
    // A record holds signed 16-bit values: a wider box is held at the
    // largest, which crops the picture's far side rather than turning it
    // over.
    LONG width = box->right - box->left, height = box->bottom - box->top;
    width = width < 1 ? 1 : width > 0x7FFF ? 0x7FFF : width;
    height = height < 1 ? 1 : height > 0x7FFF ? 0x7FFF : height;
    // Parameters stand in reverse order: y, then x.
    const WORD records[2][WINDOW_RECORD_WORDS] = {
        {WINDOW_RECORD_WORDS, 0, META_SETWINDOWORG, (WORD)box->top, (WORD)box->left},
        {WINDOW_RECORD_WORDS, 0, META_SETWINDOWEXT, (WORD)height, (WORD)width},
    };
    BYTE* at = bits + WMF_HEADER_SIZE;
    for (const auto& record : records)
        for (WORD word : record) {
            put_le16(at, word);
            at += 2;
        }
    put_le32(bits + 6, get_le32(bits + 6) + WMF_BOX_WINDOW_BYTES / 2);
    return size + WMF_BOX_WINDOW_BYTES;
}
