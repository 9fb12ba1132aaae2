// The mapped enhanced metafiles (see mapped_emf.h).
#include "support/mapped_emf.h"

#include <cmath>
#include <cstring>
#include <cwchar>

#include <windows.h>

namespace {


enum { FRAME_W = 5080, FRAME_H = 3810 };  // 2 x 1.5 inches, in 0.01 mm

// Shapes of the picture drawn in units of which `inch` make an inch, from
// (x0, y0), y growing by dy (1 down, -1 up).
void draw_shapes(HDC dc, int inch, int x0, int y0, int dy)
{
    HBRUSH red = CreateSolidBrush(RGB(220, 30, 30));
    HPEN blue = CreatePen(PS_SOLID, inch / 20, RGB(20, 40, 200));
    HGDIOBJ old_brush = SelectObject(dc, red), old_pen = SelectObject(dc, blue);
    auto x = [&](double v) { return x0 + (int)(v * inch); };
    auto y = [&](double v) { return y0 + dy * (int)(v * inch); };
    Rectangle(dc, x(0.1), y(0.1), x(0.8), y(0.6));
    Ellipse(dc, x(1.0), y(0.2), x(1.8), y(0.9));
    POINT tri[3] = {{x(0.2), y(1.4)}, {x(0.7), y(0.8)}, {x(1.2), y(1.4)}};
    Polygon(dc, tri, 3);
    POINT line[3] = {{x(1.3), y(1.0)}, {x(1.9), y(1.2)}, {x(1.4), y(1.45)}};
    Polyline(dc, line, 3);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(red);
    DeleteObject(blue);
}

void map_units(HDC dc, int mode, int inch)
{
    SetMapMode(dc, mode);
    draw_shapes(dc, inch, 0, 0, -1);
}

void anisotropic(HDC dc)
{
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 100, 50, NULL);
    SetWindowExtEx(dc, 1464, 1005, NULL);
    SetViewportOrgEx(dc, 10, 5, NULL);
    SetViewportExtEx(dc, 56, 38, NULL);
    draw_shapes(dc, 500, 100, 50, 1);
}

void isotropic_flipped(HDC dc)
{
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, 3000, 2000, NULL);
    SetViewportExtEx(dc, 150, -150, NULL);
    SetWindowOrgEx(dc, -200, 0, NULL);
    SetViewportOrgEx(dc, 0, 144, NULL);
    draw_shapes(dc, 1000, 0, 0, 1);
}

void world(HDC dc, XFORM x)
{
    SetGraphicsMode(dc, GM_ADVANCED);
    SetWorldTransform(dc, &x);
    draw_shapes(dc, 40, 0, 0, 1);
}

const float PI = 3.14159265f;

void text_line(HDC dc, const wchar_t* text, int weight, int angle_degrees)
{
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 2000, 1500, NULL);
    SetViewportExtEx(dc, 192, 144, NULL);
    if (angle_degrees) {
        SetGraphicsMode(dc, GM_ADVANCED);
        float a = angle_degrees * PI / 180;
        XFORM turn = {cosf(a), -sinf(a), sinf(a), cosf(a), 0, 0};
        SetWorldTransform(dc, &turn);
    }
    // Smoothed, a turned glyph's edge shades differ between a font turned
    // by the transform and one turned by its escapement.
    HFONT font = CreateFontW(-160, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0,
                             angle_degrees ? NONANTIALIASED_QUALITY : DEFAULT_QUALITY, 0, L"Arial");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    // Turned text on its baseline: under a turn, Wine's player offsets a
    // top-aligned line straight down, where the font's own turn is taken.
    if (angle_degrees)
        SetTextAlign(dc, TA_BASELINE);
    SetTextColor(dc, RGB(0, 0, 160));
    int y = angle_degrees ? 1200 : 600;
    TextOutW(dc, angle_degrees ? 400 : 100, y, text, (int)wcslen(text));
    SelectObject(dc, old);
    DeleteObject(font);
}

void bezier_path_clip(HDC dc, int which)
{
    SetMapMode(dc, MM_LOMETRIC);
    HPEN pen = CreatePen(PS_SOLID, 8, RGB(0, 120, 0));
    HBRUSH brush = CreateSolidBrush(RGB(240, 160, 0));
    SelectObject(dc, pen);
    SelectObject(dc, brush);
    if (which == 0) {
        POINT curve[4] = {{20, -300}, {150, -20}, {350, -360}, {480, -60}};
        PolyBezier(dc, curve, 4);
    } else if (which == 1) {
        BeginPath(dc);
        MoveToEx(dc, 30, -30, NULL);
        const POINT curve[3] = {{200, -10}, {400, -200}, {470, -340}};
        PolyBezierTo(dc, curve, 3);
        LineTo(dc, 40, -330);
        CloseFigure(dc);
        EndPath(dc);
        StrokeAndFillPath(dc);
    } else {
        BeginPath(dc);
        Ellipse(dc, 50, -40, 450, -340);
        EndPath(dc);
        SelectClipPath(dc, RGN_COPY);
        Rectangle(dc, 0, 0, 300, -380);
        SelectClipRgn(dc, NULL);
        Rectangle(dc, 350, -200, 500, -370);
    }
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
}

// A 4 x 4 checker of two colours, bottom-up.
struct Checker {
    BITMAPINFOHEADER header;
    DWORD bits[16];
};

Checker checker()
{
    Checker c = {{sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 64, 0, 0, 0, 0}, {}};
    for (int i = 0; i < 16; ++i)
        c.bits[i] = ((i / 4 + i % 4) % 2) ? 0x2040C0 : 0xF0E060;
    return c;
}

void stretched_bitmap(HDC dc)
{
    SetMapMode(dc, MM_HIENGLISH);
    Checker c = checker();
    StretchDIBits(dc, 200, -200, 1200, -900, 0, 0, 4, 4, c.bits, (BITMAPINFO*)&c.header, DIB_RGB_COLORS, SRCCOPY);
}

void pattern_brush(HDC dc)
{
    SetMapMode(dc, MM_LOENGLISH);
    Checker c = checker();
    c.header.biWidth = c.header.biHeight = 8;
    struct {
        BITMAPINFOHEADER header;
        DWORD bits[64];
    } packed = {c.header, {}};
    packed.header.biSizeImage = sizeof packed.bits;
    for (int i = 0; i < 64; ++i)
        packed.bits[i] = (i / 8 < 4) == (i % 8 < 4) ? 0x108010 : 0xE0E0E0;
    HBRUSH brush = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
    HGDIOBJ old = SelectObject(dc, brush);
    Rectangle(dc, 20, -20, 150, -130);
    SelectObject(dc, old);
    DeleteObject(brush);
}

void blits(HDC dc)
{
    SetMapMode(dc, MM_LOMETRIC);
    Checker c = checker();
    SetDIBitsToDevice(dc, 40, -40, 4, 4, 0, 0, 0, 4, c.bits, (BITMAPINFO*)&c.header, DIB_RGB_COLORS);
    HDC memory = CreateCompatibleDC(dc);
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(memory, (BITMAPINFO*)&c.header, DIB_RGB_COLORS, &bits, NULL, 0);
    memcpy(bits, c.bits, sizeof c.bits);
    HGDIOBJ old = SelectObject(memory, bitmap);
    StretchBlt(dc, 150, -60, 300, -280, memory, 0, 0, 4, 4, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

void curves_turned(HDC dc)
{
    SetGraphicsMode(dc, GM_ADVANCED);
    XFORM turn = {0.9397f, -0.3420f, 0.3420f, 0.9397f, 10, 60};
    SetWorldTransform(dc, &turn);
    HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 90, 0));
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(120, 0, 120));
    HGDIOBJ old_brush = SelectObject(dc, hatch), old_pen = SelectObject(dc, pen);
    RoundRect(dc, 10, 10, 70, 50, 20, 20);
    Arc(dc, 80, 10, 130, 60, 130, 35, 80, 35);
    Chord(dc, 10, 60, 60, 110, 60, 85, 10, 85);
    Pie(dc, 80, 60, 130, 110, 130, 60, 80, 60);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(hatch);
    DeleteObject(pen);
}

void emf_plus_dual(HDC dc)
{
    // An EMF+ header record, as a dual file opens: GDI draws the records beside it.
    const BYTE plus[] = {'E', 'M', 'F', '+', 0x01, 0x40, 0x01, 0x00, 0x1C, 0, 0, 0, 0x10, 0, 0, 0,
                         0x02, 0x10, 0xC0, 0xDB, 0x01, 0, 0, 0, 0x60, 0, 0, 0, 0x60, 0, 0, 0};
    GdiComment(dc, sizeof plus, plus);
    map_units(dc, MM_LOMETRIC, 254);
    const BYTE end[] = {'E', 'M', 'F', '+', 0x02, 0x40, 0x01, 0x00, 0x0C, 0, 0, 0, 0x0C, 0, 0, 0};
    GdiComment(dc, sizeof end, end);
}

// Strokes as a vector editor writes them: units of 1,200 an inch (by a
// world scale), stroked paths of geometric pens with flat ends and mitred
// joins (editor_pens).
void editor_strokes(HDC dc)
{
    SetGraphicsMode(dc, GM_ADVANCED);
    const float scale = GetDeviceCaps(dc, LOGPIXELSX) / 1200.0f;
    const XFORM units = {scale, 0, 0, scale, 0, 0};
    SetWorldTransform(dc, &units);
    const DWORD ends = PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER;
    LOGBRUSH black = {BS_SOLID, RGB(0, 0, 0), 0}, blue = {BS_SOLID, RGB(0, 100, 200), 0};
    HPEN axis = ExtCreatePen(ends, 100, &black, 0, NULL), curve_pen = ExtCreatePen(ends, 80, &blue, 0, NULL);
    HGDIOBJ old = SelectObject(dc, axis);
    BeginPath(dc);
    MoveToEx(dc, 150, 150, NULL);
    LineTo(dc, 150, 1650);
    LineTo(dc, 2250, 1650);
    EndPath(dc);
    StrokePath(dc);
    SelectObject(dc, curve_pen);
    BeginPath(dc);
    MoveToEx(dc, 300, 1400, NULL);
    const POINT curve[3] = {{900, 100}, {1500, 1700}, {2100, 300}};
    PolyBezierTo(dc, curve, 3);
    LineTo(dc, 1800, 300);
    EndPath(dc);
    StrokePath(dc);
    SelectObject(dc, old);
    DeleteObject(axis);
    DeleteObject(curve_pen);
}

// The bits of an enhanced metafile recorded by draw over the frame.
std::string record_emf(void (*draw)(HDC))
{
    RECT frame = {0, 0, FRAME_W, FRAME_H};
    HDC dc = CreateEnhMetaFileW(NULL, NULL, &frame, NULL);
    draw(dc);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    std::string bits(GetEnhMetaFileBits(emf, 0, NULL), '\0');
    GetEnhMetaFileBits(emf, (UINT)bits.size(), (BYTE*)&bits[0]);
    DeleteEnhMetaFile(emf);
    return bits;
}

// The header's reference device: pixels over millimetres.
void set_device(std::string& bits, LONG cx, LONG cy, LONG mm_x, LONG mm_y)
{
    ENHMETAHEADER* h = (ENHMETAHEADER*)&bits[0];
    h->szlDevice.cx = cx;
    h->szlDevice.cy = cy;
    h->szlMillimeters.cx = mm_x;
    h->szlMillimeters.cy = mm_y;
}

// Text records without advances, the font's own taken.
void drop_advances(std::string& bits)
{
    for (size_t at = 0; at + 8 <= bits.size();) {
        EMREXTTEXTOUTW* r = (EMREXTTEXTOUTW*)&bits[at];
        if (r->emr.iType == EMR_EXTTEXTOUTW)
            r->emrtext.offDx = 0;
        if (r->emr.nSize < 8 || r->emr.iType == EMR_EOF)
            break;
        at += r->emr.nSize;
    }
}

// The recorder's pens as a vector editor writes them: extended pens, whose
// flat ends and mitred joins the recorder's plain pens lose on play.
void editor_pens(std::string& bits)
{
    std::string out;
    for (size_t at = 0; at + 8 <= bits.size();) {
        const DWORD* r = (const DWORD*)&bits[at];
        const size_t size = r[1];
        if (size < 8 || at + size > bits.size())
            break;
        if (r[0] == EMR_CREATEPEN && size >= sizeof(EMRCREATEPEN)) {
            const DWORD ext[13] = {EMR_EXTCREATEPEN, 52, r[2], 0, 0, 0, 0, r[3], r[4], BS_SOLID, r[6], 0, 0};
            out.append((const char*)ext, sizeof ext);
        } else {
            out.append(bits, at, size);
        }
        at += size;
    }
    ((ENHMETAHEADER*)&out[0])->nBytes = (DWORD)out.size();
    bits = out;
}

struct Case {
    const char* name;
    void (*draw)(HDC);
    void (*patch)(std::string&);
};

XFORM turn(float degrees, float scale)
{
    float a = degrees * PI / 180;
    XFORM x = {scale * cosf(a), scale * sinf(a), -scale * sinf(a), scale * cosf(a), 60, 20};
    return x;
}

const Case CASES[] = {
    {"MM_TEXT with a window origin", [](HDC dc) { SetWindowOrgEx(dc, -30, -20, NULL); draw_shapes(dc, 60, 0, 0, 1); }, nullptr},
    {"MM_LOMETRIC", [](HDC dc) { map_units(dc, MM_LOMETRIC, 254); }, nullptr},
    {"MM_HIMETRIC", [](HDC dc) { map_units(dc, MM_HIMETRIC, 2540); }, nullptr},
    {"MM_LOENGLISH", [](HDC dc) { map_units(dc, MM_LOENGLISH, 100); }, nullptr},
    {"MM_HIENGLISH", [](HDC dc) { map_units(dc, MM_HIENGLISH, 1000); }, nullptr},
    {"MM_TWIPS", [](HDC dc) { map_units(dc, MM_TWIPS, 1440); }, nullptr},
    {"anisotropic window and viewport with origins", anisotropic, nullptr},
    {"isotropic with a flipped y axis", isotropic_flipped, nullptr},
    {"world scale", [](HDC dc) { world(dc, XFORM{1.5f, 0, 0, 1.2f, 10, 5}); }, nullptr},
    {"world rotation", [](HDC dc) { world(dc, turn(20, 1)); }, nullptr},
    {"world shear", [](HDC dc) { world(dc, XFORM{1, 0, 0.4f, 1, 0, 0}); }, nullptr},
    {"device of 1024 x 768 pixels over 320 x 240 mm", [](HDC dc) { map_units(dc, MM_LOMETRIC, 254); },
     [](std::string& b) { set_device(b, 1024, 768, 320, 240); }},
    {"device of 600 dpi", [](HDC dc) { draw_shapes(dc, 60, 0, 0, 1); },
     [](std::string& b) { set_device(b, 7559, 5669, 320, 240); }},
    {"bold text with advances", [](HDC dc) { text_line(dc, L"Sales by quarter", FW_BOLD, 0); }, nullptr},
    {"text without advances", [](HDC dc) { text_line(dc, L"Sales by quarter", FW_NORMAL, 0); }, drop_advances},
    {"rotated text", [](HDC dc) { text_line(dc, L"Rising", FW_NORMAL, 30); }, nullptr},
    {"Cyrillic text in an ANSI font", [](HDC dc) { text_line(dc, L"\x041F\x0440\x0438\x0432\x0435\x0442", FW_NORMAL, 0); }, nullptr},
    {"a Bezier", [](HDC dc) { bezier_path_clip(dc, 0); }, nullptr},
    {"a filled path", [](HDC dc) { bezier_path_clip(dc, 1); }, nullptr},
    {"a clip path", [](HDC dc) { bezier_path_clip(dc, 2); }, nullptr},
    {"a stretched bitmap", stretched_bitmap, nullptr},
    {"a pattern brush", pattern_brush, nullptr},
    {"bits set to the device and a stretched blit", blits, nullptr},
    {"arcs, a chord, a pie and a round rectangle turned, with a hatch brush", curves_turned, nullptr},
    {"an EMF+ dual file", emf_plus_dual, nullptr},
    {"a vector editor's flat-ended strokes", editor_strokes, editor_pens},
};

}  // namespace

std::vector<MappedEmf> mapped_emfs()
{
    std::vector<MappedEmf> made;
    for (const Case& c : CASES) {
        std::string bits = record_emf(c.draw);
        if (c.patch)
            c.patch(bits);
        made.push_back({c.name, bits});
    }
    return made;
}
