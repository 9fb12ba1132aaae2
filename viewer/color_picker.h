// The colour picker: one dialog procedure behind the templates
// "PALETTE_COLOR", "PALETTE_COLOR_BIG" and "PALETTE_COLOR_BIGGER". What it
// picks for (a palette entry, the frame, text or background colour, the
// merge key) follows from which windows exist when it opens; the palette
// window that lists the colour table is palette_window.h.
#pragma once

#include <windows.h>

extern int g_paletteEditIndex;    // colour-table index the picker works on
extern int g_paletteFindNearest;  // "Nearest Color" asked: find the entry first
// Text tool: 1 the picker chooses the text colour, 2 its background; the
// tool's colour swatch window, repainted after a choice.
extern int g_textColorTarget;
extern HWND g_hwndTextColor;

enum PickerPurpose {
    PICK_NEAREST,
    PICK_FRAME,
    PICK_TEXT,
    PICK_PALETTE_ENTRY,
    PICK_BACKGROUND,
    PICK_MERGE_KEY,
};

// The purpose from which windows are open, tested in that order.
int picker_purpose(int palette_open, int find_nearest, int frame_open, int text_open, int merge_open);

INT_PTR CALLBACK palette_color_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// Runs the picker modally with that template.
void run_color_picker(HWND owner, const char* template_name);
// The template the palette window opens for a clicked entry.
const char* picker_template_for_entry(void);

// The image whose colour table the palette window and the picker show and
// edit: g_hImage while the frame dialog or text tool is open, without an
// unconverted copy or while a conversion is in force; else the copy.
HGLOBAL palette_image(void);
// A palette entry's new colour (picked; open_color when the picker opened)
// and transparency (ticked; was_transparent at opening) put into the
// image's table and the current transparency. 1 when anything changed, 0
// when nothing did, -1 for an index outside the table (nothing written).
int apply_palette_entry_choice(HGLOBAL image, int index, COLORREF picked, COLORREF open_color, int ticked,
                               int was_transparent);
// Channel value of a field's expression, 0 to 255.
int picker_channel_value(char* text);
