// Status bars and their progress strips (see status_bar.h). A part that has
// no text shows one blank: an empty text would leave the previous one.
#include "viewer/status_bar.h"

#include <string.h>

#include <commctrl.h>

#include "image/current_image.h"
#include "image/progress.h"
#include "resources/resource.h"

HWND g_hwndMainStatus;
int g_mainStatusHeight;
HWND g_hwndViewStatus;
int g_viewStatusHeight;
HWND g_hwndSlideStatus;
int g_slideStatusHeight;
HWND g_hwndCropStatus;
int g_cropStatusHeight;
HWND g_hwndTextStatus;
int g_textStatusHeight;
HWND g_hwndMergeStatus;
int g_mergeStatusHeight;
HWND g_hwndBatchStatus;
int g_batchStatusHeight;
HWND g_hwndStretchStatus;
int g_stretchStatusHeight;

int status_bar_part_edges(int kind, int width, int edges[4])
{
    switch (kind) {
    case STATUS_MAIN:
        edges[0] = width / 5;
        edges[1] = -1;
        return 2;
    case STATUS_VIEW:
    case STATUS_SLIDE:
        edges[0] = width / 4;
        edges[1] = -1;
        return 2;
    case STATUS_CROP:
        edges[0] = width / 8;
        edges[1] = 5 * width / 12;
        edges[2] = 17 * width / 24;
        edges[3] = -1;
        return 4;
    case STATUS_TEXT:
        edges[0] = width / 8;
        edges[1] = 5 * width / 16;
        edges[2] = 21 * width / 32;
        edges[3] = -1;
        return 4;
    case STATUS_MERGE:
        edges[0] = width / 8;
        edges[1] = 5 * width / 16;
        edges[2] = 9 * width / 16;
        edges[3] = -1;
        return 4;
    case STATUS_BATCH:
        edges[0] = width / 4;
        edges[1] = 5 * width / 8;
        edges[2] = -1;
        return 3;
    }
    edges[0] = -1;
    return 1;
}

static void set_parts(HWND hwndStatus, int kind, int width)
{
    int edges[4];
    int count = status_bar_part_edges(kind, width, edges);
    SendMessageA(hwndStatus, SB_SETPARTS, (WPARAM)count, (LPARAM)edges);
}

// Where the strip goes inside part 0 of a bar of the given height.
static RECT strip_rect(HWND hwndStatus, int bar_height)
{
    RECT part = {0, 0, 0, 0};
    SendMessageA(hwndStatus, SB_GETRECT, 0, (LPARAM)&part);
    RECT rc = {part.left + 4, part.top + 3, part.right - part.left - 8, bar_height - 8};
    return rc;  // left, top, width, height
}

static void create_status_bar(HWND parent, UINT id, int kind, HWND* phwndStatus, int* height,
                              HWND* phwndStrip)
{
    if (!parent)
        return;
    HWND hwndStatus = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, " ", parent, id);
    *phwndStatus = hwndStatus;
    if (!hwndStatus)
        return;
    RECT rc;
    GetWindowRect(hwndStatus, &rc);
    *height = rc.bottom - rc.top;
    set_parts(hwndStatus, kind, rc.right - rc.left);
    RECT strip = strip_rect(hwndStatus, *height);
    *phwndStrip = CreateWindowExA(WS_EX_CLIENTEDGE, "Bar", "A", WS_CHILD | WS_VISIBLE, strip.left,
                                  strip.top, strip.right, strip.bottom, hwndStatus, NULL,
                                  GetModuleHandleA(NULL), NULL);
}

void create_main_status_bar(HWND hwndMain)
{
    create_status_bar(hwndMain ? GetDlgItem(hwndMain, IDC_MAIN_STATUS_PLACE) : NULL, 2, STATUS_MAIN,
                      &g_hwndMainStatus, &g_mainStatusHeight, &g_hwndMainBar);
}

void create_view_status_bar(HWND hwndView)
{
    create_status_bar(hwndView, 0, STATUS_VIEW, &g_hwndViewStatus, &g_viewStatusHeight, &g_hwndViewBar);
}

void create_slide_status_bar(HWND hwndSlide)
{
    create_status_bar(hwndSlide, 1, STATUS_SLIDE, &g_hwndSlideStatus, &g_slideStatusHeight,
                      &g_hwndSlideBar);
}

void create_crop_status_bar(HWND hwndBackdrop)
{
    create_status_bar(hwndBackdrop, 3, STATUS_CROP, &g_hwndCropStatus, &g_cropStatusHeight, &g_hwndCropBar);
}

void create_text_status_bar(HWND hwndBackdrop)
{
    create_status_bar(hwndBackdrop, 3, STATUS_TEXT, &g_hwndTextStatus, &g_textStatusHeight, &g_hwndTextBar);
}

void create_merge_status_bar(HWND hwndBackdrop)
{
    create_status_bar(hwndBackdrop, 3, STATUS_MERGE, &g_hwndMergeStatus, &g_mergeStatusHeight,
                      &g_hwndMergeBar);
}

void create_batch_status_bar(HWND hwndBatch)
{
    create_status_bar(hwndBatch, 4, STATUS_BATCH, &g_hwndBatchStatus, &g_batchStatusHeight,
                      &g_hwndBatchBar);
}

void create_stretch_status_bar(HWND hdlgStretch)
{
    create_status_bar(hdlgStretch ? GetDlgItem(hdlgStretch, IDC_MAIN_STATUS_PLACE) : NULL, 5,
                      STATUS_STRETCH, &g_hwndStretchStatus, &g_stretchStatusHeight, &g_hwndStretchBar);
}

// Part 1 shows the comment text, or one blank when there is none. A comment
// block without its NUL is not shown rather than read past its end.
static void show_comment(HWND hwndStatus)
{
    const char* text = NULL;
    const char* locked = g_hComment ? (const char*)GlobalLock(g_hComment) : NULL;
    if (locked && memchr(locked, 0, GlobalSize(g_hComment)) && locked[0])
        text = locked;
    SendMessageA(hwndStatus, SB_SETTEXTA, 1, (LPARAM)(text ? text : " "));
    if (locked)
        GlobalUnlock(g_hComment);
}

static void resize_status_bar(HWND hwndStatus, HWND hwndStrip, int kind, int bar_height)
{
    if (!hwndStatus || !IsWindow(hwndStatus))
        return;
    // The bar first follows its parent's new width.
    SendMessageA(hwndStatus, WM_SIZE, 0, 0);
    RECT rc;
    GetClientRect(hwndStatus, &rc);
    set_parts(hwndStatus, kind, rc.right);
    if (hwndStrip && IsWindow(hwndStrip)) {
        RECT strip = strip_rect(hwndStatus, bar_height);
        MoveWindow(hwndStrip, strip.left, strip.top, strip.right, strip.bottom, TRUE);
    }
    show_comment(hwndStatus);
}

void resize_main_status_bar(void)
{
    resize_status_bar(g_hwndMainStatus, g_hwndMainBar, STATUS_MAIN, g_mainStatusHeight);
}

void resize_view_status_bar(void)
{
    resize_status_bar(g_hwndViewStatus, g_hwndViewBar, STATUS_VIEW, g_viewStatusHeight);
}

void show_slide_comment(void)
{
    if (g_hwndSlideStatus && IsWindow(g_hwndSlideStatus))
        show_comment(g_hwndSlideStatus);
}
