// Information texts of sound and video files and the media window that
// plays them (see multimedia.h). Every read of a media header is bounded by
// the file's real length: these files are often large and sometimes cut
// off, and a header value never moves a read past the end.
#include "image/multimedia.h"

#include <vfw.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/open_windows.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "viewer/image_window.h"
#include "viewer/status_bar.h"

UINT_PTR g_mciTimerId = 2;
HWND g_hwndMci;
int g_mciEnlarged;
int g_mciAreaWidth;
int g_mciAreaHeight;
RECT g_rcMciArea;
int g_mciBarHeight = MCI_BAR_HEIGHT;

// ---- bounded reading

namespace {

// An open media file with its length; reads at an offset never pass the end.
struct MediaFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    uint64_t size = 0;

    explicit MediaFile(const char* name)
    {
        handle = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL);
        LARGE_INTEGER length;
        if (handle != INVALID_HANDLE_VALUE && GetFileSizeEx(handle, &length))
            size = (uint64_t)length.QuadPart;
    }
    ~MediaFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    bool is_open() const { return handle != INVALID_HANDLE_VALUE; }

    // True when all `length` bytes at `offset` lie in the file and were read.
    bool read_at(uint64_t offset, void* bytes, DWORD length)
    {
        if (!is_open() || offset > size || length > size - offset)
            return false;
        LARGE_INTEGER position;
        position.QuadPart = (LONGLONG)offset;
        DWORD got = 0;
        return SetFilePointerEx(handle, position, NULL, FILE_BEGIN) &&
               ReadFile(handle, bytes, length, &got, NULL) && got == length;
    }
};

uint32_t be32(const BYTE* b) { return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]; }
uint16_t be16(const BYTE* b) { return (uint16_t)(b[0] << 8 | b[1]); }
uint32_t le32(const BYTE* b) { return (uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0]; }
uint16_t le16(const BYTE* b) { return (uint16_t)(b[1] << 8 | b[0]); }

// Appends to the information text, never past its end.
void append(char* info, const char* format, ...)
{
    size_t used = std::strlen(info);
    if (used + 1 >= INFO_TEXT_SIZE)
        return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(info + used, INFO_TEXT_SIZE - used, format, args);
    va_end(args);
}

// Offset of the first position at or after `from`, stepping by `step`,
// where `matches` holds for the bytes there (at most `window` of them are
// available), or -1 at the end of the file. Reads in blocks so that a
// large file is searched quickly.
template <typename Match>
int64_t search_file(MediaFile& file, uint64_t from, unsigned step, unsigned window, Match matches)
{
    enum { BLOCK = 65536 };
    static BYTE block[BLOCK + 8];
    uint64_t position = from;
    while (position < file.size && file.size - position >= window) {
        uint64_t left = file.size - position;
        DWORD length = (DWORD)(left < BLOCK + window ? left : BLOCK + window);
        if (!file.read_at(position, block, length))
            return -1;
        DWORD offset = 0;
        for (; offset + window <= length; offset += step)
            if (matches(block + offset))
                return (int64_t)(position + offset);
        position += offset;
    }
    return -1;
}

}  // namespace

// ---- information texts

void get_wav_info(const char* name, char* info)
{
    info[0] = '\0';
    append(info, "file type: WAVE audio data \n");
    MediaFile file(name);
    BYTE format[12];
    if (!file.read_at(20, format, sizeof format))
        return;
    int tag = le16(format), channels = le16(format + 2);
    uint32_t bytes_per_second = le32(format + 8);

    // The chunk name is searched two bytes at a time from the end of the
    // format fields, as chunks start on even offsets.
    int64_t data = search_file(file, 32, 2, 4, [](const BYTE* b) { return !std::memcmp(b, "data", 4); });
    BYTE size_bytes[4];
    // A zero rate has no playing time; the size product is taken in 64 bits
    // so that files beyond 21 MB do not wrap.
    if (data >= 0 && bytes_per_second != 0 && file.read_at((uint64_t)data + 4, size_bytes, 4)) {
        uint64_t hundredths = (uint64_t)le32(size_bytes) * 100 / bytes_per_second;
        double seconds = ((double)hundredths + 0.5) / 100;
        if (seconds >= 60) {
            long long minutes = (long long)seconds / 60;
            seconds -= 60.0 * (double)minutes;
            append(info, "playing time: %lld min. %.2f sec. \n", minutes, seconds);
        } else {
            append(info, "playing time: %.2f sec. \n", seconds);
        }
    }
    append(info, "format tag: %d \nchannels: %d \naverage bytes/second: %ld \n", tag, channels,
           (long)bytes_per_second);
}

void get_avi_info(const char* name, char* info)
{
    info[0] = '\0';
    append(info, "file type: Windows audio-video\n            interleaved (AVI)\n");
    AVIFileInit();
    PAVIFILE avi = NULL;
    // Nothing is read from a file the library could not open.
    if (AVIFileOpenA(&avi, name, OF_READ | OF_SHARE_DENY_NONE, NULL) == 0 && avi) {
        AVIFILEINFOA about;
        std::memset(&about, 0, sizeof about);
        if (AVIFileInfoA(avi, &about, sizeof about) == 0)
            append(info, "streams: %ld \nwidth: %ld \nheight: %ld \nscale: %ld \nrate: %ld \nlength: %ld \n",
                   (long)about.dwStreams, (long)about.dwWidth, (long)about.dwHeight, (long)about.dwScale,
                   (long)about.dwRate, (long)about.dwLength);
        AVIFileRelease(avi);
    }
    AVIFileExit();
}

void get_midi_info(const char* name, char* info)
{
    info[0] = '\0';
    MediaFile file(name);
    BYTE header[14];
    if (!file.read_at(0, header, sizeof header) || std::memcmp(header, "MThd", 4) || be32(header + 4) != 6)
        return;
    append(info, "file type: standard MIDI file \n     (Musical Instrument Digital Interface) \n");
    append(info, "format: %d \n", be16(header + 8));
    append(info, "number of tracks: %d \n", be16(header + 10));
    append(info, "pulses per quarter note: %d \n", (int16_t)be16(header + 12));
}

// Walks the atoms from `offset` to `end` for one of the given type; its
// offset, or -1. An atom smaller than its own header (0 "to the end of the
// file", 1 "64-bit size" and every size below 8) ends the walk, so a broken
// size can never make it stand still.
static int64_t find_atom(MediaFile& file, uint64_t offset, uint64_t end, const char* type)
{
    BYTE header[8];
    while (offset < end && file.read_at(offset, header, sizeof header)) {
        uint32_t size = be32(header);
        if (!std::memcmp(header + 4, type, 4))
            return (int64_t)offset;
        if (size < 8)
            return -1;
        offset += size;
    }
    return -1;
}

void get_quicktime_info(const char* name, char* info)
{
    info[0] = '\0';
    append(info, "file type: QuickTime Movie (Apple) \n");
    MediaFile file(name);
    int64_t movie = find_atom(file, 0, file.size, "moov");
    if (movie < 0)
        return;
    BYTE size_bytes[4];
    file.read_at((uint64_t)movie, size_bytes, 4);
    uint64_t movie_end = (uint64_t)movie + be32(size_bytes);
    if (be32(size_bytes) < 8 || movie_end > file.size)
        movie_end = file.size;
    int64_t header = find_atom(file, (uint64_t)movie + 8, movie_end, "mvhd");
    BYTE times[8];
    if (header < 0 || !file.read_at((uint64_t)header + 20, times, sizeof times))
        return;
    uint32_t scale = be32(times), duration = be32(times + 4);
    if (scale != 0)
        append(info, "playing time: %.2f sec. \n", (double)duration / scale);
}

void get_mpeg_audio_info(const char* name, char* info)
{
    static const char* const VERSIONS[4] = {"MPEG Version 2.5 ", "", "MPEG Version 2 ", "MPEG Version 1 "};
    static const char* const LAYERS[4] = {"", "Layer III \n", "Layer II \n", "Layer I \n"};
    static const char* const RATES[16] = {
        "free \n", "32 kbps \n", "40 kbps \n", "48 kbps \n", "56 kbps \n", "64 kbps \n",
        "80 kbps \n", "96 kbps \n", "112 kbps \n", "128 kbps \n", "160 kbps \n", "192 kbps \n",
        "224 kbps \n", "256 kbps \n", "320 kbps \n", "bad kbps \n",
    };
    static const char* const FREQUENCIES[4] = {
        "sampling rate frequency index: 44100 Hz \n", "sampling rate frequency index: 48000 Hz \n",
        "sampling rate frequency index: 32000 Hz \n", "",
    };
    static const char* const CHANNELS[4] = {"stereo \n", "joint stereo \n", "dual mono \n", "mono \n"};

    MediaFile file(name);
    // An MPEG-1 Layer III frame without CRC; tags before it are passed over.
    int64_t frame = search_file(file, 0, 1, 4, [](const BYTE* b) {
        return b[0] == 0xFF && (b[1] & 1) && (b[1] & 0x18) == 0x18 && (b[1] & 0x06) == 0x02;
    });
    BYTE h[4];
    if (frame < 0 || !file.read_at((uint64_t)frame, h, sizeof h)) {
        info[0] = '\0';
        return;
    }
    append(info, "%s%s", VERSIONS[(h[1] >> 3) & 3], LAYERS[(h[1] >> 1) & 3]);
    append(info, "bitrate index: %s", RATES[h[2] >> 4]);
    append(info, "%s", FREQUENCIES[(h[2] >> 2) & 3]);
    append(info, "channel: %s", CHANNELS[h[3] >> 6]);
    append(info, "copyright: %s", (h[3] & 0x08) ? "yes \n" : "no \n");
}

void get_wmv_info(const char*, char* info)
{
    append(info, "WMV (Windows Media Video) File Format \n");
}

void get_mpeg_info(const char*, char* info)
{
    append(info, "MPEG (Moving Picture Experts Group) \n");
}

void get_rmi_info(const char*, char* info)
{
    append(info, "Windows MIDI \n     (Musical Instrument Digital Interface) \n");
}

// ---- the media window

MediaPlace place_media_window(int x0, int y0, int side, int picture_width, int picture_height, int bar_height)
{
    MediaPlace place = {x0, y0 + (side + 4 - bar_height) / 2, side + 6, bar_height + 2};
    // No picture: the bar alone. This also keeps the aspect below from
    // dividing by zero.
    if (picture_width <= 0 || picture_height <= 0)
        return place;
    double aspect = (double)picture_height / picture_width;
    double preview_aspect = (double)(side + 4 - bar_height) / (side + 4);
    if (aspect <= preview_aspect) {
        place.height = (int)((side + 4) * aspect + 0.5) + bar_height + 2;
        place.y = y0 + (side + 6 - place.height) / 2;
    } else {
        place.width = (int)((side + 4 - bar_height) / aspect + 0.5) + 2;
        place.x = x0 + (side + 6 - place.width) / 2;
        place.y = y0;
        place.height = side + 6;
    }
    return place;
}

int media_bar_height(HWND media)
{
    // The play bar is the media window's child; without one the window's
    // usual bar height stands.
    HWND bar = GetWindow(media, GW_CHILD);
    RECT r;
    if (!bar || !GetWindowRect(bar, &r) || r.bottom <= r.top)
        return MCI_BAR_HEIGHT;
    return r.bottom - r.top;
}

static int control_height(HWND main, int id)
{
    RECT r;
    if (!GetWindowRect(GetDlgItem(main, id), &r))
        return 0;
    return r.bottom - r.top;
}

typedef void (*InfoFn)(const char* file, char* info);

static const struct {
    int format;
    InfoFn write;
} INFO_WRITERS[] = {
    {FMT_AVI, get_avi_info},           {FMT_MIDI, get_midi_info}, {FMT_QUICKTIME, get_quicktime_info},
    {FMT_MPEG, get_mpeg_info},         {FMT_MP3, get_mpeg_audio_info}, {FMT_RMI, get_rmi_info},
    {FMT_WAV, get_wav_info},           {FMT_ASF, get_wmv_info},
};

static void close_viewer_windows(void)
{
    if (is_window_open(g_hwndView))
        destroy_image_window();
    if (is_window_open(g_hwndFull))
        DestroyWindow(g_hwndFull);
    g_hwndFull = NULL;
    if (is_window_open(g_hwndSlide))
        DestroyWindow(g_hwndSlide);
    g_hwndSlide = NULL;
}

HWND show_multimedia_file(HINSTANCE instance, const char* file, RECT preview, HBRUSH, HPEN, HWND, char* info)
{
    HWND main = g_hwndMain;
    close_viewer_windows();
    ShowWindow(GetDlgItem(main, IDC_MAIN_PREVIEW), SW_HIDE);

    for (const auto& row : INFO_WRITERS)
        if (row.format == g_fileFormat)
            row.write(file, info);
    append(info, "size: %llu bytes \n", (unsigned long long)g_fileSize);

    // The loader names the file in full; a full name stays as it is.
    char path[MAX_PATH + 1];
    DWORD length = GetFullPathNameA(file, sizeof path, path, NULL);
    if (length == 0 || length >= sizeof path)
        return NULL;

    RECT client;
    GetClientRect(main, &client);
    int x0 = client.left + 8 + (client.right - 16) * 3 / 10;
    int yb = client.bottom - g_mainStatusHeight - 8;
    int h1 = control_height(main, IDC_MAIN_NAME_EDIT), h2 = control_height(main, IDC_MAIN_DRIVE_COMBO);
    int h3 = control_height(main, IDC_MAIN_FULL_SCREEN);
    int y0 = client.top + 8 + 2 * h1 + h2;
    if (client.top + 16 + h1 + 2 * h3 > y0)
        y0 = client.top + 16 + h1 + 2 * h3;

    // No error dialogs: a file the device cannot open must not stop the
    // browser behind a message box.
    DWORD style = WS_CHILD | WS_BORDER | MCIWNDF_NOMENU | MCIWNDF_NOERRORDLG;
    HWND media = seam_create_media_window(main, instance, style, path);
    if (!media)
        return NULL;

    // The picture's size comes from the device: the window need not have
    // sized itself to the medium yet.
    // Wine's video device reports a bottom-up picture with a negative
    // height; a sound device reports nothing.
    RECT source = {0, 0, 0, 0};
    MCIWndGetSource(media, &source);
    g_mciAreaWidth = std::abs((int)(source.right - source.left));
    g_mciAreaHeight = std::abs((int)(source.bottom - source.top));
    g_mciBarHeight = media_bar_height(media);
    int side = preview.right;
    MediaPlace place = place_media_window(x0 + (client.right - x0 - side) / 2, y0 + (yb - y0 - side) / 2, side,
                                          g_mciAreaWidth, g_mciAreaHeight, g_mciBarHeight);
    MoveWindow(media, place.x, place.y, place.width, place.height, FALSE);
    ShowWindow(media, SW_SHOW);
    GetClientRect(media, &g_rcMciArea);
    MCIWndSetActiveTimer(media, 100);
    MCIWndSetInactiveTimer(media, 100);
    MCIWndRealize(media, FALSE);

    close_viewer_windows();
    return media;
}

void close_media_window(void)
{
    if (g_fileFormat == FMT_MP3 && is_window_open(g_hwndMain))
        KillTimer(g_hwndMain, g_mciTimerId);
    if (is_window_open(g_hwndMci)) {
        if (g_fileFormat == FMT_MIDI)
            MCIWndEnd(g_hwndMci);
        MCIWndStop(g_hwndMci);
        MCIWndClose(g_hwndMci);
        DestroyWindow(g_hwndMci);
    }
    g_hwndMci = NULL;
}
