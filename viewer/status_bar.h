// The status bars of the main window, the image window, the slideshow, the
// crop, text and merge tools, the batch window and the STRETCH dialog. Each
// has a "Bar" progress strip inside its first part (the strips' handles are
// kept with the progress indicator, image/progress.h); the main, image and
// slideshow bars show the comment text in their second part. The tools
// write their further parts themselves.
#pragma once

#include <windows.h>

enum StatusBarKind {
    STATUS_MAIN,
    STATUS_VIEW,
    STATUS_SLIDE,
    STATUS_CROP,
    STATUS_TEXT,
    STATUS_MERGE,
    STATUS_BATCH,
    STATUS_STRETCH,
};

extern HWND g_hwndMainStatus;
extern int g_mainStatusHeight;
extern HWND g_hwndViewStatus;
extern int g_viewStatusHeight;
extern HWND g_hwndSlideStatus;
extern int g_slideStatusHeight;
extern HWND g_hwndCropStatus;
extern int g_cropStatusHeight;
extern HWND g_hwndTextStatus;
extern int g_textStatusHeight;
extern HWND g_hwndMergeStatus;
extern int g_mergeStatusHeight;
extern HWND g_hwndBatchStatus;
extern int g_batchStatusHeight;
extern HWND g_hwndStretchStatus;
extern int g_stretchStatusHeight;

// Right edges of the parts of a bar width pixels wide (-1: to the end);
// returns the number of parts.
int status_bar_part_edges(int kind, int width, int edges[4]);

// Each makes its window's bar and strip, once, when the window is created.
// The main window's and the STRETCH dialog's bars go into their item 1030;
// the tools' bars into the "Dummy" backdrop they run over.
void create_main_status_bar(HWND hwndMain);
void create_view_status_bar(HWND hwndView);
void create_slide_status_bar(HWND hwndSlide);
void create_crop_status_bar(HWND hwndBackdrop);
void create_text_status_bar(HWND hwndBackdrop);
void create_merge_status_bar(HWND hwndBackdrop);
void create_batch_status_bar(HWND hwndBatch);
void create_stretch_status_bar(HWND hdlgStretch);

// Re-lay the parts and the strip after the window's size changed, and show
// the comment text in part 1.
void resize_main_status_bar(void);
void resize_view_status_bar(void);

// The comment text in part 1 of the slideshow's bar.
void show_slide_comment(void);
