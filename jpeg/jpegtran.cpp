// The lossless transform driver for 8-bit JPEG (libjpeg-turbo): switches in
// a command-line style vector, the source's coefficients rearranged by the
// engine in jpeg_transform.inc, the result written next to the output and
// put in its place only when complete, and the Exif orientation of the
// output corrected. Library errors, usage errors and unreadable input end
// the run with 0 and leave the output as it was.
#include "jpeg/jpegtran.h"

#include <ctype.h>
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_read.h"

extern "C" {
#include "jpeglib.h"
#include "jerror.h"
}

#define XF(name) name
#include "jpeg/jpeg_transform.inc"

static char s_program[] = "jpegtran";
static char s_copy[] = "-copy";
static char s_all[] = "all";
static char s_trim[] = "-trim";
static char s_empty[] = "";

char* g_jpegtranArgv[JPEGTRAN_ARG_SLOTS] = {
    s_program, s_copy, s_all, s_trim, s_empty, s_empty,
    s_empty, s_empty, s_empty, s_empty, s_empty, s_empty,
};
int g_jpegtranArgc = 4;

namespace {

struct RunError {
    struct jpeg_error_mgr pub;
    jmp_buf* jump;
};

struct RunProgress {
    struct jpeg_progress_mgr pub;
};

}  // namespace

// Run options, reset by every switch pass; the run's files. Statics, so
// that the error path after a longjmp sees them as they were.
static const char* s_progname;
static const char* s_outfilename;
static jpeg_transform_info s_info;
static int s_copyoption;
static int s_simple_progressive;
static int s_printed_version;
static FILE* s_input;
static SafeWrite s_output;
static jmp_buf s_jump;

static void run_error_exit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    longjmp(*((RunError*)cinfo->err)->jump, 1);
}

static void run_output_message(j_common_ptr cinfo)
{
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    fprintf(stderr, "%s\n", message);
}

static void end_run(void)
{
    longjmp(s_jump, 1);
}

static void jpegtran_usage(void)
{
    static const char* const lines[] = {
        "inputfile outputfile\n",
        "Switches (names may be abbreviated):\n",
        "  -copy none     Copy no extra markers from source file\n",
        "  -copy comments Copy only comment markers (default)\n",
        "  -copy all      Copy all extra markers\n",
        "  -optimize      Optimize Huffman table (smaller file, but slow compression)\n",
        "  -progressive   Create progressive JPEG file\n",
        "Switches for modifying the image:\n",
        "  -grayscale     Reduce to grayscale (omit color data)\n",
        "  -flip [horizontal|vertical]  Mirror image (left-right or top-bottom)\n",
        "  -rotate [90|180|270]         Rotate image (degrees clockwise)\n",
        "  -transpose     Transpose image\n",
        "  -transverse    Transverse transpose image\n",
        "  -trim          Drop non-transformable edge blocks\n",
        "Switches for advanced users:\n",
        "  -restart N     Set restart interval in rows, or in blocks with B\n",
        "  -maxmemory N   Maximum memory to use (in kbytes)\n",
        "  -outfile name  Specify name for output file\n",
        "  -verbose  or  -debug   Emit debug output\n",
        "Switches for wizards:\n",
        "  -scans file    Create multi-scan JPEG per script file\n",
    };
    fprintf(stderr, "usage: %s [switches] ", s_progname);
    for (const char* line : lines)
        fputs(line, stderr);
    end_run();
}

// Case-insensitive prefix of keyword, at least minchars long.
static int keymatch(const char* arg, const char* keyword, int minchars)
{
    int nmatched = 0;
    for (int ca; (ca = (unsigned char)*arg++) != '\0'; ++nmatched) {
        int ck = (unsigned char)*keyword++;
        if (ck == '\0')
            return 0;
        if (isupper(ca))
            ca = tolower(ca);
        if (ca != ck)
            return 0;
    }
    return nmatched >= minchars;
}

static void select_transform(int code)
{
    if (s_info.transform == XFORM_NONE || s_info.transform == code) {
        s_info.transform = code;
        return;
    }
    fprintf(stderr, "%s: can only do one image transformation at a time\n", s_progname);
    jpegtran_usage();
}

// The value after argument i, or the usage text when there is none.
static const char* value_after(int* i, int argc, char** argv)
{
    if (++*i >= argc)
        jpegtran_usage();
    return argv[*i];
}

// Reads the switches; the index of the first file name.
static int parse_switches(j_compress_ptr dst, int argc, char** argv, int, int for_real)
{
    s_outfilename = NULL;
    s_copyoption = COPYOPT_COMMENTS;
    s_info.transform = XFORM_NONE;
    s_info.trim = FALSE;
    s_info.force_grayscale = FALSE;
    s_simple_progressive = 0;
    dst->err->trace_level = 0;
    int argn = 1;
    for (; argn < argc; ++argn) {
        const char* arg = argv[argn];
        if (arg[0] != '-')
            break;
        ++arg;
        if (keymatch(arg, "arithmetic", 1)) {
            fprintf(stderr, "%s: sorry, arithmetic coding not supported\n", s_progname);
            end_run();
        } else if (keymatch(arg, "copy", 1)) {
            const char* value = value_after(&argn, argc, argv);
            if (keymatch(value, "none", 1))
                s_copyoption = COPYOPT_NONE;
            else if (keymatch(value, "comments", 1))
                s_copyoption = COPYOPT_COMMENTS;
            else if (keymatch(value, "all", 1))
                s_copyoption = COPYOPT_ALL;
            else
                jpegtran_usage();
        } else if (keymatch(arg, "debug", 1) || keymatch(arg, "verbose", 1)) {
            if (!s_printed_version) {
                fprintf(stderr, "Corvane lossless JPEG transform, JPEG library version %d\n",
                        JPEG_LIB_VERSION);
                s_printed_version = 1;
            }
            dst->err->trace_level++;
        } else if (keymatch(arg, "flip", 1)) {
            const char* value = value_after(&argn, argc, argv);
            if (keymatch(value, "horizontal", 1))
                select_transform(XFORM_FLIP_H);
            else if (keymatch(value, "vertical", 1))
                select_transform(XFORM_FLIP_V);
            else
                jpegtran_usage();
        } else if (keymatch(arg, "grayscale", 1) || keymatch(arg, "greyscale", 1)) {
            s_info.force_grayscale = TRUE;
        } else if (keymatch(arg, "maxmemory", 3)) {
            long value;
            char letter = 'x';
            if (sscanf(value_after(&argn, argc, argv), "%ld%c", &value, &letter) < 1)
                jpegtran_usage();
            if (letter == 'm' || letter == 'M')
                value *= 1000L;
            dst->mem->max_memory_to_use = value * 1000L;
        } else if (keymatch(arg, "optimize", 1) || keymatch(arg, "optimise", 1)) {
            dst->optimize_coding = TRUE;
        } else if (keymatch(arg, "outfile", 4)) {
            s_outfilename = value_after(&argn, argc, argv);
        } else if (keymatch(arg, "progressive", 1)) {
            s_simple_progressive = 1;
        } else if (keymatch(arg, "restart", 1)) {
            long value;
            char letter = 'x';
            if (sscanf(value_after(&argn, argc, argv), "%ld%c", &value, &letter) < 1 ||
                value < 0 || value > 65535)
                jpegtran_usage();
            if (letter == 'b' || letter == 'B') {
                dst->restart_interval = (unsigned int)value;
                dst->restart_in_rows = 0;
            } else {
                dst->restart_in_rows = (int)value;
            }
        } else if (keymatch(arg, "rotate", 2)) {
            const char* value = value_after(&argn, argc, argv);
            if (keymatch(value, "90", 2))
                select_transform(XFORM_ROT_90);
            else if (keymatch(value, "180", 3))
                select_transform(XFORM_ROT_180);
            else if (keymatch(value, "270", 3))
                select_transform(XFORM_ROT_270);
            else
                jpegtran_usage();
        } else if (keymatch(arg, "transpose", 1)) {
            select_transform(XFORM_TRANSPOSE);
        } else if (keymatch(arg, "transverse", 6)) {
            select_transform(XFORM_TRANSVERSE);
        } else if (keymatch(arg, "trim", 3)) {
            s_info.trim = TRUE;
        } else {
            // Scan scripts are not read by this build: "-scans" is refused.
            jpegtran_usage();
        }
    }
    if (for_real && s_simple_progressive)
        jpeg_simple_progression(dst);
    return argn;
}

static void progress_monitor(j_common_ptr cinfo)
{
    struct jpeg_progress_mgr* p = cinfo->progress;
    if (p->total_passes <= 0 || p->pass_limit <= 0)
        return;
    double done = (double)(p->completed_passes + p->pass_counter / p->pass_limit);
    show_progress(done / p->total_passes, 20);
}

static void start_progress_monitor(j_common_ptr cinfo, RunProgress* progress)
{
    if (cinfo->err->trace_level != 0)
        return;
    progress->pub.progress_monitor = progress_monitor;
    cinfo->progress = &progress->pub;
}

static void end_progress_monitor(j_common_ptr cinfo)
{
    if (cinfo->err->trace_level == 0) {
        fprintf(stderr, "\r                \r");
        fflush(stderr);
    }
}

// Closes everything the run holds; the output stays as it was.
static void abandon_run(j_decompress_ptr src, j_compress_ptr dst)
{
    jpeg_destroy_compress(dst);
    jpeg_destroy_decompress(src);
    if (s_input)
        fclose(s_input);
    s_input = NULL;
    safe_write_abort(&s_output);
}

int jpegtran_main(int argc, char** argv)
{
    struct jpeg_decompress_struct src;
    struct jpeg_compress_struct dst;
    RunError src_err, dst_err;
    RunProgress progress;
    memset(&src, 0, sizeof src);
    memset(&dst, 0, sizeof dst);
    memset(&progress, 0, sizeof progress);
    memset(&s_output, 0, sizeof s_output);
    s_input = NULL;
    s_progname = argc > 0 && argv[0] && argv[0][0] ? argv[0] : "jpegtran";
    src.err = jpeg_std_error(&src_err.pub);
    dst.err = jpeg_std_error(&dst_err.pub);
    src_err.pub.error_exit = dst_err.pub.error_exit = run_error_exit;
    src_err.pub.output_message = dst_err.pub.output_message = run_output_message;
    src_err.jump = dst_err.jump = &s_jump;
    if (setjmp(s_jump)) {
        end_progress_monitor((j_common_ptr)&dst);
        abandon_run(&src, &dst);
        return 0;
    }
    jpeg_create_decompress(&src);
    jpeg_create_compress(&dst);

    int file_index = parse_switches(&dst, argc, argv, 0, FALSE);
    src_err.pub.trace_level = dst_err.pub.trace_level;
    src.mem->max_memory_to_use = dst.mem->max_memory_to_use;
    if (file_index != argc - (s_outfilename ? 1 : 2)) {
        fprintf(stderr, "%s: must name one input and one output file\n", s_progname);
        jpegtran_usage();
    }
    const char* input_name = argv[file_index];
    const char* output_name = s_outfilename ? s_outfilename : argv[file_index + 1];
    int is_exif = is_exif_jpeg(input_name);
    s_input = fopen(input_name, "rb");
    if (!s_input) {
        fprintf(stderr, "%s: can't open %s\n", s_progname, input_name);
        end_run();
    }
    int orientation = 1;
    if (is_exif) {
        orientation = read_exif_orientation(s_input);
        rewind(s_input);
    }
    FILE* out = safe_write_open(&s_output, output_name);
    if (!out) {
        seam_message_box(NULL, "Cannot Open File for Writing.", output_name, MB_ICONHAND);
        end_run();
    }

    start_progress_monitor((j_common_ptr)&dst, &progress);
    jpeg_stdio_src(&src, s_input);
    jcopy_markers_setup(&src, s_copyoption);
    jpeg_read_header(&src, TRUE);
    jtransform_request_workspace(&src, &s_info);
    jvirt_barray_ptr* src_coef = jpeg_read_coefficients(&src);
    jpeg_copy_critical_parameters(&src, &dst);
    jvirt_barray_ptr* dst_coef = jtransform_adjust_parameters(&src, &dst, src_coef, &s_info);
    parse_switches(&dst, argc, argv, 0, TRUE);

    jpeg_stdio_dest(&dst, out);
    jpeg_write_coefficients(&dst, dst_coef);
    jcopy_markers_execute(&src, &dst);
    jtransform_execute_transformation(&src, &dst, src_coef, &s_info);
    jpeg_finish_compress(&dst);
    jpeg_destroy_compress(&dst);
    jpeg_finish_decompress(&src);
    jpeg_destroy_decompress(&src);
    fclose(s_input);
    s_input = NULL;

    end_progress_monitor((j_common_ptr)&dst);
    if (!safe_write_commit(&s_output)) {
        seam_message_box(NULL, "Cannot Open File for Writing.", output_name, MB_ICONHAND);
        return 0;
    }
    if (is_exif) {
        int composed = compose_exif_orientation(orientation, s_info.transform + 1);
        if (composed != orientation)
            write_exif_orientation(output_name, composed);
    }
    return 1;
}
