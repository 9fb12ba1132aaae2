// A memory device context over a 32-bit top-down DIB section, for tests
// that paint with GDI and look at the pixels.
#pragma once

#include <cstdint>

#include <windows.h>

struct GdiCanvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    uint32_t* pixels = nullptr;
    int width, height;

    GdiCanvas(int w, int h, COLORREF fill = RGB(255, 255, 255)) : width(w), height(h)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
        pixels = (uint32_t*)bits;
        old = SelectObject(dc, bitmap);
        fill_with(fill);
    }
    ~GdiCanvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    void fill_with(COLORREF c)
    {
        GdiFlush();
        for (int i = 0; i < width * height; ++i)
            pixels[i] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    COLORREF at(int x, int y) const
    {
        GdiFlush();
        uint32_t p = pixels[y * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // Pixels that differ from the other canvas of the same size.
    int count_differences(const GdiCanvas& other) const
    {
        GdiFlush();
        int n = 0;
        for (int i = 0; i < width * height; ++i)
            n += (pixels[i] & 0xFFFFFF) != (other.pixels[i] & 0xFFFFFF);
        return n;
    }
};

