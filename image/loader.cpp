// The selected-file loader and the release of the current image.
// Identification goes by the first bytes in a fixed order, so that a file
// with a misleading extension is still read by the right reader; a format
// whose reader is not part of the program is recognised and shows nothing.
#include "image/loader.h"

#include <io.h>
#include <vfw.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "formats/jbig.h"
#include "formats/jpeg2000.h"
#include "formats/png.h"
#include "formats/tiff_read.h"
#include "image/ani.h"
#include "image/animation_timer.h"
#include "image/background.h"
#include "image/bmp_read.h"
#include "image/current_image.h"
#include "image/file_names.h"
#include "image/file_stamp.h"
#include "image/gif_anim.h"
#include "image/gif_read.h"
#include "image/icon.h"
#include "image/iff_read.h"
#include "image/merge_readers.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_preview.h"
#include "image/metafile_view.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/pcx.h"
#include "image/pixel_ceiling.h"
#include "image/pnm.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "image/sun_icon.h"
#include "image/targa.h"
#include "image/temp_file.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "tools/color_reduce.h"
#include "tools/edit_history.h"
#include "tools/edit_replay.h"
#include "viewer/status_bar.h"

char g_listDir[260];
HFILE g_hFile = HFILE_ERROR;
int g_imageIs32Bit;
int g_iconIndex = 1;
int g_iconCount = 1;
int g_pageStep;
int g_iconStep;
int g_pageHintShown;
int g_slideForward = 1;
int g_reloadShownFile;

// The list entry g_filePath was loaded from: a reload names the file by it
// again, whatever a step command wrote into g_fileName meanwhile.
static char s_shownEntry[260];
HWND g_hwndStepping;
HPALETTE g_hPalette;

static bool extension_is(const char* extension, const char* wanted)
{
    return lstrcmpiA(extension, wanted) == 0;
}

int identify_file(const BYTE b[10], size_t n, const BYTE at128[4], const char* ext)
{
    if (n >= 2 && b[0] == 'B' && b[1] == 'M')
        return IDENT_BMP;
    if (n >= 2 && b[0] == 'G' && b[1] == 'I')
        return IDENT_GIF;
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xD8)
        return IDENT_JPEG;
    if (n >= 4 && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51)
        return IDENT_J2K;
    if (n >= 6 && !b[0] && !b[1] && !b[2] && b[3] == 0x0C && b[4] == 'j' && b[5] == 'P')
        return IDENT_JP2;
    if (n >= 4 && b[0] == 0x59 && b[1] == 0xA6 && b[2] == 0x6A && b[3] == 0x95)
        return IDENT_SUN_RASTER;
    if (n >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '7' &&
        (extension_is(ext, "PBM") || extension_is(ext, "PGM") || extension_is(ext, "PNM") ||
         extension_is(ext, "PPM") || extension_is(ext, "PGX")))
        return IDENT_PNM;
    if (n >= 2 && b[0] == 0x0A && b[1] <= 5 && b[1] != 1)
        return IDENT_PCX;
    if (n >= 2 && ((b[0] == 'I' && b[1] == 'I') || (b[0] == 'M' && b[1] == 'M')))
        return IDENT_TIFF;
    if (n >= 4 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
        return IDENT_PNG;
    if (n >= 4 && !std::memcmp(b, "FORM", 4))
        return IDENT_IFF;
    if (n >= 4 && !std::memcmp(b, "RIFF", 4))
        return IDENT_RIFF;
    if (n >= 4 && !std::memcmp(b, "MThd", 4))
        return IDENT_MIDI;
    if (n >= 8 && (!std::memcmp(b + 4, "mdat", 4) || !std::memcmp(b + 4, "moov", 4)))
        return IDENT_QUICKTIME;
    if (n >= 2 && b[0] == 0xFF && (b[1] & 1) && extension_is(ext, "MP3"))
        return IDENT_MP3;
    static const BYTE ASF[8] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    if (n >= 8 && !std::memcmp(b, ASF, 8))
        return IDENT_ASF;
    if (n >= 4 && !b[0] && !b[1] && (b[2] == 1 || b[2] == 2) && !b[3] &&
        (extension_is(ext, "ICO") || extension_is(ext, "ICN") || extension_is(ext, "CUR")))
        return IDENT_ICON;
    if (n >= 2 && b[0] == '/' && b[1] == '*' && extension_is(ext, "ICO"))
        return IDENT_SUN_ICON;
    if (n >= 2 && b[0] == 0xD7 && b[1] == 0xCD)
        return IDENT_PLACEABLE_WMF;
    if (extension_is(ext, "WMF"))
        return IDENT_WMF;
    if (extension_is(ext, "EMF"))
        return IDENT_EMF;
    if (extension_is(ext, "TGA"))
        return IDENT_TARGA;
    if (extension_is(ext, "JBG"))
        return IDENT_JBIG;
    if (extension_is(ext, "MPA") || extension_is(ext, "MPE") || extension_is(ext, "MPG") ||
        extension_is(ext, "MP3"))
        return IDENT_MPEG;
    if (at128[0] == 'G' && at128[1] == 'I')
        return IDENT_MACBINARY_GIF;
    if ((at128[0] == 'I' && at128[1] == 'I' && at128[2] == 0x2A && at128[3] == 0) ||
        (at128[0] == 'M' && at128[1] == 'M' && at128[2] == 0 && at128[3] == 0x2A))
        return IDENT_MACBINARY_TIFF;
    return IDENT_UNKNOWN;
}

static void close_identification_handle(void)
{
    if (g_hFile != HFILE_ERROR) {
        _lclose(g_hFile);
        g_hFile = HFILE_ERROR;
    }
}

static void free_image_block(HGLOBAL* handle)
{
    if (*handle) {
        GlobalFree(*handle);
        *handle = NULL;
    }
}

// The main window's bar and the bar of the window the file is shown in:
// the image window's, or the slideshow's while a slide is read.
static void refresh_status_bars(void)
{
    resize_main_status_bar();
    if (g_hwndView && IsWindow(g_hwndView))
        resize_view_status_bar();
    if (g_hwndStepping && g_hwndStepping == g_hwndSlide && !g_hideStatusBar)
        show_slide_comment();
}

// Frees the image by its kind (the part of a release both callers share).
static void free_image_by_kind(void)
{
    if (g_imageKind == KIND_ANIMATED_GIF || g_imageKind == KIND_ICON_PAGES || g_imageKind == KIND_ANI) {
        stop_animation_timer(g_hwndMain);
        close_identification_handle();
    }
    switch (g_imageKind) {
    case KIND_ANIMATED_GIF:
        free_gif_animation();
        if (g_hPalette) {
            DeleteObject(g_hPalette);
            g_hPalette = NULL;
        }
        if (g_hImage)
            GlobalFree(g_hImage);
        break;
    case KIND_EMF:
        if (g_hImage)
            DeleteEnhMetaFile((HENHMETAFILE)g_hImage);
        free_image_block(&g_hImageUnconverted);
        break;
    case KIND_WMF:
        if (g_hImage)
            DeleteMetaFile((HMETAFILE)g_hImage);
        break;
    case KIND_ANI:
        free_ani_frames();  // g_hImage is one of the frames
        break;
    default:
        if (g_hImage)
            GlobalFree(g_hImage);
        break;
    }
    g_hImage = NULL;
    // A metafile whose play was cut is played again once loaded anew, and
    // no window keeps pixels of the picture released.
    forget_failed_metafiles(NULL);
    forget_metafile_views(NULL);
}

void release_current_image(void)
{
    g_pageStep = 0;
    free_image_by_kind();
    g_imageKind = KIND_NONE;
    g_infoText[0] = '\0';
    if (g_hComment) {
        GlobalFree(g_hComment);
        g_hComment = NULL;
        refresh_status_bars();
    }
    g_pageIndex = g_pageCount = 1;
    g_pageHintShown = 0;
    g_imageOrientation = 0;
    g_colorConversion = 0;
    free_image_block(&g_hImageUnconverted);
    g_brightnessStep = 0;
}

void release_image_for_new_selection(HWND hwndMain)
{
    if (g_imageKind == KIND_MULTIMEDIA) {
        close_media_window();
        g_imageKind = KIND_NONE;
        ShowWindow(GetDlgItem(hwndMain, IDC_MAIN_PREVIEW), SW_SHOW);
        return;
    }
    free_image_by_kind();
    // A list being refilled holds nothing; its kind tells the load that
    // follows to read nothing.
    if (g_imageKind != KIND_LIST_REFRESH)
        g_imageKind = KIND_NONE;
}

// ---- the readers as the table calls them

// How the load goes on after a reader.
enum ReadEnd {
    READ_THEN_AFTER_STEPS,  // the after-read steps adapt and show g_hImage (null: nothing)
    READ_SHOWN,             // the reader showed the file itself; the loader ends
    READ_ENDED,             // nothing to show and nothing more to do; the loader ends
};

// One row of the reader table: an identification result, the ImageKind it
// is read as and its FormatCode. A reader call fills g_hImage (and may
// correct the kind or code it was given); its arguments come from the
// current-image state.
struct ReaderRow {
    int identity;            // FileIdentity
    int kind;                // ImageKind set before the reader runs
    int format;              // FormatCode; FMT_NONE: the reader call sets it, if at all
    int format_before_read;  // set before the read and kept on failure; else set on success
    int closes_handle;       // the reader opens the file by name: the identification handle closes first
    ReadEnd (*read)(HWND hwndMain, HWND owner);
    SourceReader read_source;  // the same file as a merge source; null: not read as one
    // Most pixels a byte of the format's data can become, over all its
    // codings, truncation allowance included: the read's pixel ceiling
    // (pixel_ceiling.h). 0: the format holds no pixels of its own.
    uint32_t pixels_per_byte;
};

// The first byte of the info header's size picks the BMP reader; any other
// size shows nothing.
static HGLOBAL read_bmp_by_header(HWND owner)
{
    BYTE header_size = 0;
    _llseek(g_hFile, 14, FILE_BEGIN);
    if (_lread(g_hFile, &header_size, 1) != 1)
        header_size = 0;
    _llseek(g_hFile, 0, FILE_BEGIN);
    int frame_left = 0, frame_top = 0;
    HFILE file = g_hFile;
    // The readers close the handle themselves.
    switch (header_size) {
    case 40:
    case 56:
    case 108:
    case 124:
        g_hFile = HFILE_ERROR;
        return read_bmp_file(file, owner, g_infoText, &frame_left, &frame_top, &g_screenWidth,
                             &g_screenHeight, header_size);
    case 12:
        g_hFile = HFILE_ERROR;
        return read_os2_bmp_file(file, owner, g_infoText, &frame_left, &frame_top, &g_screenWidth,
                                 &g_screenHeight);
    case 64:
        g_hFile = HFILE_ERROR;
        return read_os2v2_bmp_file(file, owner, g_infoText, &frame_left, &frame_top,
                                   &g_screenWidth, &g_screenHeight);
    default:
        return NULL;
    }
}

static ReadEnd read_bmp(HWND, HWND owner)
{
    g_hImage = read_bmp_by_header(owner);
    return READ_THEN_AFTER_STEPS;
}

static void set_view_title(void)
{
    char title[400];
    std::snprintf(title, sizeof title, "%s     %llu bytes", g_fileName, (unsigned long long)g_fileSize);
    SetWindowTextA(g_hwndView, title);
}

// Shows the Windows metafile just read: in the image window when it is
// open, else played into the fitted preview rectangle.
static void show_windows_metafile(HWND owner)
{
    if (!g_hImage)
        return;
    if (g_hwndView && IsWindow(g_hwndView)) {
        set_view_title();
        InvalidateRect(g_hwndPreview, NULL, TRUE);
        g_wmfFirstPlay = 1;
        InvalidateRect(g_hwndView, NULL, TRUE);
        return;
    }
    show_metafile_in_preview(owner, g_hdcPreview, 1);
}

static ReadEnd read_windows_metafile(HWND owner, int placeable)
{
    g_wmfHasPlaceable = placeable;
    HFILE file = g_hFile;
    g_hFile = HFILE_ERROR;  // the reader closes it
    g_hImage = (HGLOBAL)read_wmf_file(owner, g_filePath, file, g_infoText, placeable, &g_rcMetafile,
                                      &g_wmfScale, &g_wmfPlaceableHeader);
    show_windows_metafile(owner);
    // A failed read goes on to the after-read steps, which leave the state
    // of an empty selection (no kind, an empty preview); so does an EMF's.
    return g_hImage ? READ_SHOWN : READ_THEN_AFTER_STEPS;
}

static ReadEnd read_placeable_wmf(HWND, HWND owner)
{
    return read_windows_metafile(owner, 1);
}

static ReadEnd read_plain_wmf(HWND, HWND owner)
{
    return read_windows_metafile(owner, 0);
}

// The enhanced metafile is held as the handle alone: a large file's bytes
// are not kept twice (the writers and plays take them from the handle).
static ReadEnd read_enhanced_metafile(HWND hwndMain, HWND owner)
{
    HENHMETAFILE emf = read_emf_file(owner, g_filePath, NULL);
    if (!emf)
        return READ_THEN_AFTER_STEPS;
    // The system copies the description by its count, wherever that ends.
    ENHMETAHEADER header;
    std::memset(&header, 0, sizeof header);
    bool description_fits = GetEnhMetaFileHeader(emf, sizeof header, &header) != 0 &&
                            (uint64_t)header.offDescription + 2ull * header.nDescription <= header.nSize;
    g_hImage = (HGLOBAL)emf;

    // The description holds the application, then the picture's title.
    UINT description = description_fits ? GetEnhMetaFileDescriptionA(emf, 0, NULL) : 0;
    if (description != 0 && description != GDI_ERROR) {
        char* text = new (std::nothrow) char[description + 1];
        if (text) {
            GetEnhMetaFileDescriptionA(emf, description, text);
            text[description] = '\0';
            size_t first = std::strlen(text);
            if (first + 1 < description) {
                const char* title = text + first + 1;
                size_t title_length = std::strlen(title);
                g_hComment = GlobalAlloc(GHND, title_length + 1);
                char* comment = g_hComment ? (char*)GlobalLock(g_hComment) : NULL;
                if (comment) {
                    std::memcpy(comment, title, title_length + 1);
                    GlobalUnlock(g_hComment);
                }
            }
            delete[] text;
        }
    }

    HDC main_dc = GetDC(hwndMain);
    get_emf_info(emf, g_infoText, &g_rcMetafile, main_dc);
    ReleaseDC(hwndMain, main_dc);
    fit_image_rect(g_rcMetafile.right - g_rcMetafile.left, g_rcMetafile.bottom - g_rcMetafile.top, 1);
    refresh_status_bars();
    if (g_hwndView && IsWindow(g_hwndView)) {
        set_view_title();
        InvalidateRect(g_hwndPreview, NULL, TRUE);
        InvalidateRect(g_hwndView, NULL, TRUE);
    } else {
        draw_current_metafile(g_hdcPreview);
    }
    return READ_SHOWN;
}

// Reads one GIF frame; with animate, a file with further frames starts its
// animation, and the loader ends there.
static ReadEnd read_gif(HWND owner, bool animate)
{
    g_gifContinuing = 0;
    g_animDelay = 12;
    g_hasTransparency = 0;
    g_gifDisposal = 0;
    g_gifFrameNumber = 0;
    if (!alloc_gif_lzw_tables()) {
        close_identification_handle();
        g_hImage = NULL;
        g_imageKind = KIND_NONE;
        return READ_ENDED;
    }
    g_hImage = read_gif_frame(g_hFile, owner, g_infoText, &g_gifContinuing, &g_animDelay, &g_frameLeft,
                              &g_frameTop, &g_screenWidth, &g_screenHeight, &g_hasTransparency,
                              &g_gifBackgroundColor, &g_transparentDisplayColor, &g_transparentIndex,
                              &g_gifDisposal, &g_gifFrameNumber, g_gifSuffixTable, g_gifPrefixTable,
                              g_gifStack, g_imageKind);
    free_gif_lzw_tables();

    if (animate && g_hImage && g_gifContinuing) {
        g_hPalette = seam_display_bits() <= 8 ? CreateHalftonePalette(g_hdcPreview) : NULL;
        if (!compose_gif_frame(g_hdcPreview, g_hwndPreview, 0)) {
            close_identification_handle();
            g_imageKind = KIND_DIB;
            return READ_THEN_AFTER_STEPS;
        }
        arm_animation_timer(g_hwndMain, gif_frame_period(g_animDelay));
        // The loader ends here, so the comment goes to the status bars now.
        refresh_status_bars();
        return READ_SHOWN;  // the file stays open for the next frames
    }

    if (g_hImage) {
        size_t length = std::strlen(g_infoText);
        std::snprintf(g_infoText + length, INFO_TEXT_SIZE - length, "\n# of GIF images: %d", g_gifFrameNumber);
        if (animate && g_hasTransparency) {
            // The transparent entry shows the viewer's background colour.
            BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
            if (bih) {
                if (g_transparentIndex < dib_color_count(bih)) {
                    RGBQUAD* entry = dib_color_table(bih) + g_transparentIndex;
                    entry->rgbRed = g_backgroundColors[g_backgroundColorIndex][0];
                    entry->rgbGreen = g_backgroundColors[g_backgroundColorIndex][1];
                    entry->rgbBlue = g_backgroundColors[g_backgroundColorIndex][2];
                }
                GlobalUnlock(g_hImage);
            }
        }
    }
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_gif_animated(HWND, HWND owner)
{
    return read_gif(owner, true);
}

// Behind a MacBinary header the reader finds the GIF at offset 128; such a
// file is never animated.
static ReadEnd read_gif_still(HWND, HWND owner)
{
    return read_gif(owner, false);
}

// 8-bit files go to the 8-bit library build, 12- and 16-bit ones to the
// 12-bit build; any other precision is not read.
static ReadEnd read_jpeg_by_precision(HWND, HWND)
{
    int precision = get_jpeg_precision(g_filePath);
    g_hImage = NULL;
    if (precision == 8) {
        g_hImage = read_jpeg_file(g_filePath, g_infoText);
        if (g_hImage)
            g_fileFormat = FMT_JPEG;
    } else if (precision == 12 || precision == 16) {
        seam_beep((UINT)-1);
        g_hImage = read_jpeg12_file(g_filePath, g_infoText);
        if (g_hImage)
            g_fileFormat = FMT_JPEG12;
    }
    return READ_THEN_AFTER_STEPS;
}

// ---- multimedia

// A medium is not read: its media window shows and plays it. READ_SHOWN when
// the window came; without one the file shows nothing.
static ReadEnd show_medium(int format, HWND hwndMain)
{
    close_identification_handle();
    g_hImage = NULL;
    g_imageKind = KIND_MULTIMEDIA;
    g_fileFormat = format;
    g_mciEnlarged = 0;
    g_hwndMci = show_multimedia_file(g_hInstance, g_filePath, g_rcPreview, g_hbrButtonFace, g_hpenButtonFace,
                                     g_hwndPreview, g_infoText);
    if (!is_window_open(g_hwndMci)) {
        g_hwndMci = NULL;
        g_imageKind = KIND_NONE;
        return READ_THEN_AFTER_STEPS;
    }
    if (MCIWndCanPlay(g_hwndMci)) {
        MCIWndPlay(g_hwndMci);
        if (format == FMT_MP3)
            SetTimer(hwndMain, g_mciTimerId, 3000, NULL);
    }
    return READ_SHOWN;
}

static ReadEnd read_animated_cursor(HWND hwndMain, HWND owner);

// The RIFF form type at offset 8 tells sound, video and MIDI apart; the
// rest (an animated cursor, or nothing) is read as a cursor.
static ReadEnd read_riff(HWND hwndMain, HWND owner)
{
    BYTE form[4] = {0};
    _llseek(g_hFile, 8, FILE_BEGIN);
    if (_lread(g_hFile, form, sizeof form) != sizeof form)
        std::memset(form, 0, sizeof form);
    if (!std::memcmp(form, "WAVE", 4))
        return show_medium(FMT_WAV, hwndMain);
    if (form[0] == 'A' && form[1] == 'V' && (form[2] & 0x49) == 0x49)
        return show_medium(FMT_AVI, hwndMain);
    if (!std::memcmp(form, "RMID", 4))
        return show_medium(FMT_RMI, hwndMain);
    return read_animated_cursor(hwndMain, owner);
}

static ReadEnd read_midi(HWND hwndMain, HWND) { return show_medium(FMT_MIDI, hwndMain); }
static ReadEnd read_quicktime(HWND hwndMain, HWND) { return show_medium(FMT_QUICKTIME, hwndMain); }
static ReadEnd read_mp3(HWND hwndMain, HWND) { return show_medium(FMT_MP3, hwndMain); }
static ReadEnd read_asf(HWND hwndMain, HWND) { return show_medium(FMT_ASF, hwndMain); }

static ReadEnd read_mpeg_by_extension(HWND hwndMain, HWND)
{
    return show_medium(extension_is(g_fileExt, "MP3") ? FMT_MP3 : FMT_MPEG, hwndMain);
}

// The TIFF header's first line and its byte order in the information text.
// The version word: 42 classic, 43 BigTIFF.
static int describe_tiff_header(const BYTE header[4], const char* first_line)
{
    bool intel = header[0] == 'I';
    int version = intel ? header[2] | header[3] << 8 : header[2] << 8 | header[3];
    const char* line = first_line;
    if (!line) {
        line = version == 42 ? "file type: TIFF" : version == 43 ? "file type: \"BIG\" TIFF"
                                                                 : "file type: TIFF? (unsupported or unknown version)";
        if (version == 43)
            seam_beep((UINT)-1);
    }
    std::snprintf(g_infoText, INFO_TEXT_SIZE, "%s%s", line, intel ? "\nbyte order: Intel" : "\nbyte order: Motorola");
    return version;
}

static ReadEnd read_tiff(HWND, HWND)
{
    BYTE header[4] = {0};
    if (_llseek(g_hFile, 0, FILE_BEGIN) == 0)
        _lread(g_hFile, header, sizeof header);
    close_identification_handle();
    int version = describe_tiff_header(header, NULL);
    g_hImage = read_tiff_file(g_filePath, g_infoText, &g_fileFormat, &g_pageIndex, &g_pageCount, g_hInstance);
    g_imageOrientation = 0;
    if (g_hImage && version == 43)
        g_fileFormat = FMT_BIGTIFF;
    return READ_THEN_AFTER_STEPS;
}

int copy_file_from_offset(const char* from, long offset, const char* to)
{
    FILE* in = std::fopen(from, "rb");
    FILE* out = std::fopen(to, "wb");
    bool copied = in && out && std::fseek(in, offset, SEEK_SET) == 0;
    char chunk[16384];
    size_t n;
    while (copied && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        copied = std::fwrite(chunk, 1, n, out) == n;
    if (in)
        std::fclose(in);
    if (out && std::fclose(out) != 0)
        copied = false;
    return copied;
}

// A TIFF behind a 128-byte MacBinary header is read from a copy without it.
static ReadEnd read_macbinary_tiff(HWND, HWND)
{
    BYTE header[4] = {0};
    if (_llseek(g_hFile, 128, FILE_BEGIN) == 128)
        _lread(g_hFile, header, sizeof header);
    close_identification_handle();
    seam_beep((UINT)-1);
    g_hImage = NULL;
    char* temp = make_temp_file_name();
    if (!temp)
        return READ_THEN_AFTER_STEPS;
    bool copied = copy_file_from_offset(g_filePath, 128, temp);
    if (copied) {
        describe_tiff_header(header, "file type: TIFF (MAC)");
        g_hImage = read_tiff_file(temp, g_infoText, &g_fileFormat, &g_pageIndex, &g_pageCount, g_hInstance);
        refresh_status_bars();
        g_imageOrientation = 0;
    }
    delete_temp_file(temp);
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_png(HWND, HWND)
{
    g_hImage = read_png_file(g_filePath, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

// The colour-managed decoder first, then with a beep the plain one; a
// "relax.jp2" goes to the plain one at once. The code is set again before
// the second try and becomes 47 when both fail.
static ReadEnd read_jpeg2000(HWND, HWND)
{
    int format = g_fileFormat;
    bool plain_first = format == FMT_JP2 && lstrcmpiA(g_fileName, "relax.jp2") == 0;
    g_hImage = plain_first ? read_jpeg2000_openjpeg(g_filePath, g_infoText, &g_fileFormat)
                           : read_jpeg2000_jasper(g_filePath, g_infoText);
    if (!g_hImage) {
        seam_beep((UINT)-1);
        g_infoText[0] = 0;
        g_fileFormat = format;
        g_hImage = read_jpeg2000_openjpeg(g_filePath, g_infoText, &g_fileFormat);
    }
    if (!g_hImage)
        g_fileFormat = FMT_NONE;
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_sun_raster(HWND, HWND)
{
    g_hImage = read_image_jasper(g_filePath, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_jbig(HWND, HWND)
{
    g_hImage = read_jbig_file(g_filePath, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

// The PBM family's code follows the type digit and the result's depth.
static ReadEnd read_pnm(HWND, HWND)
{
    g_hImage = read_pnm_file(g_filePath, g_infoText);
    if (!g_hImage)
        return READ_THEN_AFTER_STEPS;
    FILE* fp = std::fopen(g_filePath, "rb");
    int type = fp && std::fgetc(fp) == 'P' ? std::fgetc(fp) : 0;
    if (fp)
        std::fclose(fp);
    int bits = dib_bit_count(g_hImage);
    g_fileFormat = type == '7' ? FMT_PNM : bits == 1 ? FMT_PBM : bits == 4 || bits == 8 ? FMT_PGM
                                                                : bits == 24 ? FMT_PPM : FMT_NONE;
    return READ_THEN_AFTER_STEPS;
}

// The handle readers close the identification handle themselves.
static ReadEnd read_pcx(HWND, HWND owner)
{
    HFILE file = g_hFile;
    g_hFile = HFILE_ERROR;
    g_hImage = read_pcx_file(file, owner, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_targa(HWND, HWND owner)
{
    HFILE file = g_hFile;
    g_hFile = HFILE_ERROR;
    g_hImage = read_tga_file(file, owner, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_iff(HWND, HWND)
{
    HFILE file = g_hFile;
    g_hFile = HFILE_ERROR;
    g_hImage = read_iff_file(file, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_icon(HWND, HWND owner)
{
    g_hImage = read_icon_file(owner, NULL, g_infoText, &g_hFile, &g_iconCount, &g_iconIndex, 0, 0, g_imageKind);
    return READ_THEN_AFTER_STEPS;
}

static ReadEnd read_sun_icon(HWND, HWND owner)
{
    g_hImage = read_sun_icon_file(owner, g_filePath, g_infoText);
    return READ_THEN_AFTER_STEPS;
}

// RIFF files: an animated cursor starts at its first step; the after-read
// steps arm its timer. Other RIFF forms are not read here.
static ReadEnd read_animated_cursor(HWND, HWND owner)
{
    BYTE form[4] = {0};
    if (_llseek(g_hFile, 8, FILE_BEGIN) != 8 || _lread(g_hFile, form, 4) != 4 || std::memcmp(form, "ACON", 4)) {
        close_identification_handle();
        g_imageKind = KIND_NONE;
        return READ_THEN_AFTER_STEPS;
    }
    g_imageKind = KIND_ANI;
    g_iconIndex = 1;
    if (!read_ani_file(owner, &g_hFile, &g_subImageCount, &g_animStepCount, &g_hFrameRates, &g_hSubImages,
                       g_infoText))
        return READ_THEN_AFTER_STEPS;
    g_animStep = 0;
    g_hImage = next_ani_frame(&g_animDelay);
    if (!g_hImage)
        free_ani_frames();
    return READ_THEN_AFTER_STEPS;
}

// ---- the reader table

// One row per identification result that the program reads. Identities
// without a row are recognised but not read: nothing is shown.
static const ReaderRow READERS[] = {
    // identity, kind, FormatCode, code set before the read, handle closed first, reader call,
    // merge-source reader, pixels per byte
    {IDENT_BMP, KIND_DIB, FMT_NONE, 0, 0, read_bmp, read_bmp_source, 1707},  // Huffman: 2560 in 12 bits
    {IDENT_GIF, KIND_DIB, FMT_GIF, 0, 0, read_gif_animated, read_gif_source, 2731},  // 4096 in a 12-bit code
    // JPEG: a progressive block's first DC code takes a bit, twice that for a cut file;
    // arithmetic data that lasts to its end marker widens it (jpeg_read.h)
    {IDENT_JPEG, KIND_DIB, FMT_NONE, 0, 1, read_jpeg_by_precision, read_jpeg_source, 1024},
    {IDENT_PLACEABLE_WMF, KIND_WMF, FMT_NONE, 0, 0, read_placeable_wmf, read_wmf_source, 0},
    {IDENT_WMF, KIND_WMF, FMT_NONE, 0, 0, read_plain_wmf, read_wmf_source, 0},
    {IDENT_EMF, KIND_EMF, FMT_NONE, 0, 1, read_enhanced_metafile, read_emf_source, 0},
    {IDENT_MACBINARY_GIF, KIND_DIB, FMT_GIF, 0, 0, read_gif_still, read_macbinary_gif_source, 2731},  // as GIF
    {IDENT_RIFF, KIND_NONE, FMT_NONE, 0, 0, read_riff, read_ani_source, 8256},  // frames stored as PNG
    {IDENT_MIDI, KIND_MULTIMEDIA, FMT_NONE, 0, 0, read_midi, NULL, 0},
    {IDENT_QUICKTIME, KIND_MULTIMEDIA, FMT_NONE, 0, 0, read_quicktime, NULL, 0},
    {IDENT_MP3, KIND_MULTIMEDIA, FMT_NONE, 0, 0, read_mp3, NULL, 0},
    {IDENT_ASF, KIND_MULTIMEDIA, FMT_NONE, 0, 0, read_asf, NULL, 0},
    {IDENT_MPEG, KIND_MULTIMEDIA, FMT_NONE, 0, 0, read_mpeg_by_extension, NULL, 0},
    // TIFF: Group 4 fax codes a blank row of up to 2^18 pixels in one bit; each page narrows to its compression
    {IDENT_TIFF, KIND_DIB, FMT_NONE, 0, 0, read_tiff, read_tiff_source, 1u << 21},
    {IDENT_MACBINARY_TIFF, KIND_DIB, FMT_NONE, 0, 0, read_macbinary_tiff, read_macbinary_tiff_source, 1u << 21},
    // PNG: deflate's 1032:1 in 1-bit pixels
    {IDENT_PNG, KIND_DIB, FMT_PNG, 0, 1, read_png, read_png_source, 8256},
    // JPEG 2000: a cut stream; one that holds every tile widens it (jpeg2000.cpp)
    {IDENT_J2K, KIND_DIB, FMT_J2K, 1, 1, read_jpeg2000, read_jpeg2000_source, 1u << 16},
    {IDENT_JP2, KIND_DIB, FMT_JP2, 1, 1, read_jpeg2000, read_jpeg2000_source, 1u << 16},
    // Sun raster: runs expand 86:1 at most, in 1-bit pixels
    {IDENT_SUN_RASTER, KIND_DIB, FMT_NONE, 0, 1, read_sun_raster, read_sun_raster_source, 688},
    // JBIG: 2^15 decisions a coded bit, one a pixel
    {IDENT_JBIG, KIND_DIB, FMT_JBIG, 1, 1, read_jbig, read_jbig_source, 1u << 18},
    {IDENT_PNM, KIND_DIB, FMT_NONE, 0, 1, read_pnm, read_pnm_source, 16},  // P4: 8 a byte, twice
    {IDENT_PCX, KIND_DIB, FMT_NONE, 0, 0, read_pcx, read_pcx_source, 256},  // 1 bit: 63 bytes in 2
    {IDENT_TARGA, KIND_DIB, FMT_TARGA, 0, 0, read_targa, read_tga_source, 64},  // 128 in a 2-byte packet
    {IDENT_IFF, KIND_DIB, FMT_IFF, 0, 0, read_iff, read_iff_source, 512},  // 1 plane: 128 bytes in 2
    {IDENT_ICON, KIND_DIB, FMT_ICON, 0, 0, read_icon, read_icon_source, 8256},  // entries stored as PNG
    {IDENT_SUN_ICON, KIND_DIB, FMT_NONE, 0, 1, read_sun_icon, read_sun_icon_source, 16},  // 16 in a 1-digit item
};

static const ReaderRow* find_reader(int identity)
{
    for (const ReaderRow& row : READERS)
        if (row.identity == identity)
            return &row;
    return NULL;
}

SourceReader find_source_reader(int identity)
{
    const ReaderRow* row = find_reader(identity);
    return row ? row->read_source : NULL;
}

uint32_t reader_pixels_per_byte(int identity)
{
    const ReaderRow* row = find_reader(identity);
    return row ? row->pixels_per_byte : 0;
}

// Reads the identified file into g_hImage through its row. Returns false
// when the loader ends here (the reader showed the file itself), true when
// the after-read steps follow.
static bool read_identified(int identity, HWND hwndMain, HWND owner)
{
    const ReaderRow* row = find_reader(identity);
    g_hImage = NULL;
    if (!row) {
        close_identification_handle();
        g_imageKind = KIND_NONE;
        return true;
    }
    g_imageKind = row->kind;
    if (row->closes_handle)
        close_identification_handle();
    if (row->format != FMT_NONE && row->format_before_read)
        g_fileFormat = row->format;
    PixelCeiling outer = {0, 0};
    if (row->pixels_per_byte)
        outer = begin_pixel_ceiling(g_fileSize, row->pixels_per_byte);
    ReadEnd end = row->read(hwndMain, owner);
    if (row->pixels_per_byte)
        end_pixel_ceiling(outer);
    if (row->format != FMT_NONE && !row->format_before_read && (g_hImage || end == READ_SHOWN))
        g_fileFormat = row->format;
    return end == READ_THEN_AFTER_STEPS;
}

void stretch_into_preview(HDC dc, const BITMAPINFOHEADER* bih, HPALETTE palette)
{
    HPALETTE old_palette = NULL;
    if (palette) {
        old_palette = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    POINT origin;
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, &origin);
    stretch_dib_rows(dc, g_animDestX, g_animDestY, g_animDestWidth, g_animDestHeight, bih, 0, bih->biHeight);
    SetBrushOrgEx(dc, origin.x, origin.y, NULL);
    if (palette)
        SelectPalette(dc, old_palette, FALSE);
}

static void draw_dib_into_preview(HDC dc, HGLOBAL hDib)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return;
    HPALETTE palette = create_dib_palette(bih, NULL);
    stretch_into_preview(dc, bih, palette);
    if (palette)
        DeleteObject(palette);
    GlobalUnlock(hDib);
}

void draw_current_dib(HDC dc)
{
    if (g_hImage)
        draw_dib_into_preview(dc, g_hImage);
}

void draw_current_metafile(HDC dc)
{
    show_metafile_in_preview(NULL, dc, 0);
}

void write_page_captions(HWND hwndMain)
{
    const char* noun = g_iconFileType == 5 ? "Icon" : "Cursor";
    char numbers[80];
    if (g_fileFormat == FMT_ICON)
        std::snprintf(numbers, sizeof numbers, "%s %d of %d %ss", noun, g_iconIndex, g_iconCount, noun);
    else
        std::snprintf(numbers, sizeof numbers, "Page %d of %d Pages", g_pageIndex, g_pageCount);
    char text[400];
    std::snprintf(text, sizeof text, "%s     %s     ", g_fileName, numbers);
    SetDlgItemTextA(hwndMain, IDC_MAIN_NAME_EDIT, text);
    if (g_hwndView && IsWindow(g_hwndView)) {
        std::snprintf(text, sizeof text, "%s     %llu bytes     %s", g_fileName, (unsigned long long)g_fileSize,
                      numbers);
        SetWindowTextA(g_hwndView, text);
    }
}

// The captions of an icon file, and once per file the notice that a
// double-click shows the next icon.
static void show_icon_numbers(HWND hwndMain)
{
    const char* noun = g_iconFileType == 5 ? "Icon" : "Cursor";
    char text[400];
    write_page_captions(hwndMain);
    // A next-file step gives its own notice.
    if (g_pageHintShown || g_hwndStepping)
        return;
    g_pageHintShown = 1;
    if (g_hwndView && IsWindow(g_hwndView))
        return;
    std::snprintf(text, sizeof text, "%s %d of %d %ss. \n\nDouble-click on image to view next %s.", noun, g_iconIndex,
                  g_iconCount, noun, noun);
    seam_message_box(g_hwndPreview, text, g_iconFileType == 5 ? "Multiple Icon Images" : "Multiple Cursor Images",
                     MB_OK);
}

// Reduces, flattens and records the fresh image; then shows it.
static void after_read(HWND hwndMain)
{
    POINT origin;
    SetStretchBltMode(g_hdcPreview, HALFTONE);
    SetBrushOrgEx(g_hdcPreview, 0, 0, &origin);
    SetBrushOrgEx(g_hdcPreview, origin.x, origin.y, NULL);

    if (g_hImage) {
        compact_dib_depth(&g_hImage);
        g_imageIs32Bit = get_image_bit_count() == 32;
        if (!g_disableAlpha)
            flatten_alpha_onto_background(&g_hImage, g_backgroundColorIndex);
        int display_bits = seam_display_bits();
        if (g_imageKind == KIND_DIB && display_bits == 8 && get_image_bit_count() > 8)
            reduce_colors(&g_hImage, &g_hImageUnconverted, -256, 0, 0, 1);
        if (g_imageKind == KIND_DIB && display_bits == 4 && !is_black_white_palette(g_hImage))
            reduce_colors(&g_hImage, &g_hImageUnconverted, 256, 0, 0, 1);
        if (g_undoPending && g_imageKind == KIND_DIB && g_editCount > 0) {
            const int pending = g_undoPending;
            g_undoPending = 0;
            if (pending == RELOAD_KEEPS_EDITS)
                replay_edit_history();
            else
                undo_last_edit();
        } else {
            clear_edit_history();
        }
    } else {
        g_imageKind = KIND_NONE;
    }

    if (g_hImage && !g_hwndView) {
        draw_dib_into_preview(g_hdcPreview, g_hImage);
    } else if (g_hwndView && IsWindow(g_hwndView)) {
        if (!g_hImage)
            fit_image_rect(1, 1, 1);
        InvalidateRect(g_hwndPreview, NULL, TRUE);
        char title[400];
        std::snprintf(title, sizeof title, "%s     %llu bytes", g_fileName, (unsigned long long)g_fileSize);
        SetWindowTextA(g_hwndView, title);
        InvalidateRect(g_hwndView, NULL, TRUE);
    } else {
        fit_image_rect(1, 1, 1);
    }

    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    if (g_imageKind == KIND_DIB && tiff && g_pageCount > 1 && !g_hwndSlide) {
        write_page_captions(hwndMain);
        if (!g_hwndStepping)
            g_pageHintShown = 1;
    }
    if (g_imageKind == KIND_DIB && g_fileFormat == FMT_ICON && g_iconCount > 1 && !g_hwndSlide)
        show_icon_numbers(hwndMain);
    if (g_hImage && (g_imageKind == KIND_ICON_PAGES || g_imageKind == KIND_ANI)) {
        arm_animation_timer(hwndMain, g_animDelay * 9);
        return;  // icon pages step on through the open handle
    }
    close_identification_handle();
}

// A list entry in full. The list is the listing of the current folder,
// which no file dialog leaves moved (they run under the hold, which keeps
// every load waiting, and put the folder back); a typed full name stays.
static int resolve_list_entry(const char* entry, char* path, size_t size)
{
    DWORD length = GetFullPathNameA(entry, (DWORD)size, path, NULL);
    return length > 0 && length < size;
}

// The entry of list reading text (in any letter case, as the search
// finds it) that names the file at path; LB_ERR when none does.
static LRESULT find_entry_by_text(HWND list, const char* text, const char* path)
{
    LRESULT first = LB_ERR;
    for (LRESULT at = -1;;) {
        at = SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)at, (LPARAM)text);
        // The search goes round the list: back at the first match, done.
        if (at == LB_ERR || at == first)
            return LB_ERR;
        if (first == LB_ERR)
            first = at;
        char entry[MAX_PATH], full[MAX_PATH];
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)at, 0);
        if (length != LB_ERR && length < (LRESULT)sizeof entry &&
            SendMessageA(list, LB_GETTEXT, (WPARAM)at, (LPARAM)entry) != LB_ERR &&
            resolve_list_entry(entry, full, sizeof full) && is_same_file(full, path))
            return at;
    }
}

LRESULT find_list_entry_of(HWND list, const char* path, const char* listed_as)
{
    if (!list || !path || !path[0])
        return LB_ERR;
    // Its name as listed, the name its folder gives it, or the full path a
    // batch move put in the list.
    char name[MAX_PATH];
    listed_file_name(path, name, sizeof name);
    const char* texts[] = {listed_as, name, path};
    for (const char* text : texts) {
        LRESULT entry = text && text[0] ? find_entry_by_text(list, text, path) : LB_ERR;
        if (entry != LB_ERR)
            return entry;
    }
    return LB_ERR;
}

LRESULT find_shown_file_entry(HWND list)
{
    return find_list_entry_of(list, g_filePath, g_fileName);
}

void follow_moved_shown_file(HWND hwndMain, const char* source, const char* target)
{
    // A file renamed into other letters is found under both names.
    if (!source || !target || !g_filePath[0] || std::strlen(target) >= sizeof g_filePath ||
        !is_same_file(source, g_filePath) || GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES ||
        (GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES && !is_same_file(source, target)))
        return;
    lstrcpynA(g_filePath, target, sizeof g_filePath);
    // Named as the list names it where it lists the file's folder, else in
    // full, so that no namesake the list shows is taken for it.
    char name[MAX_PATH], folder[MAX_PATH], current[MAX_PATH];
    listed_file_name(target, name, sizeof name);
    DWORD here = GetCurrentDirectoryA(sizeof current, current);
    const bool listed = here > 0 && here < sizeof current && path_folder(target, folder, sizeof folder) &&
                        is_same_file(folder, current);
    lstrcpynA(g_fileName, listed ? name : target, sizeof g_fileName);
    lstrcpynA(s_shownEntry, g_fileName, sizeof s_shownEntry);
    std::memset(g_fileExt, 0, sizeof g_fileExt);
    const char* dot = std::strrchr(name, '.');
    if (dot)
        lstrcpynA(g_fileExt, dot + 1, sizeof g_fileExt);
    if (g_pageCount > 1 || g_iconCount > 1) {
        write_page_captions(hwndMain);
        return;
    }
    SetDlgItemTextA(hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
    if (g_hwndView && IsWindow(g_hwndView))
        set_view_title();
}

void load_selected_file(HWND hwndMain, RECT preview)
{
    (void)preview;
    g_hwndPreview = GetDlgItem(hwndMain, IDC_MAIN_PREVIEW);
    g_hdcPreview = GetDC(g_hwndPreview);
    g_infoText[0] = '\0';
    g_hasTransparency = 0;

    if (g_hComment) {
        GlobalFree(g_hComment);
        g_hComment = NULL;
    }
    if (g_hApp12Text) {
        GlobalFree(g_hApp12Text);
        g_hApp12Text = NULL;
    }
    // The freed comment leaves the bars too, also when nothing is read.
    refresh_status_bars();

    // An undo, another page or image of the file, or a command that asked
    // for it, reads the shown file again.
    const bool reload_asked = g_reloadShownFile || g_undoPending || g_pageStep || g_iconStep;
    g_reloadShownFile = 0;
    if (g_pageStep || g_iconStep) {
        g_pageStep = g_iconStep = 0;
        g_pageHintShown = 1;
    } else {
        g_pageIndex = g_pageCount = g_iconIndex = g_iconCount = 1;
        g_pageHintShown = 0;
    }

    HCURSOR old_cursor = NULL;
    bool have_file = false, shown_by_reader = false, reload = false;
    if (g_imageKind != KIND_LIST_REFRESH) {
        HWND list = GetDlgItem(hwndMain, IDC_MAIN_FILE_LIST);
        LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
        char entry[sizeof g_fileName] = "";
        if (selected != LB_ERR && SendMessageA(list, LB_GETTEXTLEN, selected, 0) < (LRESULT)sizeof entry)
            SendMessageA(list, LB_GETTEXT, selected, (LPARAM)entry);
        // A reload reads the shown file where it was loaded from, whatever
        // folder the list shows now; a selection of another entry since it
        // was asked for is a new file, and so is a namesake in another folder.
        reload = reload_asked && g_filePath[0] && (!entry[0] || selected == find_shown_file_entry(list));
        if (reload) {
            lstrcpynA(g_fileName, s_shownEntry, sizeof g_fileName);
        } else {
            // Another file: the shown file's edits are not replayed onto it,
            // nor kept for it should it not be read.
            g_undoPending = 0;
            clear_edit_history();
            lstrcpynA(g_fileName, entry, sizeof g_fileName);
            lstrcpynA(s_shownEntry, entry, sizeof s_shownEntry);
            GetCurrentDirectoryA(sizeof g_listDir - 1, g_listDir);
            size_t length = std::strlen(g_listDir);
            if (length > 0 && g_listDir[length - 1] != '\\')
                std::strcat(g_listDir, "\\");
            if (!entry[0] || !resolve_list_entry(entry, g_filePath, sizeof g_filePath))
                g_filePath[0] = '\0';
        }
    }
    // The palette window shows the shown file's colours: it goes with the
    // file, and stays open over a reload of it (refresh_palette_window).
    if (!reload && g_hwndPalette && IsWindow(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    if (g_imageKind != KIND_LIST_REFRESH) {
        std::memset(g_fileExt, 0, sizeof g_fileExt);
        const char* dot = std::strrchr(g_fileName, '.');
        if (dot)
            lstrcpynA(g_fileExt, dot + 1, sizeof g_fileExt);

        HANDLE hFind = g_filePath[0] ? FindFirstFileA(g_filePath, &g_findData) : INVALID_HANDLE_VALUE;
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            g_fileSize = ((uint64_t)g_findData.nFileSizeHigh << 32) | g_findData.nFileSizeLow;
            g_fileWriteTime = g_findData.ftLastWriteTime;
        } else {
            g_fileSize = 0;
            std::memset(&g_fileWriteTime, 0, sizeof g_fileWriteTime);
        }

        g_hFile = g_filePath[0] ? _lopen(g_filePath, OF_READ | OF_SHARE_DENY_NONE) : HFILE_ERROR;
        if (g_hFile == HFILE_ERROR) {
            // A slideshow passes over a file it cannot open without a word;
            // a step in the image window says so there.
            if (!g_hwndStepping || g_hwndStepping != g_hwndSlide)
                seam_message_box(g_hwndStepping ? g_hwndStepping : g_hwndPreview, "Error Opening File", NULL,
                                 MB_OK | MB_ICONSTOP);
            g_hImage = NULL;
        } else {
            have_file = true;
        }
    }

    if (have_file) {
        BYTE first[10] = {0};
        UINT got = _lread(g_hFile, first, sizeof first);
        if (got == (UINT)HFILE_ERROR)
            got = 0;
        BYTE at8[4] = {0}, at128[4] = {0};
        if (_llseek(g_hFile, 8, FILE_BEGIN) == 8)
            _lread(g_hFile, at8, sizeof at8);
        if (_llseek(g_hFile, 128, FILE_BEGIN) == 128)
            _lread(g_hFile, at128, sizeof at128);
        _llseek(g_hFile, 0, FILE_BEGIN);

        if (!g_hwndStepping)
            old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
        g_fileFormat = FMT_NONE;
        g_brightnessStep = 0;
        int identity = identify_file(first, got, at128, g_fileExt);
        show_progress(0, 0);
        // The readers' boxes belong to the window the file is shown in.
        bool go_on = read_identified(identity, hwndMain, g_hwndStepping ? g_hwndStepping : g_hwndPreview);
        show_progress(0, 0);
        if (go_on)
            refresh_status_bars();
        else
            shown_by_reader = true;
    }

    if (!shown_by_reader)
        after_read(hwndMain);
    // An undo whose reload failed must not leave this file's edits to be
    // replayed onto the next file opened.
    if (g_undoPending) {
        g_undoPending = 0;
        clear_edit_history();
    }
    if (old_cursor)
        SetCursor(old_cursor);
    ReleaseDC(g_hwndPreview, g_hdcPreview);
    g_hdcPreview = NULL;
}
