// The readers the harness feeds, one line each, and the starting inputs the
// harness makes itself where no Debian tool writes the format.
#include "fuzz/fuzz.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <sstream>

#include "app/jpeg_reencode.h"
#include "formats/png_comment.h"
#include "formats/tiff_comment.h"
#include "image/emf_check.h"
#include "image/emf_to_wmf.h"
#include "image/gif_write.h"
#include "image/iff_write.h"
#include "image/metafile.h"
#include "image/packed_dib.h"
#include "image/pnm.h"
#include "image/targa.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_comment.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "jpeg/jpegtran.h"
#include "support/dib_block.h"
#include "support/mapped_emf.h"
#include "support/test_support.h"

// The Exif information with its thumbnail (the harness carries no dialog
// resources, so read_exif_info frees what it read), then the thumbnail
// alone, then the orientation rewritten in place and the file turned in
// place as the batch window turns it, which rewrites the segment and turns
// its thumbnail (the input is the harness's own copy).
static bool run_exif_reader(const std::string& path)
{
    read_exif_info(path.c_str());
    load_exif_thumbnail(path.c_str());
    bool shown = g_hExifThumbnail != NULL;
    release_exif_data();
    write_exif_orientation(path.c_str(), 3);
    std::string name = path;
    char program[] = "jpegtran", copy[] = "-copy", all[] = "all", rotate[] = "-rotate", quarter[] = "90";
    char* argv[] = {program, copy, all, rotate, quarter, &name[0], &name[0]};
    jpegtran_main(7, argv);
    return shown;
}

// The comment rewriters read the user's file as it stands, apart from the
// loader (the EMF one reports through its box alone): each rewrites the
// harness's copy with a comment of two lines, then takes it out again. True
// when the file was rewritten.
static const char HARNESS_COMMENT[] = "harness comment\r\nsecond line";

template <int (*WRITE)(const char*, HGLOBAL*)>
static bool run_comment_writer(const std::string& path)
{
    bool rewritten = false;
    for (const char* comment : {HARNESS_COMMENT, ""}) {
        HGLOBAL text = (HGLOBAL)text_block(comment);
        rewritten = WRITE(path.c_str(), &text) || rewritten;
        if (text)
            GlobalFree(text);
    }
    return rewritten;
}

static int write_jpeg_comment_kept(const char* path, HGLOBAL* text)
{
    return write_jpeg_comment(path, text, 1);
}

// The command's own notification goes to the harness's thread queue.
static int write_emf_comment_alone(const char* path, HGLOBAL* text)
{
    write_emf_comment(path, text, NULL, NULL);
    return 1;
}

static int write_tiff_comment_first_page(const char* path, HGLOBAL* text)
{
    int page = 1, pages = 1;
    return write_tiff_comment(path, text, &page, &pages);
}

// The lossless transforms as the commands run them: the coefficient
// transform of the file's precision, or the lossless re-encoding of a
// lossless-coded file (tried on every 8-bit file the coefficient transform
// refuses, so that road sees hostile files too). The transform follows the
// input's length, so an input always gets the same one and every transform
// is fed.
static bool run_lossless_transform(const std::string& path)
{
    static char name[] = "jpegtran", copy[] = "-copy", all[] = "all", trim[] = "-trim";
    static char rotate[] = "-rotate", r90[] = "90", r270[] = "270", flip[] = "-flip", vertical[] = "vertical";
    static char transpose[] = "-transpose", grey[] = "-grayscale", progressive[] = "-progressive",
                optimize[] = "-optimize", empty[] = "";
    const unsigned turn = (unsigned)read_file_bytes(path).size() % 5;
    std::string output = path.substr(0, path.find_last_of("\\") + 1) + "turned.jpg";
    DeleteFileA(output.c_str());
    char* args[JPEGTRAN_ARG_SLOTS] = {name, copy, all, trim};
    int argc = 4;
    static const int REENCODE_CODES[] = {90, -2, -3, 0, 270};
    switch (turn) {
    case 0: args[argc++] = rotate; args[argc++] = r90; break;
    case 1: args[argc++] = flip; args[argc++] = vertical; break;
    case 2: args[argc++] = transpose; break;
    case 3: args[argc++] = grey; args[argc++] = optimize; break;
    default: args[argc++] = progressive; args[argc++] = rotate; args[argc++] = r270; break;
    }
    args[argc++] = (char*)path.c_str();
    args[argc++] = (char*)output.c_str();
    args[argc] = empty;
    int precision = get_jpeg_precision(path.c_str());
    int done = precision == 8 ? jpegtran_main(argc, args) : precision == 12 ? jpegtran_main_12(argc, args) : 0;
    if (!done && precision == 8)
        done = reencode_jpeg_file(path.c_str(), output.c_str(), REENCODE_CODES[turn]);
    DeleteFileA(output.c_str());
    return done != 0;
}

// The program's own EMF -> WMF conversion, run here rather than in the
// renderer so that the guards watch it: on the records that keep their
// rules, as the renderer hands them over, into a box of 1,000 units per
// inch over a frame of 2 x 1.5 inches.
static bool run_emf_to_wmf(const std::string& path)
{
    std::string bits = read_file_bytes(path);
    if (bits.size() < sizeof(ENHMETAHEADER))
        return false;
    bits.resize(bits.size() + EMF_END_RECORD_BYTES);
    ENHMETAHEADER* header = (ENHMETAHEADER*)&bits[0];
    if (header->nHandles == 0)
        header->nHandles = 1;
    uint32_t kept = copy_sound_emf_records((const BYTE*)bits.data(), (uint32_t)bits.size() - EMF_END_RECORD_BYTES,
                                           (BYTE*)&bits[0]);
    HENHMETAFILE emf = kept ? SetEnhMetaFileBits(kept, (const BYTE*)bits.data()) : NULL;
    if (!emf)
        return false;
    const RECT box = {0, 0, 2000, 1500};
    HMETAFILE wmf = draw_emf_as_wmf(emf, &box, SIZE{256, 192});
    DeleteEnhMetaFile(emf);
    if (wmf)
        DeleteMetaFile(wmf);
    return wmf != NULL;
}

// Patterns are space-separated, relative to the fixture folder (made by
// tests/fixtures/*.sh; fuzz/kept/ holds the files kept in tests/fuzz/regress)
// or, when they begin with "made/", to the harness's own output folder. An
// input keeps its starting file's extension, which the loader reads for
// metafiles, Targa, JBIG and the PBM family.
const FuzzReader FUZZ_READERS[] = {
    {"BMP", "bmp/*.bmp packed_dib/*.bmp e2e/*.bmp fuzz/bmp/*.bmp hostile/BMP-*.bmp"},
    {"GIF", "gif/*.gif e2e/*.gif fuzz/gif/*.gif hostile/GIF-*.gif"},
    {"JPEG", "jpeg/*.jpg e2e/*.jpg fuzz/jpeg/*.jpg hostile/JPEG-*.jpg fuzz/kept/jpeg-*.jpg"},
    {"JPEG12", "fuzz/jpeg12/*.jpg made/jpeg12/*.jpg hostile/JPEG12-*.jpg fuzz/kept/jpeg12-*.jpg"},
    {"WMF", "made/wmf/*.wmf hostile/WMF-*.wmf"},
    {"EMF", "fuzz/emf/*.emf hostile/EMF-*.emf"},
    {"PNG", "png/basn*.png png/gray-1*.png png/palette-1*.png hostile/PNG-*.png"},
    {"JBIG", "jbig/*.jbg hostile/JBIG-*.jbg"},
    {"J2K", "jpeg2000/*.j2k hostile/J2K-*.j2k fuzz/kept/j2k-*.j2k"},
    {"JP2", "jpeg2000/*.jp2"},
    {"SUNRAS", "sun/*.ras hostile/SUNRAS-*.ras"},
    {"PNM", "pnm/*.pbm pnm/*.pgm pnm/*.ppm fuzz/pnm/*.pnm hostile/PNM-*.p?m"},
    {"PCX", "pcx/*.pcx hostile/PCX-*.pcx"},
    {"TGA", "targa/*.tga hostile/TGA-*.tga"},
    {"IFF", "iff/*.iff hostile/IFF-*.iff"},
    {"ICO", "icon/rgb24.ico icon/im32.ico icon/multi.ico icon/frame_*.ico icon/png256.ico hostile/ICO-*.ico"},
    {"ANI", "icon/*.ani hostile/ANI-*.ani"},
    {"SUNICON", "icon/sun_*.ico hostile/SUNICON-*.ico"},
    {"EXIF", "exif/camera*.jpg exif/intel.jpg exif/mix.jpg hostile/EXIF-*.jpg", run_exif_reader},
    {"TIFF", "tiff/bw_g3.tif tiff/bw_g4.tif tiff/grey4_tiled.tif tiff/pal8.tif tiff/rgb_jpeg.tif "
             "tiff/rgb_jpeg_tiled.tif tiff/rgb_lzw.tif tiff/rgb_lzma.tif tiff/float16.tif tiff/exif.tif "
             "hostile/TIFF-*.tif"},
    // The roads that read a file apart from the loader: the comment
    // rewriters and the lossless transforms. Their kept files begin with
    // the road's name ("tiffcomment-...").
    {"JPEGCOMMENT", "jpeg/*.jpg exif/mix.jpg exif/aftersof.jpg exif/between_scans.jpg hostile/JPEG-*.jpg "
                    "hostile/EXIF-*.jpg hostile/JPEGCOMMENT-*.jpg",
     run_comment_writer<write_jpeg_comment_kept>},
    {"PNGCOMMENT", "png/basn*.png hostile/PNG-*.png hostile/PNGCOMMENT-*.png", run_comment_writer<write_png_comment>},
    {"GIFCOMMENT", "gif/*.gif fuzz/gif/*.gif hostile/GIF-*.gif hostile/GIFCOMMENT-*.gif",
     run_comment_writer<write_gif_comment>},
    {"TIFFCOMMENT", "tiff/bw_g4.tif tiff/pal8.tif tiff/rgb_lzw.tif tiff/exif.tif tiff/grey4_tiled.tif "
                    "tiff/pages.tif tiff/rgb_jpeg_tiled.tif "
                "hostile/TIFF-*.tif hostile/TIFFCOMMENT-*.tif",
     run_comment_writer<write_tiff_comment_first_page>},
    {"TGACOMMENT", "targa/*.tga hostile/TGA-*.tga hostile/TGACOMMENT-*.tga", run_comment_writer<write_tga_comment>},
    {"IFFCOMMENT", "iff/*.iff hostile/IFF-*.iff hostile/IFFCOMMENT-*.iff", run_comment_writer<write_ilbm_comment>},
    {"PNMCOMMENT", "pnm/*.pbm pnm/*.pgm pnm/*.ppm fuzz/pnm/*.pnm hostile/PNM-*.p?m hostile/PNMCOMMENT-*.p?m",
     run_comment_writer<write_pnm_comment>},
    {"EMFCOMMENT", "fuzz/emf/*.emf hostile/EMF-*.emf hostile/EMFCOMMENT-*.emf",
     run_comment_writer<write_emf_comment_alone>},
    {"EMFTOWMF", "made/mapped/*.emf fuzz/emf/*.emf hostile/EMF-*.emf hostile/EMFTOWMF-*.emf", run_emf_to_wmf},
    // The kept 10000 x 10000 arithmetic-coded files really hold their
    // picture: seconds a mutation, so they are replayed, not mutated.
    {"TRANSFORM", "jpeg/*.jpg exif/camera*.jpg exif/mix.jpg fuzz/jpeg12/*.jpg made/jpeg12/*.jpg "
                  "hostile/JPEG-*.jpg hostile/JPEG12-*.jpg hostile/EXIF-*.jpg hostile/TRANSFORM-*.jpg "
                  "fuzz/kept/jpeg*.jpg fuzz/kept/exif-*.jpg fuzz/kept/transform-short-*.jpg",
     run_lossless_transform},
};
const size_t FUZZ_READER_COUNT = sizeof FUZZ_READERS / sizeof FUZZ_READERS[0];

const FuzzReader* fuzz_reader_for_file(const std::string& file_name)
{
    for (size_t i = 0; i < FUZZ_READER_COUNT; i++) {
        size_t length = lstrlenA(FUZZ_READERS[i].name);
        if (FUZZ_READERS[i].run && file_name.size() > length && file_name[length] == '-' &&
            _strnicmp(file_name.c_str(), FUZZ_READERS[i].name, length) == 0)
            return &FUZZ_READERS[i];
    }
    return NULL;
}

// Whether the extension (with the dot) matches the extension of a pattern,
// whose '?' stands for any one character; in any case.
static bool extension_fits(const std::string& extension, const std::string& pattern)
{
    size_t dot = pattern.find_last_of("./");
    if (dot == std::string::npos || pattern[dot] != '.' || pattern.size() - dot != extension.size())
        return false;
    for (size_t i = 0; i < extension.size(); i++)
        if (pattern[dot + i] != '?' &&
            tolower((unsigned char)pattern[dot + i]) != tolower((unsigned char)extension[i]))
            return false;
    return true;
}

const FuzzReader* fuzz_reader_keeping(const std::string& file_name)
{
    for (size_t i = 0; i < FUZZ_READER_COUNT; i++) {
        size_t length = lstrlenA(FUZZ_READERS[i].name);
        if (file_name.size() > length && file_name[length] == '-' &&
            _strnicmp(file_name.c_str(), FUZZ_READERS[i].name, length) == 0)
            return &FUZZ_READERS[i];
    }
    size_t dot = file_name.find_last_of('.');
    if (dot == std::string::npos)
        return NULL;
    const std::string extension = file_name.substr(dot);
    for (size_t i = 0; i < FUZZ_READER_COUNT; i++) {
        std::istringstream patterns(FUZZ_READERS[i].patterns);
        std::string pattern;
        while (patterns >> pattern)
            if (extension_fits(extension, pattern))
                return &FUZZ_READERS[i];
    }
    return NULL;
}

std::vector<const FuzzReader*> fuzz_roads_for_extension(const std::string& extension)
{
    static const struct {
        const char* extensions;  // ".x." separated, lower case
        const char* roads[2];
    } ROADS[] = {
        {".jpg.jpeg.", {"JPEGCOMMENT", "TRANSFORM"}},
        {".png.", {"PNGCOMMENT", NULL}},
        {".gif.", {"GIFCOMMENT", NULL}},
        {".tif.tiff.", {"TIFFCOMMENT", NULL}},
        {".tga.", {"TGACOMMENT", NULL}},
        {".iff.lbm.", {"IFFCOMMENT", NULL}},
        {".pbm.pgm.ppm.pnm.pam.", {"PNMCOMMENT", NULL}},
        {".emf.", {"EMFCOMMENT", "EMFTOWMF"}},
    };
    std::vector<const FuzzReader*> found;
    std::string wanted = extension + ".";
    for (char& c : wanted)
        c = (char)tolower((unsigned char)c);
    for (const auto& row : ROADS) {
        if (wanted.size() < 3 || !std::strstr(row.extensions, wanted.c_str()))
            continue;
        for (const char* road : row.roads)
            for (size_t i = 0; road && i < FUZZ_READER_COUNT; i++)
                if (lstrcmpA(FUZZ_READERS[i].name, road) == 0)
                    found.push_back(&FUZZ_READERS[i]);
    }
    return found;
}

// Every EMF in emf_dir again as a plain and a placeable Windows metafile,
// recorded by the system's GDI while it plays the EMF.
static void make_wmf_inputs(const std::string& emf_dir, const std::string& out_dir)
{
    CreateDirectoryA(out_dir.c_str(), NULL);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((emf_dir + "\\*.emf").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        HENHMETAFILE file_emf = GetEnhMetaFileA((emf_dir + "\\" + found.cFileName).c_str());
        if (!file_emf)
            continue;
        // Played as the loader plays it: a header counting no handles
        // counts the metafile's own.
        std::string bits(GetEnhMetaFileBits(file_emf, 0, NULL), '\0');
        GetEnhMetaFileBits(file_emf, (UINT)bits.size(), (BYTE*)&bits[0]);
        DeleteEnhMetaFile(file_emf);
        ENHMETAHEADER* header = (ENHMETAHEADER*)&bits[0];
        if (bits.size() < sizeof *header)
            continue;
        if (header->nHandles == 0)
            header->nHandles = 1;
        HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
        if (!emf)
            continue;
        std::string base = out_dir + "\\" + std::string(found.cFileName, lstrlenA(found.cFileName) - 4);
        std::string plain = base + "_plain.wmf";
        HDC recorder = CreateMetaFileA(plain.c_str());
        RECT bounds = {0, 0, 200, 150};
        SetWindowExtEx(recorder, 200, 150, NULL);
        PlayEnhMetaFile(recorder, emf, &bounds);
        DeleteMetaFile(CloseMetaFile(recorder));
        DeleteEnhMetaFile(emf);

        // The placeable header: key, handle, bounds, units per inch,
        // reserved, and the XOR of the ten words before it.
        WORD placeable[11] = {0xCDD7, 0x9AC6, 0, 0, 200, 150, 96, 0, 0, 0, 0};
        for (int i = 0; i < 10; i++)
            placeable[10] ^= placeable[i];
        write_file_bytes(base + "_placeable.wmf", std::string((char*)placeable, 22) + read_file_bytes(plain));
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

// 12-bit JPEG in the coding processes the program writes: baseline,
// progressive and lossless, from a small picture with edges and gradients.
static void make_jpeg12_inputs(const std::string& out_dir)
{
    CreateDirectoryA(out_dir.c_str(), NULL);
    DibBlock dib(create_dib24(29, 21));
    if (!dib)
        return;
    for (int y = 0; y < 21; y++)
        for (int x = 0; x < 29; x++) {
            BYTE* p = dib.row(y) + x * 3;
            p[0] = (BYTE)(x * 9);
            p[1] = (BYTE)(y * 12);
            p[2] = (BYTE)((x / 4 + y / 4) % 2 ? 230 : 20);
        }
    dib.unlock();
    write_jpeg12_file((out_dir + "\\baseline12.jpg").c_str(), 80, dib.get(), 0, 0, 0);
    write_jpeg12_file((out_dir + "\\progressive12.jpg").c_str(), 70, dib.get(), 1, 0, 0);
    write_jpeg12_file((out_dir + "\\lossless12.jpg").c_str(), 100, dib.get(), 0, 1, 0);
}

// The mapped pictures of the conversion tests, one file each.
static void make_mapped_emf_inputs(const std::string& out_dir)
{
    CreateDirectoryA(out_dir.c_str(), NULL);
    int index = 0;
    for (const MappedEmf& emf : mapped_emfs())
        write_file_bytes(out_dir + "\\mapped" + std::to_string(++index) + ".emf", emf.bits);
}

void make_harness_inputs(const std::string& fixture_dir, const std::string& made_dir)
{
    CreateDirectoryA(made_dir.c_str(), NULL);
    make_mapped_emf_inputs(made_dir + "\\mapped");
    make_wmf_inputs(fixture_dir + "\\fuzz\\emf", made_dir + "\\wmf");
    make_jpeg12_inputs(made_dir + "\\jpeg12");
}
