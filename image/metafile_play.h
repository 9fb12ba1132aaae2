// The checked metafile players: every record is checked by the rule for its
// type with the state the records before it left, fonts and text are
// bounded by the glyph budgets, fills and pens by their cost, and each play
// by its time (play_budget.h). They call the system's player in this
// process, so only the metafile renderer (render_serve.cpp, in
// CorvaneRender.exe) and tests of the rules call them; the program plays
// through play_emf / play_wmf (metafile.h).
#pragma once

#include <windows.h>
#include <stdint.h>

// Each returns true when the play is whole: every record was played, or
// left out as one that draws nothing (a comment, a type the system's
// player takes as nothing on a display). False when the budget cut the
// play (its time, or text past the glyph budgets), when a record that
// draws or sets how later ones draw was left out for breaking its rule or
// for its cost (a fill too costly for the display, a font or pen that
// could not be made smaller), or when nothing could be played.

// Plays the enhanced metafile into rect of hdc. On a display or a printer,
// fonts are bounded to a size the device can draw, and the glyphs text
// draws by that size; on a display, fills of polygons and paths by their
// cost and pens by their width.
bool play_emf_in_process(HDC hdc, HENHMETAFILE emf, const RECT* rect);

// Plays the Windows metafile into hdc under its present mapping, with the
// same bounds.
bool play_wmf_in_process(HDC hdc, HMETAFILE wmf);

// The same, adding each record's words to *played_words as it goes.
bool play_wmf_records_in_process(HDC hdc, HMETAFILE wmf, volatile LONG* played_words);

// The same plays, keeping in *unit_pixels (to be set by the caller) the
// largest size in device pixels of one logical unit under the transforms
// and mappings the records set: where the picture's units are coarse, a
// conversion's rounding moves an edge by a unit.
bool play_emf_measuring_units(HDC hdc, HENHMETAFILE emf, const RECT* rect, double* unit_pixels);
bool play_wmf_measuring_units(HDC hdc, HMETAFILE wmf, double* unit_pixels);

// Makes and deletes the objects of the size bytes of a Windows metafile
// (sealed: seal_wmf_records) in hdc as a play or conversion of them would,
// drawing nothing: true when every record that creates an object made
// one. A conversion is given the records only then.
bool wmf_objects_are_made_in_process(HDC hdc, BYTE* bits, uint32_t size);
