// The "Palette" window (see palette_window.h). Paint and click share the
// grid geometry: cells start one pixel in from the top-left, and a click
// outside them or on a cell past the colour count does nothing.
#include "viewer/palette_window.h"

#include <cstdio>

#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "viewer/color_picker.h"
#include "viewer/frame_dialog.h"

static const char HELP_FILE[] = "RODadi.zoz";

void palette_grid_shape(uint32_t clr_used, int bit_count, int* bits, int* count, int* rows, int* columns)
{
    static const int SHAPES[9][2] = {{1, 1}, {1, 2}, {2, 2}, {2, 4}, {4, 4}, {4, 8}, {8, 8}, {8, 16}, {16, 16}};
    int b = bit_count;
    int n;
    if (clr_used) {
        b = 1;
        while (b < 8 && (1u << b) < clr_used)
            ++b;
        n = clr_used > 256 ? 256 : (int)clr_used;
    } else {
        b = b < 1 ? 1 : b > 8 ? 8 : b;
        n = 1 << b;
    }
    *bits = b;
    *count = n;
    *rows = SHAPES[b][0];
    *columns = SHAPES[b][1];
}

int palette_grid_cell(int at, int size, int n)
{
    if (n < 1 || size < 2)
        return -1;
    for (int i = 0; i < n; ++i) {
        int first = i * (size - 1) / n + 1, last = (i + 1) * (size - 1) / n;
        if (at >= first && at <= last)
            return i;
    }
    return -1;
}

struct GridFacts {
    int bits, count, rows, columns;
};

static bool grid_facts(HGLOBAL hDib, GridFacts* g)
{
    const BITMAPINFOHEADER* bih = hDib ? (const BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih)
        return false;
    bool table = bih->biBitCount <= 8;
    if (table) {
        palette_grid_shape(bih->biClrUsed, bih->biBitCount, &g->bits, &g->count, &g->rows, &g->columns);
        // Never more cells than the table really holds.
        if ((uint32_t)g->count > dib_color_count(bih))
            g->count = (int)dib_color_count(bih);
    }
    GlobalUnlock(hDib);
    return table;
}

// ---- handlers

static LRESULT palette_on_create(HWND hwnd)
{
    g_hwndPalette = hwnd;
    if (is_window_open(g_hwndFrameDlg) || is_window_open(g_hwndText))
        return 0;
    g_paletteFindNearest = 0;
    HMENU menu = GetMenu(hwnd);
    if (menu) {
        AppendMenuA(menu, MF_STRING, IDM_PALETTE_HELP, "&Help");
        DrawMenuBar(hwnd);
    }
    return 0;
}

static LRESULT palette_on_destroy(HWND hwnd)
{
    if (g_hwndPalette == hwnd)
        g_hwndPalette = NULL;
    return 0;
}

// The transparent entry can be asked for only while it lies in the table.
static bool transparent_entry_usable(void)
{
    GridFacts g;
    return g_hasTransparency && g_colorConversion == 0 && grid_facts(palette_image(), &g) &&
           g_transparentIndex < g.count;
}

static LRESULT palette_on_initmenu(HMENU menu)
{
    EnableMenuItem(menu, IDM_PALETTE_TRANSPARENT, transparent_entry_usable() ? MF_ENABLED : MF_GRAYED);
    return 0;
}

static LRESULT palette_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    HGLOBAL image = palette_image();
    GridFacts g;
    BITMAPINFOHEADER* bih = grid_facts(image, &g) ? (BITMAPINFOHEADER*)GlobalLock(image) : NULL;
    if (bih) {
        RECT c;
        GetClientRect(hwnd, &c);
        HPALETTE palette = create_dib_palette(bih, hwnd);
        HPALETTE old = palette ? SelectPalette(dc, palette, FALSE) : NULL;
        if (palette)
            RealizePalette(dc);
        const RGBQUAD* table = dib_color_table(bih);
        for (int r = 0; r < g.rows; ++r)
            for (int k = 0; k < g.columns; ++k) {
                int i = r * g.columns + k;
                if (i >= g.count)
                    continue;
                RECT cell = {k * (c.right - 1) / g.columns + 1, r * (c.bottom - 1) / g.rows + 1,
                             (k + 1) * (c.right - 1) / g.columns + 1, (r + 1) * (c.bottom - 1) / g.rows + 1};
                COLORREF colour = palette ? PALETTEINDEX(i) : RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue);
                HBRUSH fill = CreateSolidBrush(colour);
                FillRect(dc, &cell, fill);
                DeleteObject(fill);
            }
        if (palette) {
            SelectPalette(dc, old, FALSE);
            DeleteObject(palette);
        }
        GlobalUnlock(image);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

static LRESULT palette_on_lbuttondown(HWND hwnd, int x, int y)
{
    GridFacts g;
    if (!grid_facts(palette_image(), &g))
        return 0;
    RECT c;
    GetClientRect(hwnd, &c);
    int r = palette_grid_cell(y, c.bottom, g.rows), k = palette_grid_cell(x, c.right, g.columns);
    if (r < 0 || k < 0 || r * g.columns + k >= g.count)
        return 0;
    g_paletteEditIndex = r * g.columns + k;
    run_color_picker(hwnd, picker_template_for_entry());
    return 0;
}

// Nearest entry of the palette image to a colour.
static int nearest_to(COLORREF colour)
{
    HGLOBAL image = palette_image();
    BITMAPINFOHEADER* bih = image ? (BITMAPINFOHEADER*)GlobalLock(image) : NULL;
    int index = 0;
    if (bih) {
        HPALETTE palette = create_dib_palette(bih, g_hwndMain);
        if (palette) {
            index = (int)GetNearestPaletteIndex(palette, colour);
            DeleteObject(palette);
        }
        GlobalUnlock(image);
    }
    return index;
}

static LRESULT palette_on_command(HWND hwnd, int id)
{
    switch (id) {
    case IDM_PALETTE_NEAREST:
        g_paletteFindNearest = 1;
        run_color_picker(hwnd, get_display_bit_depth() > 8 ? "PALETTE_COLOR_BIG" : "PALETTE_COLOR");
        break;
    case IDM_PALETTE_BRIGHTEST:
    case IDM_PALETTE_DARKEST:
        g_paletteEditIndex = nearest_to(id == IDM_PALETTE_BRIGHTEST ? RGB(255, 255, 255) : RGB(0, 0, 0));
        run_color_picker(hwnd, picker_template_for_entry());
        break;
    case IDM_PALETTE_TRANSPARENT:
        if (transparent_entry_usable()) {
            g_paletteEditIndex = g_transparentIndex;
            run_color_picker(hwnd, picker_template_for_entry());
        }
        break;
    case IDM_PALETTE_EXIT:
        DestroyWindow(hwnd);
        break;
    case IDM_PALETTE_HELP:
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, 101);
        break;
    }
    return 0;
}

// A click or menu command opens the colour picker, whose OK edits the
// picture: none while a command works on the shown file, unless this
// window is the colour chooser of the tool that holds it.
static bool is_turned_away(HWND hwnd, UINT msg)
{
    return (msg == WM_LBUTTONDOWN || msg == WM_COMMAND) && file_hold_turns_away(hwnd);
}

LRESULT CALLBACK palette_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (is_turned_away(hwnd, msg))
        return 0;
    switch (msg) {
    case WM_CREATE:      return palette_on_create(hwnd);
    case WM_DESTROY:     return palette_on_destroy(hwnd);
    case WM_CLOSE:       DestroyWindow(hwnd); return 0;
    case WM_INITMENU:    return palette_on_initmenu((HMENU)wp);
    case WM_PAINT:       return palette_on_paint(hwnd);
    case WM_LBUTTONDOWN: return palette_on_lbuttondown(hwnd, (short)LOWORD(lp), (short)HIWORD(lp));
    case WM_COMMAND:     return palette_on_command(hwnd, LOWORD(wp));
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// ---- opening

static void create_palette_window(const char* title, int x, int y, int width, int height, bool centre)
{
    if (is_window_open(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, style, TRUE);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (centre) {
        x -= w / 2;
        y -= h / 2;
    }
    g_hwndPalette = CreateWindowExA(0, "Palette", title, style, x, y, w, h, NULL, NULL, g_hInstance, NULL);
}

// The Display Palette window's title for the picture shown; 0 when the
// picture has no colour table to show.
static int display_palette_title(char (&title)[27], GridFacts* g)
{
    if (g_imageKind != KIND_DIB || !grid_facts(palette_image(), g))
        return 0;
    std::snprintf(title, sizeof title, "Image Palette (%d Colors)", g->count);
    return 1;
}

void open_palette_window(HWND over)
{
    g_hwndFrameDlg = NULL;
    GridFacts g;
    char title[27];
    if (!display_palette_title(title, &g))
        return;
    int side = GetSystemMetrics(SM_CXSCREEN) / 2;
    RECT r;
    if (!over || !GetWindowRect(over, &r))
        SetRect(&r, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    create_palette_window(title, (r.left + r.right) / 2, (r.top + r.bottom) / 2, side,
                          g.bits % 2 ? side / 2 : side, true);
}

void open_palette_chooser(const char* title, int x, int y, int width, int height)
{
    create_palette_window(title, x, y, width, height, false);
    // The tool that asks for a colour holds the shown file: its chooser is
    // its own window.
    file_hold_spare(g_hwndPalette);
}

void refresh_palette_window(void)
{
    // A tool's colour chooser holds the file: no reload comes under it.
    if (!is_window_open(g_hwndPalette) || is_window_open(g_hwndFrameDlg) || is_window_open(g_hwndText))
        return;
    GridFacts g;
    char title[27];
    if (!display_palette_title(title, &g)) {
        DestroyWindow(g_hwndPalette);
        return;
    }
    SetWindowTextA(g_hwndPalette, title);
    InvalidateRect(g_hwndPalette, NULL, TRUE);
}
