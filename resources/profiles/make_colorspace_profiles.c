/* Makes the colour-space profiles the TIFF reader takes its YCbCr and CIE
 * L*a*b* pages through, with Little CMS on the build machine (the build
 * runs it; not part of the program):
 *
 *   CIELAB.icc  Lab to Lab. The reader hands it the file's bytes as Little
 *               CMS's unsigned 8-bit Lab, but TIFF stores a* and b* as signed
 *               bytes: its a* and b* curves undo that (byte 0x80 is -128,
 *               0x7F is +127), exactly at every byte value.
 *   YCC601.icc  YCbCr (ITU-R BT.601, full range, as JPEG and TIFF use it) to
 *               Lab through sRGB.
 *   YCC709.icc  the same with the ITU-R BT.709 coefficients.
 *
 *   cc -O2 -o make_colorspace_profiles make_colorspace_profiles.c -llcms2
 *   ./make_colorspace_profiles OUTDIR
 */
#include <lcms2.h>
#include <stdio.h>
#include <string.h>

enum { GRID_POINTS = 33 };

static cmsHTRANSFORM s_rgb_to_lab;

struct YccCoefficients {
    double cr_to_red, cb_to_green, cr_to_green, cb_to_blue;
};

static double clip(double v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

static int sample_ycc(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    const struct YccCoefficients* k = (const struct YccCoefficients*)cargo;
    double y = in[0] / 65535.0, cb = in[1] / 65535.0 - 128.0 / 255, cr = in[2] / 65535.0 - 128.0 / 255;
    double rgb[3] = {clip(y + k->cr_to_red * cr), clip(y - k->cb_to_green * cb - k->cr_to_green * cr),
                     clip(y + k->cb_to_blue * cb)};
    cmsCIELab lab;
    cmsDoTransform(s_rgb_to_lab, rgb, &lab, 1);
    /* a version 2 table holds version 2 Lab */
    cmsFloat2LabEncodedV2(out, &lab);
    return 1;
}

static void describe(cmsHPROFILE profile, const char* text)
{
    cmsMLU* desc = cmsMLUalloc(NULL, 1);
    cmsMLUsetASCII(desc, "en", "US", text);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, desc);
    cmsMLUfree(desc);
    cmsMLU* copyright = cmsMLUalloc(NULL, 1);
    cmsMLUsetASCII(copyright, "en", "US", "No copyright, use freely");
    cmsWriteTag(profile, cmsSigCopyrightTag, copyright);
    cmsMLUfree(copyright);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
}

static int save(cmsHPROFILE profile, const char* dir, const char* name)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    int ok = cmsSaveProfileToFile(profile, path);
    if (!ok)
        fprintf(stderr, "cannot write %s\n", path);
    return ok;
}

static int make_ycc(const char* dir, const char* name, const char* text, struct YccCoefficients* k)
{
    cmsHPROFILE out = cmsCreateProfilePlaceholder(NULL);
    cmsSetProfileVersion(out, 2.1);
    cmsSetDeviceClass(out, cmsSigColorSpaceClass);
    cmsSetColorSpace(out, cmsSigYCbCrData);
    cmsSetPCS(out, cmsSigLabData);
    cmsSetHeaderRenderingIntent(out, INTENT_PERCEPTUAL);
    cmsPipeline* lut = cmsPipelineAlloc(NULL, 3, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(NULL, GRID_POINTS, 3, 3, NULL);
    cmsStageSampleCLut16bit(clut, sample_ycc, k, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, clut);
    cmsWriteTag(out, cmsSigAToB0Tag, lut);
    describe(out, text);
    int ok = save(out, dir, name);
    cmsPipelineFree(lut);
    cmsCloseProfile(out);
    return ok;
}

/* Version 4, so that Little CMS hands the table its own 8-bit Lab encoding
 * unchanged (byte x 257) and every byte lands on a table entry. */
static int make_cielab(const char* dir)
{
    cmsUInt16Number identity[256], signed_ab[256];
    for (int i = 0; i < 256; i++) {
        identity[i] = (cmsUInt16Number)(i * 257);
        signed_ab[i] = (cmsUInt16Number)((i ^ 0x80) * 257);
    }
    cmsToneCurve* curves[3] = {cmsBuildTabulatedToneCurve16(NULL, 256, identity),
                               cmsBuildTabulatedToneCurve16(NULL, 256, signed_ab),
                               cmsBuildTabulatedToneCurve16(NULL, 256, signed_ab)};
    cmsHPROFILE out = cmsCreateProfilePlaceholder(NULL);
    cmsSetProfileVersion(out, 4.3);
    cmsSetDeviceClass(out, cmsSigColorSpaceClass);
    cmsSetColorSpace(out, cmsSigLabData);
    cmsSetPCS(out, cmsSigLabData);
    cmsSetHeaderRenderingIntent(out, INTENT_PERCEPTUAL);
    cmsPipeline* lut = cmsPipelineAlloc(NULL, 3, 3);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(NULL, 3, curves));
    cmsWriteTag(out, cmsSigAToB0Tag, lut);
    describe(out, "Corvane CIE L*a*b* with signed a* and b*");
    int ok = save(out, dir, "CIELAB.icc");
    cmsPipelineFree(lut);
    cmsCloseProfile(out);
    cmsFreeToneCurveTriple(curves);
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(NULL);
    s_rgb_to_lab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                      cmsFLAGS_NOOPTIMIZE);
    if (!s_rgb_to_lab)
        return 1;
    struct YccCoefficients bt601 = {1.402, 0.344136, 0.714136, 1.772};
    struct YccCoefficients bt709 = {1.5748, 0.187324, 0.468124, 1.8556};
    int ok = make_cielab(argv[1]) && make_ycc(argv[1], "YCC601.icc", "Corvane YCbCr BT.601", &bt601) &&
             make_ycc(argv[1], "YCC709.icc", "Corvane YCbCr BT.709", &bt709);
    cmsDeleteTransform(s_rgb_to_lab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return ok ? 0 : 1;
}
