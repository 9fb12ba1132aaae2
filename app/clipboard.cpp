// Clipboard copy and paste of the current image (see clipboard.h).
#include "app/clipboard.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "app/main_menu.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/wmf_seal.h"
#include "resources/resource.h"
#include "tools/edit_history.h"

const char PASTED_IMAGE_NAME[] = "Paste from Clipboard Image";

int is_acceptable_clipboard_dib(HGLOBAL hData)
{
    if (!hData)
        return 0;
    SIZE_T block_size = GlobalSize(hData);
    if (block_size < DIB_HEADER_SIZE)
        return 0;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hData);
    if (!bih)
        return 0;
    int ok = 1;
    int bits = bih->biBitCount;
    if (bih->biSize != DIB_HEADER_SIZE || bih->biPlanes != 1 || !is_valid_dib_bit_count(bits))
        ok = 0;
    // A deep image has no table; a palette image at most 256 entries.
    else if ((bits <= 8 && bih->biClrUsed > 256) || (bits > 8 && bih->biClrUsed != 0))
        ok = 0;
    else if (bih->biCompression == BI_BITFIELDS) {
        // Only the masks a packed DIB holds without them.
        if (block_size < DIB_HEADER_SIZE + 12) {
            ok = 0;
        } else {
            DWORD masks[3];
            std::memcpy(masks, (const BYTE*)bih + DIB_HEADER_SIZE, sizeof masks);
            bool rgb555 = bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
            bool rgb888 = bits == 32 && masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF;
            ok = rgb555 || rgb888;
        }
    } else if (bih->biCompression != BI_RGB) {
        ok = 0;
    }
    if (ok) {
        uint32_t stride = dib_row_stride(bih->biWidth, bits);
        if (stride == 0 || bih->biHeight <= 0 || (uint32_t)bih->biHeight > MAX_DIB_DIMENSION) {
            ok = 0;
        } else {
            uint64_t needed = (uint64_t)dib_pixel_offset(bih) + (uint64_t)stride * (uint64_t)bih->biHeight;
            ok = needed <= MAX_DIB_BYTES && needed <= block_size;
        }
    }
    GlobalUnlock(hData);
    return ok;
}

HGLOBAL copy_clipboard_dib(HGLOBAL hData)
{
    return is_acceptable_clipboard_dib(hData) ? copy_packed_dib(hData) : NULL;
}

void placeable_extents(SHORT left, SHORT top, SHORT right, SHORT bottom, WORD units_per_inch,
                       LONG* x_extent, LONG* y_extent)
{
    // A zero units-per-inch would divide by zero; such a header gives no size.
    if (units_per_inch == 0) {
        *x_extent = *y_extent = 0;
        return;
    }
    *x_extent = (LONG)(right - left) * 2540 / (LONG)units_per_inch;
    *y_extent = (LONG)(bottom - top) * 2540 / (LONG)units_per_inch;
}

// A copy of the current Windows metafile that draws in its placeable box
// wherever the box lies, as it is shown: a metafile picture gives only the
// box's size. Null when one cannot be made.
static HMETAFILE copy_in_placeable_box(void)
{
    const WmfPlaceableHeader* h = &g_wmfPlaceableHeader;
    const RECT box = {h->left, h->top, h->right, h->bottom};
    UINT size = GetMetaFileBitsEx((HMETAFILE)g_hImage, 0, NULL);
    HGLOBAL block = size ? GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)size + WMF_BOX_WINDOW_BYTES) : NULL;
    BYTE* bits = block ? (BYTE*)GlobalLock(block) : NULL;
    HMETAFILE copy = NULL;
    if (bits && GetMetaFileBitsEx((HMETAFILE)g_hImage, size, bits) == size)
        copy = SetMetaFileBitsEx(put_box_window(bits, size, &box), bits);
    if (bits)
        GlobalUnlock(block);
    if (block)
        GlobalFree(block);
    return copy;
}

// A metafile picture block holding a copy of the current Windows metafile;
// null when one cannot be made.
static HGLOBAL make_metafile_picture(void)
{
    HMETAFILE copy = copy_in_placeable_box();
    if (!copy)
        return NULL;
    HGLOBAL hPicture = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT));
    METAFILEPICT* picture = hPicture ? (METAFILEPICT*)GlobalLock(hPicture) : NULL;
    if (!picture) {
        if (hPicture)
            GlobalFree(hPicture);
        DeleteMetaFile(copy);
        return NULL;
    }
    const WmfPlaceableHeader* h = &g_wmfPlaceableHeader;
    picture->mm = MM_ANISOTROPIC;
    placeable_extents(h->left, h->top, h->right, h->bottom, h->units_per_inch, &picture->xExt, &picture->yExt);
    picture->hMF = copy;
    GlobalUnlock(hPicture);
    return hPicture;
}

// The Windows-metafile picture of an enhanced metafile, made as Save As
// Windows MetaFile makes it (the renderer's conversion, handed back only
// when it shows the same picture) in the placeable box of 1,000 units per
// inch over the frame. Given beside the enhanced metafile, it stands in
// for the one the system would make for other programs, which drops the
// picture's own mapping. Null when the conversion is refused or the box
// passes 16 bits.
static HGLOBAL make_emf_metafile_picture(HENHMETAFILE emf)
{
    ENHMETAHEADER eh;
    if (!GetEnhMetaFileHeader(emf, sizeof eh, &eh))
        return NULL;
    const RECTL* f = &eh.rclFrame;
    const int64_t edges[4] = {(int64_t)f->left * 1000 / 2540, (int64_t)f->top * 1000 / 2540,
                              (int64_t)f->right * 1000 / 2540, (int64_t)f->bottom * 1000 / 2540};
    for (int64_t edge : edges)
        if (edge < -32768 || edge > 32767)
            return NULL;
    RECT box = {(LONG)edges[0], (LONG)edges[1], (LONG)edges[2], (LONG)edges[3]};
    if (box.left > box.right)
        std::swap(box.left, box.right);
    if (box.top > box.bottom)
        std::swap(box.top, box.bottom);
    RenderResult converted;
    memset(&converted, 0, sizeof converted);
    HMETAFILE wmf = NULL;
    if (render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, &box, &converted) == RENDER_WHOLE)
        wmf = SetMetaFileBitsEx(converted.size, converted.bytes);
    release_render_result(&converted);
    HGLOBAL block = wmf ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT)) : NULL;
    METAFILEPICT* picture = block ? (METAFILEPICT*)GlobalLock(block) : NULL;
    if (!picture) {
        if (block)
            GlobalFree(block);
        if (wmf)
            DeleteMetaFile(wmf);
        return NULL;
    }
    picture->mm = MM_ANISOTROPIC;
    picture->xExt = (LONG)(((int64_t)box.right - box.left) * 2540 / 1000);
    picture->yExt = (LONG)(((int64_t)box.bottom - box.top) * 2540 / 1000);
    picture->hMF = wmf;
    GlobalUnlock(block);
    return block;
}

// Gives the clipboard a metafile picture block, or frees it when refused.
static void set_clipboard_picture(HGLOBAL picture)
{
    if (!picture || SetClipboardData(CF_METAFILEPICT, picture))
        return;
    METAFILEPICT* p = (METAFILEPICT*)GlobalLock(picture);
    if (p) {
        DeleteMetaFile(p->hMF);
        GlobalUnlock(picture);
    }
    GlobalFree(picture);
}

void copy_image_to_clipboard(HWND hwndMain)
{
    if (!g_hImage || !(g_imageKind == KIND_DIB || g_imageKind == KIND_WMF || g_imageKind == KIND_EMF))
        return;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    if (OpenClipboard(hwndMain)) {
        EmptyClipboard();
        // What SetClipboardData takes belongs to the clipboard from then on;
        // what it refuses is still ours.
        if (g_imageKind == KIND_DIB) {
            HGLOBAL copy = copy_packed_dib(g_hImage);
            if (copy && !SetClipboardData(CF_DIB, copy))
                GlobalFree(copy);
        } else if (g_imageKind == KIND_EMF) {
            HENHMETAFILE copy = CopyEnhMetaFileA((HENHMETAFILE)g_hImage, NULL);
            if (copy && !SetClipboardData(CF_ENHMETAFILE, copy))
                DeleteEnhMetaFile(copy);
            set_clipboard_picture(make_emf_metafile_picture((HENHMETAFILE)g_hImage));
        } else if (g_wmfHasPlaceable) {
            set_clipboard_picture(make_metafile_picture());
        }
        CloseClipboard();
    }
    SetCursor(old_cursor);
}

// The name, image-window and menu updates and the repaint after a paste.
static void show_pasted_image(HWND hwndMain)
{
    std::strcpy(g_fileName, PASTED_IMAGE_NAME);
    g_filePath[0] = '\0';  // no file: no command acts on the one shown before
    if (is_window_open(g_hwndView)) {
        update_view_menu_state();
        SetWindowTextA(g_hwndView, g_fileName);
        InvalidateRect(g_hwndView, NULL, TRUE);
    }
    update_main_menu_state();
    InvalidateRect(GetDlgItem(hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
}

static void paste_dib(HWND hwndMain)
{
    HGLOBAL data = GetClipboardData(CF_DIB);
    HGLOBAL copy = data ? copy_clipboard_dib(data) : NULL;
    CloseClipboard();
    if (!copy)
        return;
    release_current_image();
    g_hImage = copy;
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_CLIPBOARD;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(copy);
    fit_image_rect(bih->biWidth, bih->biHeight, 0);
    GlobalUnlock(copy);
    format_dib_info_text(g_hImage, g_infoText);
    show_pasted_image(hwndMain);
    g_hasTransparency = 0;
    clear_edit_history();
}

// The clipboard contents whose metafile was refused, and why: converting
// them again would cost the renderer's time once more for the same
// refusal. 0: none.
static DWORD s_refusedSequence;
static MetafileFault s_refusedFault;

// The clipboard's Windows metafile picture converted by the renderer, which
// seals its bytes as a file's are (seal_wmf_records) in the one copy it is
// given, within the size its handle holds.
static HENHMETAFILE convert_clipboard_picture(MetafileFault* fault)
{
    HGLOBAL block = GetClipboardData(CF_METAFILEPICT);
    const METAFILEPICT* picture =
        block && GlobalSize(block) >= sizeof(METAFILEPICT) ? (const METAFILEPICT*)GlobalLock(block) : NULL;
    HENHMETAFILE emf = NULL;
    if (picture && picture->hMF && GetMetaFileBitsEx(picture->hMF, 0, NULL)) {
        *fault = render_fault(render_wmf_to_emf(picture->hMF, picture, NULL, &emf));
    }
    if (picture)
        GlobalUnlock(block);
    return emf;
}

HENHMETAFILE take_clipboard_metafile(MetafileFault* fault)
{
    *fault = METAFILE_FAULT_NONE;
    UINT format = 0;
    for (UINT f = EnumClipboardFormats(0); f && !format; f = EnumClipboardFormats(f))
        if (f == CF_ENHMETAFILE || f == CF_METAFILEPICT)
            format = f;
    if (format == CF_ENHMETAFILE) {
        // Checked as a file's bits are: records cut or breaking their rule
        // refuse the picture.
        HENHMETAFILE data = (HENHMETAFILE)GetClipboardData(CF_ENHMETAFILE);
        int no_memory = 0;
        HENHMETAFILE emf = data ? copy_sound_emf(data, &no_memory) : NULL;
        if (data && !emf)
            *fault = no_memory ? METAFILE_TOO_LARGE : METAFILE_UNREADABLE;
        return emf;
    }
    DWORD sequence = GetClipboardSequenceNumber();
    if (format && sequence && sequence == s_refusedSequence) {
        *fault = s_refusedFault;
        return NULL;
    }
    HENHMETAFILE emf = format ? convert_clipboard_picture(fault) : NULL;
    if (*fault) {
        s_refusedSequence = sequence;
        s_refusedFault = *fault;
    }
    return emf;
}

static void paste_enhanced_metafile(HWND hwndMain)
{
    MetafileFault fault;
    HENHMETAFILE copy = take_clipboard_metafile(&fault);
    CloseClipboard();
    say_metafile_fault(hwndMain, fault);
    // The checked copy is had before the current image goes, so a failure
    // leaves it in place; as for a file, no copy of its bits is kept beside it.
    if (!copy)
        return;
    HENHMETAFILE emf = copy;
    release_current_image();
    g_hImage = (HGLOBAL)emf;
    g_imageKind = KIND_EMF;
    g_fileFormat = FMT_CLIPBOARD;
    HDC dc = GetDC(hwndMain);
    get_emf_info(emf, g_infoText, &g_rcMetafile, dc);
    ReleaseDC(hwndMain, dc);
    fit_image_rect(g_rcMetafile.right - g_rcMetafile.left, g_rcMetafile.bottom - g_rcMetafile.top, 0);
    show_pasted_image(hwndMain);
}

void paste_image_from_clipboard(HWND hwndMain)
{
    bool dib = IsClipboardFormatAvailable(CF_DIB);
    bool metafile = IsClipboardFormatAvailable(CF_ENHMETAFILE) || IsClipboardFormatAvailable(CF_METAFILEPICT);
    if (!dib && !metafile)
        return;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    if (OpenClipboard(hwndMain)) {
        if (dib)
            paste_dib(hwndMain);
        else
            paste_enhanced_metafile(hwndMain);
    }
    SetCursor(old_cursor);
}
