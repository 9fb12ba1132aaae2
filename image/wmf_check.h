// The checks Windows metafile records pass before the system's player
// sees them, as emf_check.h's for enhanced ones: an allow-list of rules,
// one for each function the player acts on, in the tables of
// wmf_check.cpp, and the player's object table and saved states as the
// records meet them. The sealing of whole bits by them is wmf_seal.h's.
#pragma once

#include "image/record_check.h"

#include <windows.h>
#include <stdint.h>

// Whether records of the function draw on the device: a shape, text, a
// region or bits.
bool wmf_function_draws_on_device(uint16_t function);

// What a Windows-metafile text record draws (TextGlyphs), by its function
// and its param_bytes of parameters (within the record): text out, or
// extended text out of characters or glyph indices.
TextGlyphs wmf_text_glyphs(uint16_t function, const BYTE* params, uint32_t param_bytes);

// One Windows-metafile record by its function and its param_bytes of
// parameters, against the rule for its function; objects is the header's
// number of objects. False for a function without a rule.
bool wmf_record_is_sound(uint16_t function, const BYTE* params, uint32_t param_bytes, uint32_t objects);

// Whether a Windows-metafile region record's parameters (param_bytes of
// them) are sound but for the most rectangles the rules take, as a
// conversion's result may be.
bool wmf_region_passes_limit(const BYTE* params, uint32_t param_bytes);

// A font record's parameters in full: nine words, then a 32-byte face
// name, all of which the player reads. A record may end sooner when its
// face name ends within it.
enum { WMF_FONT_PARAM_BYTES = 50 };

// The player's object table as a Windows metafile's records meet it: each
// record that creates an object takes the first free slot, and the records
// that select, delete or draw with an object name its slot. A create left
// out for breaking its rule is replaced by a stand-in the player makes,
// which takes its slot, so that every object keeps the file's own number
// and no index is rewritten.
struct WmfObjectState;

// A table of the header's number of objects; null when memory is short.
// end_wmf_objects frees it.
WmfObjectState* begin_wmf_objects(uint32_t objects);
void end_wmf_objects(WmfObjectState* state);

// Whether records of the function make an object in the player's table.
bool wmf_function_creates(uint16_t function);

enum WmfRecordFate {
    WMF_KEEP,       // the player is given the record
    WMF_STAND_IN,   // a create left out: the player is given a stand-in that takes its slot
    WMF_LEAVE_OUT,  // it is taken out: it draws nothing, and what it set is accounted for
    WMF_CUT,        // it draws, and breaks its rule or draws with an object left out: the picture is cut
};

// One record by its function and its param_bytes of parameters, against
// its rule and the table the records before it left, which it then
// changes as the player would. The table follows the DC's states too,
// saved and restored: what is selected, and the text and background
// colours, which a fresh DC starts with.
WmfRecordFate wmf_record_fate(uint16_t function, const BYTE* params, uint32_t param_bytes, WmfObjectState* state);

// An old bitmap of one plane and one bit a pixel is blitted in the text
// and background colours of the DC, which a conversion to an enhanced
// metafile does not keep. For a sound record of the function with its
// param_bytes of parameters that blits one: the word its bitmap's fields
// start at (width, height, row bytes, planes, bits a pixel, then the
// rows); 0 for any other record.
uint32_t wmf_mono_bitmap_at(uint16_t function, const BYTE* params, uint32_t param_bytes);

// The colours such a blit kept by wmf_record_fate is drawn in, its last
// record: it keeps a blit only when the records left them known.
void wmf_mono_colors(const WmfObjectState* state, COLORREF* text, COLORREF* background);
