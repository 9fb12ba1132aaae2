// The batch window: scanning the list, the pages of thumbnails, selection,
// paging, opening a file and leaving (see batch_window.h). The blocks of
// the window (list indexes, names, selection states, lossless flags and the
// page's thumbnails) are made by the scan and freed when the window goes.
#include "viewer/batch_window.h"

#include <cstdio>
#include <cstring>

#include <commctrl.h>

#include "app/file_commands.h"
#include "app/file_list.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/file_names.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "tools/color_reduce.h"
#include "tools/quarter_turns.h"
#include "viewer/batch_operations.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

int* g_thumbIndex;
int g_thumbCount;
int g_thumbCols, g_thumbRows, g_thumbCells;
int g_thumbCellWidth, g_thumbCellHeight, g_thumbLeft, g_thumbTop;
int g_thumbFirst, g_thumbLast;
int* g_thumbSelected;
int g_thumbCurrent;
int g_batchFirstPaint, g_thumbsRedraw, g_thumbsErase;

static HGLOBAL g_hThumbIndex;     // owner of g_thumbIndex, locked while the window lives
static HGLOBAL g_hThumbSelected;  // owner of g_thumbSelected, locked likewise
static HGLOBAL g_hThumbLossless;  // int per cell: 1 for a lossless-coded file
static HGLOBAL g_hThumbCache;     // HGLOBAL per thumbnail of the page, first .. last
static HGLOBAL g_hThumbNames;     // MAX_PATH characters per thumbnail: its list text
static HMENU g_hThumbMenu;

static const char HELP_FILE[] = "RODadi.zoz";

// ---- geometry

int compute_thumb_grid(int client_width, int client_height, int status_height, ThumbGrid* g)
{
    int height = client_height - status_height;
    g->cols = client_width / THUMB_FRAME_SIZE;
    g->rows = height / THUMB_FRAME_SIZE;
    int fits = g->cols > 0 && g->rows > 0;
    // A screen too small for one frame still gets one cell.
    if (g->cols < 1)
        g->cols = 1;
    if (g->rows < 1)
        g->rows = 1;
    g->cells = g->cols * g->rows;
    g->cell_width = client_width / g->cols;
    g->cell_height = height > 0 ? height / g->rows : 0;
    g->left = (client_width - g->cols * g->cell_width) / 2;
    g->top = (height - g->rows * g->cell_height) / 2;
    return fits;
}

int thumb_cell_at(const ThumbGrid& g, int x, int y)
{
    if (g.cell_width <= 0 || g.cell_height <= 0)
        return -1;
    if (x < g.left || x >= g.left + g.cols * g.cell_width || y < g.top || y >= g.top + g.rows * g.cell_height)
        return -1;
    int col = (x - g.left) / g.cell_width, row = (y - g.top) / g.cell_height;
    if (col >= g.cols)
        col = g.cols - 1;
    if (row >= g.rows)
        row = g.rows - 1;
    return row * g.cols + col;
}

int first_page_for_selection(const int* index, int count, int cells, int selected)
{
    if (selected < 0 || cells <= 0)
        return 0;
    int first = 0;
    for (int k = 0; k < count; k += cells)
        if (index[k] != THUMB_EMPTY && index[k] <= selected)
            first = k;
    return first;
}

void step_thumb_page(int count, int cells, int forward, int* first, int* last)
{
    if (forward) {
        if (*last >= count - 1) {
            *first = 0;
            *last = (count < cells ? count : cells) - 1;
        } else {
            *first += cells;
            *last = *last + cells < count - 1 ? *last + cells : count - 1;
        }
    } else if (*first == 0) {
        *last = count - 1;
        *first = (*last / cells) * cells;
    } else {
        *first -= cells;
        *last = *first + cells - 1 < count - 1 ? *first + cells - 1 : count - 1;
    }
}

int thumb_orientation_state(int o)
{
    static const int STATE[9] = {0, 0, 1, 4, 5, 7, 6, 3, 2};
    return o >= 0 && o <= 8 ? STATE[o] : 0;
}

static ThumbGrid current_grid(void)
{
    ThumbGrid g = {g_thumbCols, g_thumbRows, g_thumbCells, g_thumbCellWidth, g_thumbCellHeight,
                   g_thumbLeft, g_thumbTop};
    return g;
}

POINT thumb_frame_origin(int cell)
{
    POINT p = {0, 0};
    if (g_thumbCols <= 0)
        return p;
    p.x = g_thumbLeft + (cell % g_thumbCols) * g_thumbCellWidth + (g_thumbCellWidth - THUMB_FRAME_SIZE) / 2;
    p.y = g_thumbTop + (cell / g_thumbCols) * g_thumbCellHeight + (g_thumbCellHeight - THUMB_FRAME_SIZE) / 2;
    return p;
}

POINT thumb_area_origin(int cell)
{
    POINT p = {0, 0};
    if (g_thumbCols <= 0)
        return p;
    p.x = g_thumbLeft + (cell % g_thumbCols) * g_thumbCellWidth + (g_thumbCellWidth - THUMB_MAX_SIDE) / 2;
    p.y = g_thumbTop + (cell / g_thumbCols) * g_thumbCellHeight + (g_thumbCellHeight - THUMB_MAX_SIDE) / 2;
    return p;
}

int is_lossless_jpeg(const char* path)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return 0;
    int lossless = 0;
    BYTE b[4];
    if (fread(b, 1, 2, fp) == 2 && b[0] == 0xFF && b[1] == 0xD8) {
        // Segments up to the first frame header; a broken chain ends the walk.
        for (int hops = 0; hops < 1000 && fread(b, 1, 4, fp) == 4 && b[0] == 0xFF; ++hops) {
            BYTE marker = b[1];
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
                break;
            }
            if (marker == 0xDA)
                break;
            long length = (long)(b[2] << 8 | b[3]);
            if (length < 2 || fseek(fp, length - 2, SEEK_CUR) != 0)
                break;
        }
    }
    fclose(fp);
    return lossless;
}

// ---- names

static char* thumb_name(int i)
{
    if (!g_hThumbNames || i < 0 || i >= g_thumbCount)
        return NULL;
    char* names = (char*)GlobalLock(g_hThumbNames);
    return names ? names + (size_t)i * MAX_PATH : NULL;
}

static void release_names(void)
{
    if (g_hThumbNames)
        GlobalUnlock(g_hThumbNames);
}

int thumb_file_path(int i, char* path, size_t size)
{
    if (!g_thumbIndex || i < 0 || i >= g_thumbCount || g_thumbIndex[i] == THUMB_EMPTY)
        return 0;
    char* name = thumb_name(i);
    int ok = name && name[0] && std::strlen(name) < size;
    if (ok)
        std::strcpy(path, name);
    release_names();
    return ok;
}

int thumb_list_text(int i, char* text, size_t size)
{
    char path[MAX_PATH], name[MAX_PATH];
    if (!thumb_file_path(i, path, sizeof path))
        return 0;
    listed_file_name(path, name, sizeof name);
    file_label(path, name, text, size);
    return 1;
}

void mark_thumb_gone(int i)
{
    if (!g_thumbIndex || i < 0 || i >= g_thumbCount)
        return;
    g_thumbIndex[i] = THUMB_EMPTY;
    if (char* name = thumb_name(i))
        name[0] = '\0';
    release_names();
    int cell = i - g_thumbFirst;
    if (g_thumbSelected && cell >= 0 && cell < g_thumbCells)
        g_thumbSelected[cell] = THUMB_EMPTY;
    replace_cached_thumbnail(i, NULL);
}

int is_cell_lossless(int cell)
{
    int* flags = g_hThumbLossless ? (int*)GlobalLock(g_hThumbLossless) : NULL;
    int lossless = flags && cell >= 0 && cell < g_thumbCells && flags[cell];
    if (flags)
        GlobalUnlock(g_hThumbLossless);
    return lossless;
}

void batch_note_file_operation(int i, int mode, const char* source, const char* target, int succeeded)
{
    if (!is_window_open(g_hwndBatch))
        return;
    HANDLE file = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    bool source_stays = file != INVALID_HANDLE_VALUE;
    if (source_stays)
        CloseHandle(file);
    if (succeeded && mode != FILE_OP_COPY && !source_stays) {
        set_thumb_path(i, target);
        if (mode == FILE_OP_MOVE)
            mark_thumb_gone(i);
    }
    refresh_batch_frames();
}

void set_thumb_path(int i, const char* path)
{
    char old_path[MAX_PATH];
    if (!thumb_file_path(i, old_path, sizeof old_path) || std::strlen(path) >= MAX_PATH)
        return;
    if (char* name = thumb_name(i))
        std::strcpy(name, path);
    release_names();
    // The file's entry, where the main list shows it, names its new place.
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT entry = find_list_entry_of(list, old_path, NULL);
    if (entry != LB_ERR) {
        SendMessageA(list, LB_DELETESTRING, (WPARAM)entry, 0);
        SendMessageA(list, LB_INSERTSTRING, (WPARAM)entry, (LPARAM)path);
        g_thumbIndex[i] = (int)entry;
    }
}

void remap_thumb_indexes(void)
{
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    for (int i = 0; g_thumbIndex && i < g_thumbCount; ++i) {
        char path[MAX_PATH];
        if (!thumb_file_path(i, path, sizeof path))
            continue;
        // A file is gone when it is gone from its folder, whatever folder
        // the list shows; where the list shows it, its entry is found again.
        LRESULT found = find_list_entry_of(list, path, NULL);
        if (found != LB_ERR)
            g_thumbIndex[i] = (int)found;
        else if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            mark_thumb_gone(i);
    }
}

// ---- drawing

static HBRUSH first_background_brush(void)
{
    return g_hBackgroundBrushes[0] ? g_hBackgroundBrushes[0] : (HBRUSH)GetStockObject(WHITE_BRUSH);
}

void draw_transparent_bitmap(HDC dc, HBITMAP bitmap, int x, int y, COLORREF transparent)
{
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return;
    int w = info.bmWidth, h = info.bmHeight;
    HDC source = CreateCompatibleDC(dc), copy = CreateCompatibleDC(dc), mask = CreateCompatibleDC(dc);
    HBITMAP copy_bitmap = CreateCompatibleBitmap(dc, w, h);
    HBITMAP mask_bitmap = CreateBitmap(w, h, 1, 1, NULL);
    if (source && copy && mask && copy_bitmap && mask_bitmap) {
        HGDIOBJ old_source = SelectObject(source, bitmap);
        HGDIOBJ old_copy = SelectObject(copy, copy_bitmap);
        HGDIOBJ old_mask = SelectObject(mask, mask_bitmap);
        // The copy is worked on, so the bitmap itself stays as it was.
        BitBlt(copy, 0, 0, w, h, source, 0, 0, SRCCOPY);
        SetBkColor(copy, transparent);
        BitBlt(mask, 0, 0, w, h, copy, 0, 0, SRCCOPY);
        COLORREF old_bk = SetBkColor(dc, RGB(255, 255, 255));
        COLORREF old_text = SetTextColor(dc, RGB(0, 0, 0));
        BitBlt(dc, x, y, w, h, mask, 0, 0, SRCAND);
        SetBkColor(copy, RGB(0, 0, 0));
        SetTextColor(copy, RGB(255, 255, 255));
        BitBlt(copy, 0, 0, w, h, mask, 0, 0, SRCAND);
        BitBlt(dc, x, y, w, h, copy, 0, 0, SRCPAINT);
        SetBkColor(dc, old_bk);
        SetTextColor(dc, old_text);
        SelectObject(mask, old_mask);
        SelectObject(copy, old_copy);
        SelectObject(source, old_source);
    }
    if (mask_bitmap)
        DeleteObject(mask_bitmap);
    if (copy_bitmap)
        DeleteObject(copy_bitmap);
    if (mask)
        DeleteDC(mask);
    if (copy)
        DeleteDC(copy);
    if (source)
        DeleteDC(source);
}

void draw_thumbnail_frame(int state, HWND hwnd, HINSTANCE instance, int x, int y)
{
    HBITMAP bitmap = LoadBitmapA(instance, state > 0 ? "REDBOX" : "WHITEBOX");
    HDC dc = GetDC(hwnd);
    if (dc && bitmap) {
        if (state >= 0) {
            draw_transparent_bitmap(dc, bitmap, x, y, RGB(0, 0, 0));
        } else {
            BITMAP info;
            GetObjectA(bitmap, sizeof info, &info);
            RECT area = {x, y, x + info.bmWidth, y + info.bmHeight};
            FillRect(dc, &area, (HBRUSH)GetStockObject(WHITE_BRUSH));
        }
    }
    if (dc)
        ReleaseDC(hwnd, dc);
    if (bitmap)
        DeleteObject(bitmap);
}

void draw_cell_frame(HWND hwnd, int cell, int state)
{
    POINT p = thumb_frame_origin(cell);
    draw_thumbnail_frame(state, hwnd, g_hInstance, p.x, p.y);
}

// The thumbnail centred in its cell, stretched from the whole image.
static void draw_thumbnail(HDC dc, HWND hwnd, HGLOBAL image, int cell)
{
    BITMAPINFOHEADER* bih = image ? (BITMAPINFOHEADER*)GlobalLock(image) : NULL;
    if (!bih)
        return;
    int width = bih->biWidth, height = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
    int w = width < THUMB_MAX_SIDE ? width : THUMB_MAX_SIDE, h = height < THUMB_MAX_SIDE ? height : THUMB_MAX_SIDE;
    int x = g_thumbLeft + (cell % g_thumbCols) * g_thumbCellWidth + (g_thumbCellWidth - w) / 2;
    int y = g_thumbTop + (cell / g_thumbCols) * g_thumbCellHeight + (g_thumbCellHeight - h) / 2;
    HPALETTE palette = bih->biBitCount <= 8 ? create_dib_palette(bih, hwnd) : NULL;
    HPALETTE old_palette = palette ? SelectPalette(dc, palette, FALSE) : NULL;
    if (palette)
        RealizePalette(dc);
    StretchDIBits(dc, x, y, w, h, 0, 0, width, height, dib_pixels(bih), (BITMAPINFO*)bih, DIB_RGB_COLORS,
                  SRCCOPY);
    if (palette) {
        SelectPalette(dc, old_palette, FALSE);
        DeleteObject(palette);
    }
    GlobalUnlock(image);
}

PixelCeiling begin_batch_file_ceiling(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA about;
    uint64_t bytes = 0;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &about))
        bytes = (uint64_t)about.nFileSizeHigh << 32 | about.nFileSizeLow;
    return begin_pixel_ceiling(bytes, reader_pixels_per_byte(IDENT_JPEG));
}

int batch_copy_fits_ceiling(HGLOBAL image)
{
    const BITMAPINFOHEADER* bih = image ? (const BITMAPINFOHEADER*)GlobalLock(image) : NULL;
    if (!bih)
        return 0;
    uint64_t height = bih->biHeight < 0 ? 0 - (int64_t)bih->biHeight : (uint64_t)bih->biHeight;
    uint64_t pixels = (uint64_t)(uint32_t)bih->biWidth * height;
    GlobalUnlock(image);
    return pixels_fit_ceiling(pixels);
}

// Upright, turned further by turn degrees, reduced for a palette display;
// freed (null) when its working copies do not fit the file's ceiling.
static void prepare_thumbnail(HGLOBAL* image, int orientation, int turn)
{
    if (!batch_copy_fits_ceiling(*image)) {
        GlobalFree(*image);
        *image = NULL;
        return;
    }
    int state = thumb_orientation_state(orientation);
    apply_orientation_normalize(image, &state);
    int ignored = 0;
    if (turn == 90)
        rotate_cw90(image, &ignored);
    else if (turn == 270)
        rotate_ccw90(image, &ignored);
    if (seam_display_bits() <= 8) {
        HGLOBAL before = NULL;
        if (reduce_colors(image, &before, 256, KIND_DIB, 0, 0) && before)
            GlobalFree(before);
    }
}

static int* lossless_flags(void)
{
    return g_hThumbLossless ? (int*)GlobalLock(g_hThumbLossless) : NULL;
}

HGLOBAL draw_thumbnail_from_file(HWND hwnd, int i, int erase, int turn)
{
    int cell = i - g_thumbFirst;
    char path[MAX_PATH];
    if (cell < 0 || cell >= g_thumbCells || !thumb_file_path(i, path, sizeof path))
        return NULL;
    PixelCeiling outer = begin_batch_file_ceiling(path);
    int orientation = load_exif_thumbnail(path);
    HGLOBAL image = g_hExifThumbnail;
    g_hExifThumbnail = NULL;
    if (image)
        prepare_thumbnail(&image, orientation, turn);
    end_pixel_ceiling(outer);
    if (int* flags = lossless_flags()) {
        flags[cell] = is_lossless_jpeg(path);
        GlobalUnlock(g_hThumbLossless);
    }
    HDC dc = GetDC(hwnd);
    if (erase) {
        POINT p = thumb_area_origin(cell);
        RECT area = {p.x, p.y, p.x + THUMB_MAX_SIDE, p.y + THUMB_MAX_SIDE};
        FillRect(dc, &area, first_background_brush());
    }
    if (image)
        draw_thumbnail(dc, hwnd, image, cell);
    ReleaseDC(hwnd, dc);
    return image;
}

static void free_thumbnail_cache(void)
{
    if (!g_hThumbCache)
        return;
    HGLOBAL* cache = (HGLOBAL*)GlobalLock(g_hThumbCache);
    size_t entries = GlobalSize(g_hThumbCache) / sizeof(HGLOBAL);
    for (size_t k = 0; cache && k < entries; ++k)
        if (cache[k])
            GlobalFree(cache[k]);
    if (cache)
        GlobalUnlock(g_hThumbCache);
    GlobalFree(g_hThumbCache);
    g_hThumbCache = NULL;
}

void replace_cached_thumbnail(int i, HGLOBAL image)
{
    HGLOBAL* cache = g_hThumbCache ? (HGLOBAL*)GlobalLock(g_hThumbCache) : NULL;
    int k = i - g_thumbFirst;
    if (cache && k >= 0 && (size_t)k < GlobalSize(g_hThumbCache) / sizeof(HGLOBAL)) {
        if (cache[k])
            GlobalFree(cache[k]);
        cache[k] = image;
        image = NULL;
    }
    if (cache)
        GlobalUnlock(g_hThumbCache);
    if (image)
        GlobalFree(image);
}

static void paint_thumbnails(HWND hwnd, int first, int last)
{
    free_thumbnail_cache();
    g_hThumbCache = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)(last - first + 1) * sizeof(HGLOBAL));
    for (int i = first; i <= last; ++i) {
        HGLOBAL image = draw_thumbnail_from_file(hwnd, i, 0, 0);
        replace_cached_thumbnail(i, image);
    }
}

static void repaint_thumbnails(HWND hwnd, int first, int last)
{
    HGLOBAL* cache = g_hThumbCache ? (HGLOBAL*)GlobalLock(g_hThumbCache) : NULL;
    size_t entries = cache ? GlobalSize(g_hThumbCache) / sizeof(HGLOBAL) : 0;
    HDC dc = GetDC(hwnd);
    int old_mode = SetStretchBltMode(dc, HALFTONE);
    for (int i = first; i <= last; ++i)
        if ((size_t)(i - first) < entries && cache[i - first])
            draw_thumbnail(dc, hwnd, cache[i - first], i - first);
    SetStretchBltMode(dc, old_mode);
    ReleaseDC(hwnd, dc);
    if (cache)
        GlobalUnlock(g_hThumbCache);
    for (int cell = 0; g_thumbSelected && cell < g_thumbCells && cell <= last - first; ++cell)
        if (g_thumbSelected[cell] == 1)
            draw_cell_frame(hwnd, cell, 1);
}

void refresh_batch_frames(void)
{
    if (!is_window_open(g_hwndBatch))
        return;
    g_thumbsRedraw = 1;
    g_thumbsErase = 0;
    InvalidateRect(g_hwndBatch, NULL, FALSE);
    for (int cell = 0; g_thumbSelected && cell < g_thumbCells; ++cell)
        draw_cell_frame(g_hwndBatch, cell, g_thumbSelected[cell]);
}

static void set_status(int part, const char* text)
{
    if (g_hwndBatchStatus)
        SendMessageA(g_hwndBatchStatus, SB_SETTEXTA, (WPARAM)part, (LPARAM)text);
}

// ---- the scan

static void free_batch_blocks(void)
{
    free_thumbnail_cache();
    HGLOBAL* blocks[] = {&g_hThumbIndex, &g_hThumbSelected, &g_hThumbLossless, &g_hThumbNames};
    if (g_hThumbIndex && g_thumbIndex)
        GlobalUnlock(g_hThumbIndex);
    if (g_hThumbSelected && g_thumbSelected)
        GlobalUnlock(g_hThumbSelected);
    for (HGLOBAL* block : blocks) {
        if (*block)
            GlobalFree(*block);
        *block = NULL;
    }
    g_thumbIndex = NULL;
    g_thumbSelected = NULL;
    g_thumbCount = 0;
}

static void close_batch_window(void)
{
    if (g_hwndBatchStatus && IsWindow(g_hwndBatchStatus))
        DestroyWindow(g_hwndBatchStatus);
    g_hwndBatchStatus = NULL;
    if (g_hwndBatch && IsWindow(g_hwndBatch))
        DestroyWindow(g_hwndBatch);
    g_hwndBatch = NULL;
}

// Appends list index entry and the file's full path to the index and name
// blocks; 0 when memory runs out.
static int add_exif_entry(int entry, const char* path)
{
    HGLOBAL index = g_hThumbIndex ? GlobalReAlloc(g_hThumbIndex, (SIZE_T)(g_thumbCount + 1) * sizeof(int),
                                                  GMEM_MOVEABLE | GMEM_ZEROINIT)
                                  : GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(int));
    if (!index)
        return 0;
    g_hThumbIndex = index;
    HGLOBAL names = g_hThumbNames ? GlobalReAlloc(g_hThumbNames, (SIZE_T)(g_thumbCount + 1) * MAX_PATH,
                                                  GMEM_MOVEABLE | GMEM_ZEROINIT)
                                  : GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, MAX_PATH);
    if (!names)
        return 0;
    g_hThumbNames = names;
    int* indexes = (int*)GlobalLock(g_hThumbIndex);
    char* name_table = (char*)GlobalLock(g_hThumbNames);
    if (indexes && name_table) {
        indexes[g_thumbCount] = entry;
        lstrcpynA(name_table + (size_t)g_thumbCount * MAX_PATH, path, MAX_PATH);
        ++g_thumbCount;
    }
    if (indexes)
        GlobalUnlock(g_hThumbIndex);
    if (name_table)
        GlobalUnlock(g_hThumbNames);
    return indexes && name_table;
}

static int scan_exif_files(HWND hwnd)
{
    char folder[MAX_PATH] = "";
    DWORD length = GetCurrentDirectoryA(sizeof folder - 1, folder);
    if (length > 0 && length < sizeof folder - 1) {
        if (folder[length - 1] != '\\')
            std::strcat(folder, "\\");
        lstrcpynA(g_listDir, folder, sizeof g_listDir);
    }
    set_status(1, "Examining Files");
    set_status(2, "");
    free_batch_blocks();
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT entries = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (entries == LB_ERR)
        entries = 0;
    for (LRESULT e = 0; e < entries; ++e) {
        char text[MAX_PATH], path[2 * MAX_PATH];
        LRESULT text_length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)e, 0);
        if (text_length != LB_ERR && text_length < (LRESULT)sizeof text &&
            SendMessageA(list, LB_GETTEXT, (WPARAM)e, (LPARAM)text) != LB_ERR) {
            // Each thumbnail keeps the full path it was read from: the list
            // may go to another folder while the window is open.
            int length = std::snprintf(path, sizeof path, "%s%s", std::strchr(text, '\\') ? "" : g_listDir, text);
            if (length > 0 && length < MAX_PATH && is_exif_jpeg(path) && !add_exif_entry((int)e, path))
                break;
        }
        show_progress((double)(e + 1) / (double)entries, 0);
    }
    show_progress(0, 0);
    char total[40];
    std::snprintf(total, sizeof total, "%ld Total Images", (long)g_thumbCount);
    set_status(1, "");
    set_status(2, total);
    if (g_thumbCount == 0) {
        close_batch_window();
        seam_message_box(NULL, "No Exif-Compliant Digital Image Files Found \nin Current Folder (Directory)",
                         "Corvane File Viewer", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    ThumbGrid g;
    compute_thumb_grid(client.right, client.bottom, g_batchStatusHeight, &g);
    g_thumbCols = g.cols;
    g_thumbRows = g.rows;
    g_thumbCells = g.cells;
    g_thumbCellWidth = g.cell_width;
    g_thumbCellHeight = g.cell_height;
    g_thumbLeft = g.left;
    g_thumbTop = g.top;
    g_hThumbSelected = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)g_thumbCells * sizeof(int));
    g_hThumbLossless = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)g_thumbCells * sizeof(int));
    g_thumbIndex = (int*)GlobalLock(g_hThumbIndex);
    g_thumbSelected = g_hThumbSelected ? (int*)GlobalLock(g_hThumbSelected) : NULL;
    if (!g_thumbIndex || !g_thumbSelected || !g_hThumbLossless) {
        close_batch_window();
        seam_message_box(NULL, "Insufficient Memory for this Operation.", "Corvane File Viewer", MB_ICONSTOP);
        return 0;
    }
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    g_thumbFirst = first_page_for_selection(g_thumbIndex, g_thumbCount, g_thumbCells,
                                            selected == LB_ERR ? -1 : (int)selected);
    g_thumbLast = (g_thumbFirst + g_thumbCells < g_thumbCount ? g_thumbFirst + g_thumbCells : g_thumbCount) - 1;
    for (int cell = 0; cell < g_thumbCells; ++cell)
        g_thumbSelected[cell] = g_thumbFirst + cell > g_thumbLast ? THUMB_EMPTY : 0;
    g_thumbsRedraw = 1;
    g_thumbsErase = 1;
    return 1;
}

// ---- handlers

static int batch_on_create(HWND hwnd)
{
    (void)hwnd;
    HMENU png = CreatePopupMenu(), jpg = CreatePopupMenu(), convert = CreatePopupMenu();
    g_hThumbMenu = CreatePopupMenu();
    AppendMenuA(png, MF_STRING, IDM_THUMB_PNG, "&No Interlacing");
    AppendMenuA(png, MF_STRING, IDM_THUMB_PNG_ADAM7, "&ADAM7 Interlacing");
    AppendMenuA(jpg, MF_STRING, IDM_THUMB_JPEG, "&Standard File Structure");
    AppendMenuA(jpg, MF_STRING, IDM_THUMB_JPEG_PROGRESSIVE, "&Progressive File Structure");
    AppendMenuA(convert, MF_POPUP, (UINT_PTR)png, "&PNG");
    AppendMenuA(convert, MF_POPUP, (UINT_PTR)jpg, "&JPG");
    HMENU m = g_hThumbMenu;
    AppendMenuA(m, MF_STRING, IDM_THUMB_OPEN, "&Open");
    AppendMenuA(m, MF_SEPARATOR, 0, NULL);
    AppendMenuA(m, MF_STRING, IDM_THUMB_ROTATE_CW, "Rotate C&lockwise 90\xB0");
    AppendMenuA(m, MF_STRING, IDM_THUMB_ROTATE_CCW, "Rotate &C&ounter-Clockwise 90\xB0");
    AppendMenuA(m, MF_SEPARATOR, 0, NULL);
    AppendMenuA(m, MF_STRING, IDM_THUMB_MOVE, "&Move File");
    AppendMenuA(m, MF_STRING, IDM_THUMB_COPY, "&Copy File");
    AppendMenuA(m, MF_STRING, IDM_THUMB_DELETE, "&Delete File");
    AppendMenuA(m, MF_STRING, IDM_THUMB_RENAME, "&Rename File");
    AppendMenuA(m, MF_POPUP, (UINT_PTR)convert, "Con&vert File");
    AppendMenuA(m, MF_STRING, IDM_THUMB_COMMENT, "&Insert/Replace Comment");
    AppendMenuA(m, MF_SEPARATOR, 0, NULL);
    AppendMenuA(m, MF_STRING, IDM_THUMB_PROPERTIES, "&Properties");
    return g_hThumbMenu != NULL;
}

static void batch_on_destroy(HWND hwnd)
{
    stop_batch_timer(hwnd);
    if (g_hThumbMenu)
        DestroyMenu(g_hThumbMenu);
    g_hThumbMenu = NULL;
    free_batch_blocks();
    g_hwndBatchBar = NULL;
    g_hwndBatchStatus = NULL;
    if (g_hwndBatch == hwnd)
        g_hwndBatch = NULL;
}

static LRESULT batch_on_erasebkgnd(HWND hwnd, HDC dc)
{
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, first_background_brush());
    return 1;
}

static void batch_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    if (g_batchFirstPaint) {
        g_batchFirstPaint = 0;
        if (!scan_exif_files(hwnd))
            return;
    }
    if (!g_thumbIndex)
        return;
    if (g_thumbsRedraw) {
        g_thumbsRedraw = 0;
        if (g_thumbsErase) {
            HDC dc = GetDC(hwnd);
            batch_on_erasebkgnd(hwnd, dc);
            ReleaseDC(hwnd, dc);
        }
        char text[64];
        std::snprintf(text, sizeof text, "Images %ld -- %ld", (long)g_thumbFirst + 1, (long)g_thumbLast + 1);
        set_status(1, text);
        paint_thumbnails(hwnd, g_thumbFirst, g_thumbLast);
    }
    repaint_thumbnails(hwnd, g_thumbFirst, g_thumbLast);
}

// The clicked cell, when it holds a file on this page; else -1.
static int hit_cell(int x, int y)
{
    if (!g_thumbSelected)
        return -1;
    int cell = thumb_cell_at(current_grid(), x, y);
    if (cell < 0)
        return -1;
    g_thumbCurrent = cell;
    if (cell + g_thumbFirst >= g_thumbCount || g_thumbSelected[cell] == THUMB_EMPTY)
        return -1;
    return cell;
}

// Leaves for the main window with thumbnail i's file selected and loaded.
void open_thumbnail_file(int i)
{
    free_thumbnail_cache();
    char path[MAX_PATH], folder[MAX_PATH], name[MAX_PATH];
    if (!thumb_file_path(i, path, sizeof path) || !path_folder(path, folder, sizeof folder))
        return;
    // The list goes to the file's folder, wherever it shows now or a move
    // put the file, and its entry there is the file's own, also where the
    // chosen file type leaves it out; only a file gone since gives way to
    // the list's first entry.
    SetCurrentDirectoryA(folder);
    listed_file_name(path, name, sizeof name);
    fill_file_list(0);
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT entry = list_entry_adding_file(list, path, name);
    if (entry == LB_ERR)
        entry = 0;
    SendMessageA(list, LB_SETCURSEL, (WPARAM)entry, 0);
    SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, name);
    SendMessageA(g_hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST, entry);
    close_batch_window();
}

static void leave_batch(void)
{
    free_thumbnail_cache();
    LRESULT selection = SendDlgItemMessageA(g_hwndMain, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0);
    // A shown file the window deleted, moved or renamed is not read again:
    // as after the main window's Delete, the entry now in its place shows.
    if (g_filePath[0] && !is_shown_file_on_disk()) {
        close_batch_window();
        show_entry_after_removal(selection);
        return;
    }
    // The list's selected file is loaded again; a list with none (the user
    // went to another folder) leaves the file shown as it is. The list
    // stays in the folder it shows.
    if (selection != LB_ERR)
        SendMessageA(g_hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST, selection);
    fill_file_list(0);
    close_batch_window();
}

static void batch_on_lbuttondown(HWND hwnd, int double_click, int x, int y)
{
    int cell = hit_cell(x, y);
    if (cell < 0)
        return;
    if (double_click) {
        open_thumbnail_file(cell + g_thumbFirst);
        return;
    }
    g_thumbSelected[cell] = g_thumbSelected[cell] ? 0 : 1;
    draw_cell_frame(hwnd, cell, g_thumbSelected[cell]);
}

static void batch_on_rbuttondown(HWND hwnd, int x, int y)
{
    int cell = hit_cell(x, y);
    if (cell < 0 || !g_hThumbMenu)
        return;
    POINT p = {g_thumbLeft + (cell % g_thumbCols) * g_thumbCellWidth + g_thumbCellWidth / 2,
               g_thumbTop + (cell / g_thumbCols) * g_thumbCellHeight + g_thumbCellHeight / 2};
    ClientToScreen(hwnd, &p);
    TrackPopupMenu(g_hThumbMenu, TPM_RIGHTBUTTON, p.x, p.y, 0, hwnd, NULL);
}

static void change_page(HWND hwnd, int forward)
{
    if (g_thumbCount <= g_thumbCells)
        return;
    free_thumbnail_cache();
    step_thumb_page(g_thumbCount, g_thumbCells, forward, &g_thumbFirst, &g_thumbLast);
    for (int cell = 0; cell < g_thumbCells; ++cell) {
        int i = g_thumbFirst + cell;
        g_thumbSelected[cell] = i > g_thumbLast || g_thumbIndex[i] == THUMB_EMPTY ? THUMB_EMPTY : 0;
    }
    g_thumbsRedraw = 1;
    g_thumbsErase = 1;
    InvalidateRect(hwnd, NULL, TRUE);
}

static void batch_on_command(HWND hwnd, int id)
{
    if (!g_thumbIndex)
        return;
    switch (id) {
    case IDM_BATCH_HELP:
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, 105);
        return;
    case IDM_BATCH_HELP_LIBRARY:
        seam_win_help(hwnd, HELP_FILE, HELP_FINDER, 0);
        return;
    case IDM_BATCH_EXIT:
        leave_batch();
        return;
    case IDM_BATCH_PREVIOUS_PAGE:
    case IDM_BATCH_NEXT_PAGE:
        change_page(hwnd, id == IDM_BATCH_NEXT_PAGE);
        return;
    case IDM_THUMB_OPEN:
        open_thumbnail_file(g_thumbCurrent + g_thumbFirst);
        return;
    }
    run_batch_command(hwnd, id);
}

static void batch_on_keydown(HWND hwnd, WPARAM key)
{
    (void)hwnd;
    if (key == VK_ESCAPE && g_thumbIndex)
        leave_batch();
}

// Keys, clicks and commands: none while a command works on the shown file
// (the window is disabled then; this turns away what comes anyway). A pass
// whose tick comes then waits for the hold's end (batch_on_timer).
static bool is_turned_away(HWND hwnd, UINT msg)
{
    switch (msg) {
    case WM_KEYDOWN:
    case WM_COMMAND:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
        return file_hold_turns_away(hwnd) != 0;
    }
    return false;
}

LRESULT CALLBACK batch_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (is_turned_away(hwnd, msg))
        return 0;
    switch (msg) {
    case WM_CREATE:
        return batch_on_create(hwnd) ? 0 : -1;
    case WM_DESTROY:
        batch_on_destroy(hwnd);
        return 0;
    case WM_PAINT:
        batch_on_paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return batch_on_erasebkgnd(hwnd, (HDC)wp);
    case WM_KEYDOWN:
        batch_on_keydown(hwnd, wp);
        return 0;
    case WM_COMMAND:
        batch_on_command(hwnd, LOWORD(wp));
        return 0;
    case WM_TIMER:
        batch_on_timer(hwnd, (UINT_PTR)wp);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        batch_on_lbuttondown(hwnd, msg == WM_LBUTTONDBLCLK, (short)LOWORD(lp), (short)HIWORD(lp));
        return 0;
    case WM_RBUTTONDOWN:
        batch_on_rbuttondown(hwnd, (short)LOWORD(lp), (short)HIWORD(lp));
        return 0;
    case WM_EXITMENULOOP:
        take_pointer_back_after_menu();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void open_batch_window(void)
{
    if (is_window_open(g_hwndBatch)) {
        SetForegroundWindow(g_hwndBatch);
        return;
    }
    // The whole screen, no caption. Wine has a window manager show it
    // full-screen, above the other windows; its dialogs and boxes still come
    // up in front of it because they are owned by it (front_owner).
    g_hwndBatch = CreateWindowExA(0, "Batch", "A", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                  g_hInstance, NULL);
    if (!g_hwndBatch)
        return;
    create_batch_status_bar(g_hwndBatch);
    g_batchFirstPaint = 1;
    InvalidateRect(g_hwndBatch, NULL, TRUE);
}
