// The metafile renderer (see metafile_renderer.h). For now the plays and
// conversions still run in this process.
#include "image/metafile_renderer.h"

#include "image/metafile.h"

RenderOutcome render_emf(HDC hdc, HENHMETAFILE emf, const RECT* rect)
{
    play_emf(hdc, emf, rect);
    return RENDER_WHOLE;
}

RenderOutcome render_wmf(HDC hdc, HMETAFILE wmf, int with_progress)
{
    if (with_progress)
        play_wmf_records(NULL, hdc, wmf);
    else
        play_wmf(hdc, wmf);
    return RENDER_WHOLE;
}

RenderOutcome render_emf_to_wmf_bits(HENHMETAFILE emf, INT map_mode, HGLOBAL* bits, UINT* size)
{
    *bits = NULL;
    *size = 0;
    HDC screen = GetDC(NULL);
    UINT n = emf ? GetWinMetaFileBits(emf, 0, NULL, map_mode, screen) : 0;
    HGLOBAL block = n ? GlobalAlloc(GMEM_MOVEABLE, n) : NULL;
    BYTE* p = block ? (BYTE*)GlobalLock(block) : NULL;
    UINT got = p ? GetWinMetaFileBits(emf, n, p, map_mode, screen) : 0;
    ReleaseDC(NULL, screen);
    if (p)
        GlobalUnlock(block);
    if (got != n || !n) {
        if (block)
            GlobalFree(block);
        return RENDER_NOT_PLAYED;
    }
    *bits = block;
    *size = n;
    return RENDER_WHOLE;
}

RenderOutcome render_wmf_to_emf_bits(const BYTE* wmf, UINT size, const METAFILEPICT* picture,
                                     HENHMETAFILE* emf)
{
    HDC screen = GetDC(NULL);
    *emf = SetWinMetaFileBits(size, wmf, screen, picture);
    ReleaseDC(NULL, screen);
    return *emf ? RENDER_WHOLE : RENDER_NOT_PLAYED;
}

int render_serve(const char* command_line)
{
    (void)command_line;
    return 0;
}

void render_stop(void) {}

void render_set_limits_for_test(DWORD time_ms, SIZE_T memory_bytes)
{
    (void)time_ms;
    (void)memory_bytes;
}
