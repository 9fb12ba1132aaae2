// The edit history (see edit_history.h). Records are appended after the
// edit has been applied, so what a record copies from the tool globals is
// the state after the edit. A record owns its hData and hData2 blocks until
// clear_edit_history (or Undo) frees them; the globals whose handles it
// takes over are left 0 so the tools never free the record's copy.
#include "tools/edit_history.h"

#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/packed_dib.h"
#include "tools/red_eye.h"
#include "tools/tool_settings.h"

#include <string.h>

HGLOBAL g_hEditHistory;
EditRecord* g_editHistory;
UINT g_editCount;
int g_unrecordedChanges;

// The picture shown when the history was last dropped, with the state the
// tools read beside it. The two images are owned here.
static struct {
    HGLOBAL image;
    HGLOBAL unconverted;
    int conversion;
    int brightness_step;
    int orientation;
    RGBQUAD base_table[256];
    int has_transparency;
    BYTE transparent_index;
    DWORD transparent_color;
} s_kept;

static HGLOBAL alloc_copy(const void* data, SIZE_T bytes)
{
    HGLOBAL h = GlobalAlloc(GHND, bytes);
    if (!h)
        return NULL;
    void* p = GlobalLock(h);
    if (!p) {
        GlobalFree(h);
        return NULL;
    }
    if (data)
        memcpy(p, data, bytes);
    GlobalUnlock(h);
    return h;
}

// The text, font, position and colours of the text tool in a new block.
static HGLOBAL save_text_block(void)
{
    HGLOBAL hBlock = GlobalAlloc(GHND, sizeof(EditTextBlock));
    EditTextBlock* block = hBlock ? (EditTextBlock*)GlobalLock(hBlock) : NULL;
    if (!block) {
        if (hBlock)
            GlobalFree(hBlock);
        return NULL;
    }
    block->font = g_textFont;
    block->x = g_textPosX;
    block->y = g_textPosY;
    block->textColor = g_textColor;
    block->backColor = g_textBackColor;
    block->textIndex = g_textColorIndex;
    block->backIndex = g_textBackIndex;
    block->transparentBack = (UINT)g_textBackgroundTransparent;
    block->align = g_textAlign;
    block->hText = NULL;
    const char* text = g_hWriteText ? (const char*)GlobalLock(g_hWriteText) : NULL;
    if (text) {
        // Bounded by the block: a text without its NUL stops at the end.
        SIZE_T limit = GlobalSize(g_hWriteText);
        SIZE_T length = 0;
        while (length < limit && text[length])
            ++length;
        HGLOBAL hText = GlobalAlloc(GHND, length + 1);
        char* copy = hText ? (char*)GlobalLock(hText) : NULL;
        if (copy) {
            memcpy(copy, text, length);
            copy[length] = 0;
            GlobalUnlock(hText);
            block->hText = hText;
        } else if (hText) {
            GlobalFree(hText);
        }
        GlobalUnlock(g_hWriteText);
    }
    GlobalUnlock(hBlock);
    return hBlock;
}

// The colour table of the current image, zero-filled beyond it or for
// images of more than 8 bits, in a new 1024-byte block.
static HGLOBAL save_color_table(void)
{
    HGLOBAL h = GlobalAlloc(GHND, 1024);
    if (!h)
        return NULL;
    BYTE* table = (BYTE*)GlobalLock(h);
    if (!table) {
        GlobalFree(h);
        return NULL;
    }
    const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (bih) {
        if (bih->biBitCount <= 8) {
            uint32_t n = dib_color_count(bih);
            if (GlobalSize(g_hImage) >= DIB_HEADER_SIZE + 4 * n)
                memcpy(table, (const BYTE*)bih + DIB_HEADER_SIZE, 4 * n);
        }
        GlobalUnlock(g_hImage);
    }
    GlobalUnlock(h);
    return h;
}

// The block holding record 0 at least, made when the main window has not.
static int ensure_history(void)
{
    if (g_hEditHistory)
        return 1;
    g_hEditHistory = GlobalAlloc(GHND, sizeof(EditRecord));
    g_editCount = 0;
    return g_hEditHistory != NULL;
}

static void save_merge_placement(EditRecord* r)
{
    r->flag = (UINT)g_mergePlaced;
    r->params[0] = g_rcMerge.left;
    r->params[1] = g_rcMerge.top;
    r->params[2] = g_rcMerge.right;
    r->params[3] = g_rcMerge.bottom;
    // Blue, green, red from the COLORREF, fourth byte unused.
    r->color = (DWORD)GetBValue(g_mergeKeyColor) | ((DWORD)GetGValue(g_mergeKeyColor) << 8)
             | ((DWORD)GetRValue(g_mergeKeyColor) << 16);
}

static void save_edit_rect(EditRecord* r)
{
    r->params[0] = g_rcEditOp.left;
    r->params[1] = g_rcEditOp.top;
    r->params[2] = g_rcEditOp.right;
    r->params[3] = g_rcEditOp.bottom;
}

void push_edit_record(UINT op, UINT arg)
{
    // A history that cannot grow drops the new record and stays as it was;
    // the edit it would have held is in the picture all the same.
    HGLOBAL hGrown = NULL;
    if (ensure_history())
        hGrown = GlobalReAlloc(g_hEditHistory, (SIZE_T)(g_editCount + 2) * sizeof(EditRecord),
                               GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (hGrown)
        g_hEditHistory = hGrown;
    g_editHistory = hGrown ? (EditRecord*)GlobalLock(g_hEditHistory) : NULL;
    if (!g_editHistory) {
        note_unrecorded_change();
        return;
    }
    ++g_editCount;
    EditRecord* r = &g_editHistory[g_editCount];
    memset(r, 0, sizeof *r);
    r->op = op;
    r->arg = arg;

    switch (op) {
    case EDIT_TEXT:
        r->hData = save_text_block();
        break;
    case EDIT_MERGE_FILE:
        save_merge_placement(r);
        r->hData = g_hMergePath;
        g_hMergePath = NULL;
        break;
    case EDIT_MERGE_CLIPBOARD:
        r->arg = (UINT)g_mergeKind;
        save_merge_placement(r);
        r->hData = g_hMergeImage;
        r->hData2 = g_hMergeBits;
        g_hMergeImage = NULL;
        g_hMergeBits = NULL;
        break;
    case EDIT_PALETTE:
        r->flag = (UINT)g_hasTransparency;
        r->transparentIndex = g_transparentIndex;
        r->color = g_transparentDisplayColor;
        r->hData = save_color_table();
        break;
    case EDIT_FRAME:
        r->frameColor = g_frameColor;
        r->frameColorCopy = g_frameColorAdjusted;
        r->frameIndex = g_frameColorIndex;
        r->frameIndexCopy = g_frameColorIndexAdjusted;
        r->frameTransparent = (UINT)g_frameUseIndex;
        save_edit_rect(r);
        break;
    case EDIT_CROP:
    case EDIT_RESIZE:
    case EDIT_RESIZE_NO_SPLINE:
        save_edit_rect(r);
        break;
    case EDIT_RED_EYE:
        SetRect(&g_rcEditOp, (int)g_redEyePointCount, 0, 0, 0);
        save_edit_rect(r);
        r->hData = g_hRedEyePoints;
        g_hRedEyePoints = NULL;
        break;
    case EDIT_ROTATE_ANGLE:
    case EDIT_SKEW_H:
    case EDIT_SKEW_V:
        r->hData = alloc_copy(&g_rotateAngle, sizeof g_rotateAngle);
        break;
    }

    GlobalUnlock(g_hEditHistory);
    g_editHistory = NULL;
}

void free_edit_record(EditRecord* r)
{
    if (r->op == EDIT_TEXT && r->hData) {
        EditTextBlock* block = (EditTextBlock*)GlobalLock(r->hData);
        if (block) {
            if (block->hText)
                GlobalFree(block->hText);
            GlobalUnlock(r->hData);
        }
    }
    // A clipboard metafile source is an enhanced-metafile handle, not a block.
    if (r->op == EDIT_MERGE_CLIPBOARD && r->arg == MERGE_EMF && r->hData)
        DeleteEnhMetaFile((HENHMETAFILE)r->hData);
    else if (r->hData)
        GlobalFree(r->hData);
    if (r->op == EDIT_MERGE_CLIPBOARD && r->hData2)
        GlobalFree(r->hData2);
    r->hData = NULL;
    r->hData2 = NULL;
}

static void let_kept_picture_go(void)
{
    if (s_kept.image)
        GlobalFree(s_kept.image);
    if (s_kept.unconverted)
        GlobalFree(s_kept.unconverted);
    s_kept.image = s_kept.unconverted = NULL;
}

// Copies of the image and of its unconverted copy (when there is one),
// both or neither.
static int copy_images(HGLOBAL image, HGLOBAL unconverted, HGLOBAL* image_copy, HGLOBAL* unconverted_copy)
{
    *image_copy = image ? copy_packed_dib(image) : NULL;
    *unconverted_copy = unconverted ? copy_packed_dib(unconverted) : NULL;
    if (*image_copy && (!unconverted || *unconverted_copy))
        return 1;
    if (*image_copy)
        GlobalFree(*image_copy);
    if (*unconverted_copy)
        GlobalFree(*unconverted_copy);
    *image_copy = *unconverted_copy = NULL;
    return 0;
}

static void keep_picture_shown(void)
{
    if (!copy_images(g_hImage, g_hImageUnconverted, &s_kept.image, &s_kept.unconverted))
        return;
    s_kept.conversion = g_colorConversion;
    s_kept.brightness_step = g_brightnessStep;
    s_kept.orientation = g_imageOrientation;
    memcpy(s_kept.base_table, g_baseColorTable, sizeof s_kept.base_table);
    s_kept.has_transparency = g_hasTransparency;
    s_kept.transparent_index = g_transparentIndex;
    s_kept.transparent_color = g_transparentDisplayColor;
}

int has_kept_picture(void)
{
    return s_kept.image != NULL;
}

int put_back_kept_picture(void)
{
    HGLOBAL image, unconverted;
    if (!has_kept_picture() || !copy_images(s_kept.image, s_kept.unconverted, &image, &unconverted))
        return 0;
    if (g_hImage)
        GlobalFree(g_hImage);
    if (g_hImageUnconverted)
        GlobalFree(g_hImageUnconverted);
    g_hImage = image;
    g_hImageUnconverted = unconverted;
    g_colorConversion = s_kept.conversion;
    g_brightnessStep = s_kept.brightness_step;
    g_imageOrientation = s_kept.orientation;
    memcpy(g_baseColorTable, s_kept.base_table, sizeof g_baseColorTable);
    g_hasTransparency = s_kept.has_transparency;
    g_transparentIndex = s_kept.transparent_index;
    g_transparentDisplayColor = s_kept.transparent_color;
    return 1;
}

void note_unrecorded_change(void)
{
    let_kept_picture_go();
    g_unrecordedChanges = 1;
}

void clear_edit_history(void)
{
    let_kept_picture_go();
    if (!ensure_history())
        return;
    g_editHistory = (EditRecord*)GlobalLock(g_hEditHistory);
    if (!g_editHistory)
        return;
    for (UINT i = 1; i <= g_editCount; ++i)
        free_edit_record(&g_editHistory[i]);
    GlobalUnlock(g_hEditHistory);
    g_editHistory = NULL;

    // Shrinking cannot fail in practice; if it does, the records beyond 0
    // are already empty and the larger block is kept.
    HGLOBAL hShrunk = GlobalReAlloc(g_hEditHistory, sizeof(EditRecord), GMEM_MOVEABLE);
    if (hShrunk)
        g_hEditHistory = hShrunk;
    g_editCount = 0;
    g_unrecordedChanges = 0;

    g_editHistory = (EditRecord*)GlobalLock(g_hEditHistory);
    if (!g_editHistory)
        return;
    EditRecord* r = &g_editHistory[0];
    r->op = 0;
    r->arg = 0;
    r->flag = (UINT)g_hasTransparency;
    r->transparentIndex = g_transparentIndex;
    r->color = g_transparentDisplayColor;
    r->hData = NULL;
    GlobalUnlock(g_hEditHistory);
    g_editHistory = NULL;
}

void drop_edit_history(void)
{
    clear_edit_history();
    g_unrecordedChanges = 1;
    keep_picture_shown();
}
