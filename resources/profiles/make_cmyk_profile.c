/* Makes CMYK.icc, the program's CMYK input profile, with Little CMS on the
 * build machine (not part of the program). No characterisation data of any
 * printing standard is used: the profile describes the plain subtractive
 * model red = (1 - C)(1 - K), green = (1 - M)(1 - K), blue = (1 - Y)(1 - K) in
 * sRGB, sampled into a CMYK-to-Lab table, so that colours come out as the
 * usual profile-less conversion would give them.
 *
 *   cc -O2 -o make_cmyk_profile make_cmyk_profile.c -llcms2
 *   ./make_cmyk_profile CMYK.icc
 */
#include <lcms2.h>
#include <stdio.h>

enum { GRID_POINTS = 17 };

static cmsHTRANSFORM s_rgb_to_lab;

static int sample_cmyk(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    double rgb[3] = {(1 - c) * (1 - k), (1 - m) * (1 - k), (1 - y) * (1 - k)};
    cmsCIELab lab;
    (void)cargo;
    cmsDoTransform(s_rgb_to_lab, rgb, &lab, 1);
    /* a version 2 table holds version 2 Lab */
    cmsFloat2LabEncodedV2(out, &lab);
    return 1;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT.icc\n", argv[0]);
        return 2;
    }
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(NULL);
    s_rgb_to_lab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL,
                                      INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
    if (!s_rgb_to_lab)
        return 1;

    cmsHPROFILE out = cmsCreateProfilePlaceholder(NULL);
    cmsSetProfileVersion(out, 2.1);
    cmsSetDeviceClass(out, cmsSigInputClass);
    cmsSetColorSpace(out, cmsSigCmykData);
    cmsSetPCS(out, cmsSigLabData);
    cmsSetHeaderRenderingIntent(out, INTENT_PERCEPTUAL);

    cmsPipeline* lut = cmsPipelineAlloc(NULL, 4, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(NULL, GRID_POINTS, 4, 3, NULL);
    cmsStageSampleCLut16bit(clut, sample_cmyk, NULL, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, clut);
    cmsWriteTag(out, cmsSigAToB0Tag, lut);
    cmsWriteTag(out, cmsSigMediaWhitePointTag, cmsD50_XYZ());

    cmsMLU* desc = cmsMLUalloc(NULL, 1);
    cmsMLUsetASCII(desc, "en", "US", "Corvane subtractive CMYK");
    cmsWriteTag(out, cmsSigProfileDescriptionTag, desc);
    cmsMLU* copyright = cmsMLUalloc(NULL, 1);
    cmsMLUsetASCII(copyright, "en", "US", "No copyright, use freely");
    cmsWriteTag(out, cmsSigCopyrightTag, copyright);

    int ok = cmsSaveProfileToFile(out, argv[1]);
    cmsMLUfree(desc);
    cmsMLUfree(copyright);
    cmsPipelineFree(lut);
    cmsCloseProfile(out);
    cmsDeleteTransform(s_rgb_to_lab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return ok ? 0 : 1;
}
