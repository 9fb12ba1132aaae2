// A TIFF file opened for reading through I/O of our own rather than the
// library's Win32 one, for the reader and its bands alike.
//
// The one decision: no read asks the system for more than the file still
// holds. The library sizes a tag array by the count the directory claims
// and, in a 32-bit process, reads it in one call; the system makes every
// page of that buffer resident before it reads, so a 200-byte file whose
// BitsPerSample claims 180 million values would cost 360 MB. Cut to the
// file's real length, a read touches no more than the file can fill. No
// single allocation of the library may pass the largest image block.
#include "formats/tiff_state.h"

#include <stdlib.h>

#include "image/packed_dib.h"

namespace {

struct TiffSource {
    HANDLE file;
    uint64_t bytes;     // the file's length when it was opened
    uint64_t position;  // where the next read starts
};

}  // namespace

static tmsize_t source_read(thandle_t handle, void* buffer, tmsize_t size)
{
    TiffSource* source = (TiffSource*)handle;
    if (size <= 0 || source->position >= source->bytes)
        return 0;
    uint64_t wanted = (uint64_t)size;
    if (wanted > source->bytes - source->position)
        wanted = source->bytes - source->position;
    BYTE* out = (BYTE*)buffer;
    uint64_t done = 0;
    while (done < wanted) {
        DWORD chunk = wanted - done > 0x40000000u ? 0x40000000u : (DWORD)(wanted - done);
        DWORD got = 0;
        if (!ReadFile(source->file, out + done, chunk, &got, NULL) || got == 0)
            break;
        done += got;
    }
    source->position += done;
    return (tmsize_t)done;
}

static tmsize_t source_write(thandle_t, void*, tmsize_t)
{
    return 0;
}

static toff_t source_seek(thandle_t handle, toff_t offset, int whence)
{
    TiffSource* source = (TiffSource*)handle;
    LARGE_INTEGER distance, at;
    distance.QuadPart = (LONGLONG)offset;
    DWORD method = whence == SEEK_CUR ? FILE_CURRENT : whence == SEEK_END ? FILE_END : FILE_BEGIN;
    if (!SetFilePointerEx(source->file, distance, &at, method))
        return (toff_t)-1;
    source->position = (uint64_t)at.QuadPart;
    return source->position;
}

static int source_close(thandle_t handle)
{
    TiffSource* source = (TiffSource*)handle;
    CloseHandle(source->file);
    free(source);
    return 0;
}

static toff_t source_size(thandle_t handle)
{
    return ((TiffSource*)handle)->bytes;
}

static int source_map(thandle_t, void**, toff_t*)
{
    return 0;
}

static void source_unmap(thandle_t, void*, toff_t)
{
}

TIFF* open_tiff_for_reading(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length)) {
        CloseHandle(file);
        return NULL;
    }
    TiffSource* source = (TiffSource*)malloc(sizeof(TiffSource));
    if (!source) {
        CloseHandle(file);
        return NULL;
    }
    *source = {file, (uint64_t)length.QuadPart, 0};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options)
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, (tmsize_t)MAX_DIB_BYTES);
    // Never mapped: the JBIG codec drops the mapped flag of a file the
    // library mapped, which then stays mapped, and locked, after TIFFClose.
    TIFF* tif = options ? TIFFClientOpenExt(path, "rm", (thandle_t)source, source_read, source_write, source_seek,
                                            source_close, source_size, source_map, source_unmap, options)
                        : NULL;
    if (options)
        TIFFOpenOptionsFree(options);
    // A failed open leaves the file to its opener.
    if (!tif)
        source_close((thandle_t)source);
    return tif;
}
