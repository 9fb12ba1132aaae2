// The image-file loader of the merge source (load_image_file, declared in
// merge_source.h). It reads with the selected-file loader's readers but
// leaves the current-image state alone: no information text, no format
// code, no animation, no alpha flattening and no display reduction. What it
// adds is the classification for merging (g_mergeKind) and the mask the
// kind needs. Readers are given no owner and no information text.
#include "image/merge_source.h"

#include <io.h>

#include <cstring>

#include "image/bmp_read.h"
#include "image/current_image.h"
#include "image/gif_read.h"
#include "image/loader.h"
#include "image/metafile.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/progress.h"
#include "jpeg/jpeg_read.h"
#include "tools/merge_image.h"

void free_merge_source(void)
{
    if (g_hMergeImage) {
        if (g_mergeKind == MERGE_EMF)
            DeleteEnhMetaFile((HENHMETAFILE)g_hMergeImage);
        else if (g_mergeKind == MERGE_WMF || g_mergeKind == MERGE_PLACEABLE_WMF)
            DeleteMetaFile((HMETAFILE)g_hMergeImage);
        else
            GlobalFree(g_hMergeImage);
    }
    if (g_hMergeMask)
        GlobalFree(g_hMergeMask);
    if (g_hMergeBits)
        GlobalFree(g_hMergeBits);
    g_hMergeImage = g_hMergeMask = g_hMergeBits = NULL;
    g_mergeKind = MERGE_NONE;
}

static HGLOBAL read_bmp_source(HFILE file)
{
    BYTE header_size = 0;
    _llseek(file, 14, FILE_BEGIN);
    if (_lread(file, &header_size, 1) != 1)
        header_size = 0;
    _llseek(file, 0, FILE_BEGIN);
    int frame_left = 0, frame_top = 0, screen_width = 0, screen_height = 0;
    switch (header_size) {
    case 40:
    case 56:
    case 108:
    case 124:
        return read_bmp_file(file, NULL, NULL, &frame_left, &frame_top, &screen_width, &screen_height,
                             header_size);
    case 12:
        return read_os2_bmp_file(file, NULL, NULL, &frame_left, &frame_top, &screen_width, &screen_height);
    case 64:
        return read_os2v2_bmp_file(file, NULL, NULL, &frame_left, &frame_top, &screen_width, &screen_height);
    }
    _lclose(file);
    return NULL;
}

// The first frame; a transparent index makes it an on/off source.
static HGLOBAL read_gif_source(HFILE file)
{
    if (!alloc_gif_lzw_tables()) {
        _lclose(file);
        return NULL;
    }
    int continuing = 0, frame_left = 0, frame_top = 0, screen_width = 0, screen_height = 0;
    int has_transparency = 0, frame_number = 0;
    UINT delay = 12;
    DWORD background = 0, display_color = 0;
    BYTE transparent_index = 0, disposal = 0;
    // The animated kind keeps the reader from fitting the preview to the frame.
    HGLOBAL image = read_gif_frame(file, NULL, NULL, &continuing, &delay, &frame_left, &frame_top,
                                   &screen_width, &screen_height, &has_transparency, &background,
                                   &display_color, &transparent_index, &disposal, &frame_number,
                                   g_gifSuffixTable, g_gifPrefixTable, g_gifStack, KIND_ANIMATED_GIF);
    free_gif_lzw_tables();
    _lclose(file);
    if (image && has_transparency) {
        g_mergeKind = MERGE_ON_OFF_TRANSPARENCY;
        g_mergeKeyIndex = transparent_index;
        g_hMergeMask = make_transparency_mask(image, 0, transparent_index);
    }
    return image;
}

static HGLOBAL read_jpeg_source(const char* path)
{
    int precision = get_jpeg_precision(path);
    if (precision == 8)
        return read_jpeg_file(path, NULL);
    if (precision == 12 || precision == 16)
        return read_jpeg12_file(path, NULL);
    return NULL;
}

static HGLOBAL read_emf_source(const char* path)
{
    HENHMETAFILE file_emf = GetEnhMetaFileA(path);
    if (!file_emf)
        return NULL;
    UINT size = GetEnhMetaFileBits(file_emf, 0, NULL);
    g_hMergeBits = size ? GlobalAlloc(GHND, size) : NULL;
    BYTE* bits = g_hMergeBits ? (BYTE*)GlobalLock(g_hMergeBits) : NULL;
    HENHMETAFILE emf = NULL;
    if (bits) {
        GetEnhMetaFileBits(file_emf, size, bits);
        emf = SetEnhMetaFileBits(size, bits);
        GlobalUnlock(g_hMergeBits);
    }
    DeleteEnhMetaFile(file_emf);
    if (!emf)
        return NULL;
    g_mergeKind = MERGE_EMF;
    HDC hdc = GetDC(g_hwndMergeDialog ? g_hwndMergeDialog : NULL);
    get_emf_info(emf, NULL, &g_rcMetafile, hdc);
    ReleaseDC(g_hwndMergeDialog ? g_hwndMergeDialog : NULL, hdc);
    return (HGLOBAL)emf;
}

// A 32-bit source is classified by its alpha bytes, every row examined.
static void classify_alpha(HGLOBAL image)
{
    if (dib_bit_count(image) != 32 || !is_valid_packed_dib(image))
        return;
    if (g_hMergeMask) {
        GlobalFree(g_hMergeMask);
        g_hMergeMask = NULL;
    }
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(image);
    if (!bih)
        return;
    int zero = 0, full = 0, partial = 0;
    const BYTE* rows = dib_pixels(bih);
    const uint64_t bytes = (uint64_t)dib_row_stride(bih->biWidth, 32) * bih->biHeight;
    for (uint64_t i = 3; i < bytes && !partial; i += 4) {
        if (rows[i] == 0)
            zero = 1;
        else if (rows[i] == 255)
            full = 1;
        else
            partial = 1;
    }
    GlobalUnlock(image);
    if (partial) {
        g_mergeKind = MERGE_PARTIAL_ALPHA;
        g_hMergeMask = copy_packed_dib(image);
        if (g_hMergeMask)
            flatten_alpha_onto_background(&g_hMergeMask, 0);
    } else if (zero && full) {
        g_mergeKind = MERGE_ON_OFF_TRANSPARENCY;
        g_mergeKeyIndex = 0;
        g_hMergeMask = make_transparency_mask(image, 0, 0);
    } else {
        g_mergeKind = MERGE_RASTER;
    }
}

HGLOBAL load_image_file(const char* path)
{
    g_mergeKind = MERGE_NONE;
    HFILE file = path ? _lopen(path, OF_READ | OF_SHARE_DENY_NONE) : HFILE_ERROR;
    if (file == HFILE_ERROR)
        return NULL;
    BYTE first[10] = {0}, at128[4] = {0};
    UINT got = _lread(file, first, sizeof first);
    if (got == (UINT)HFILE_ERROR)
        got = 0;
    if (_llseek(file, 128, FILE_BEGIN) == 128)
        _lread(file, at128, sizeof at128);
    _llseek(file, 0, FILE_BEGIN);
    const char* dot = std::strrchr(path, '.');
    char ext[4] = {0};
    if (dot)
        lstrcpynA(ext, dot + 1, sizeof ext);

    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    int kind = MERGE_RASTER;
    HGLOBAL image = NULL;
    show_progress(0, 0);
    switch (identify_file(first, got, at128, ext)) {
    case IDENT_BMP:
        image = read_bmp_source(file);
        break;
    case IDENT_GIF:
    case IDENT_MACBINARY_GIF:
        image = read_gif_source(file);
        kind = g_mergeKind == MERGE_ON_OFF_TRANSPARENCY ? MERGE_ON_OFF_TRANSPARENCY : MERGE_RASTER;
        break;
    case IDENT_JPEG:
        _lclose(file);
        image = read_jpeg_source(path);
        break;
    case IDENT_PLACEABLE_WMF:
    case IDENT_WMF: {
        const int placeable = first[0] == 0xD7 && first[1] == 0xCD;
        WmfPlaceableHeader header;
        image = (HGLOBAL)read_wmf_file(NULL, path, file, NULL, (uint32_t)placeable, &g_rcMetafile,
                                       &g_wmfScale, &header);
        kind = placeable ? MERGE_PLACEABLE_WMF : MERGE_WMF;
        break;
    }
    case IDENT_EMF:
        _lclose(file);
        image = read_emf_source(path);
        kind = MERGE_EMF;
        break;
    default:
        // Formats whose readers are not part of the program yet.
        _lclose(file);
        break;
    }
    show_progress(0, 0);
    if (image) {
        g_mergeKind = kind;
        if (kind == MERGE_RASTER)
            classify_alpha(image);
    } else {
        if (g_hMergeMask)
            GlobalFree(g_hMergeMask);
        if (g_hMergeBits)
            GlobalFree(g_hMergeBits);
        g_hMergeMask = g_hMergeBits = NULL;
        g_mergeKind = MERGE_NONE;
    }
    SetCursor(old_cursor);
    return image;
}
