# Imported targets for the libraries that scripts/build_deps.sh installs
# into DEPS_PREFIX. Every library is static.
#
# The two IJG JPEG builds (libjpeg 6b with the lossless patch) rename every
# function to jpeg8_* / jpeg12_*, so both link into one program; their headers
# live in include/ijg8 and include/ijg12 (jpeglib8.h, jerror8.h, jconfig8.h,
# jmorecfg8.h and the 12 counterparts, plus a small dcmtk/ configuration they
# include). Include <stdio.h> before jpeglib8.h / jpeglib12.h. The two headers
# share one include guard, have no extern "C" and both define JSAMPLE & co.,
# so 8-bit and 12-bit code live in separate source files, each wrapping the
# include in extern "C" { }. Lossless coding: jpeg_simple_lossless(cinfo,
# predictor, point_transform); a decoder's cinfo.process tells the process.
# Their configuration makes boolean an unsigned char, as <windows.h> does.
#
# libjpeg-turbo (deps::turbo) does the 8-bit DCT-based JPEG work with SIMD:
# plain jpeg_* names, headers in include/turbo (jpeglib.h, jerror.h,
# jconfig.h, jmorecfg.h), which may not share a source file with the IJG
# headers. It has JCS_EXT_* colour spaces, jpeg_mem_src/jpeg_mem_dest and
# arithmetic coding, but no lossless process and no 12-bit samples.
#
# libtiff reads and writes JPEG with 8-bit samples through deps::turbo and
# with 12-bit samples through deps::jpeg12; writing 12-bit JPEG needs
# TIFFTAG_JPEGTABLESMODE = JPEGTABLESMODE_QUANT. It also holds the 8-bit
# codec on deps::jpeg8 as TIFFInitJPEG_ijg8 (C linkage), which a reader
# registers with TIFFRegisterCODEC for lossless JPEG data.
set(DEPS_PREFIX "${CMAKE_SOURCE_DIR}/build/deps/prefix" CACHE PATH "prefix of the cross-built libraries")

# corvane_import(NAME FILE [INCLUDE dir...] [DEFINES def...] [LINK target...])
function(corvane_import name file)
    cmake_parse_arguments(ARG "" "" "INCLUDE;DEFINES;LINK" ${ARGN})
    if(NOT EXISTS "${DEPS_PREFIX}/lib/${file}")
        message(FATAL_ERROR "${DEPS_PREFIX}/lib/${file} is missing: run scripts/build_deps.sh")
    endif()
    set(includes "${DEPS_PREFIX}/include")
    foreach(dir IN LISTS ARG_INCLUDE)
        list(PREPEND includes "${DEPS_PREFIX}/include/${dir}")
    endforeach()
    add_library(deps::${name} STATIC IMPORTED GLOBAL)
    set_target_properties(deps::${name} PROPERTIES
        IMPORTED_LOCATION "${DEPS_PREFIX}/lib/${file}"
        INTERFACE_INCLUDE_DIRECTORIES "${includes}"
        INTERFACE_COMPILE_DEFINITIONS "${ARG_DEFINES}"
        INTERFACE_LINK_LIBRARIES "${ARG_LINK}")
endfunction()

corvane_import(gtest      libgtest.a)
corvane_import(gtest_main libgtest_main.a LINK deps::gtest)

corvane_import(zlib    libz.a)
corvane_import(lzma    liblzma.a    DEFINES LZMA_API_STATIC)
corvane_import(jpeg8   libijg8.a    INCLUDE ijg8)
corvane_import(jpeg12  libijg12.a   INCLUDE ijg12)
corvane_import(turbo   libjpegturbo.a INCLUDE turbo)
# jbig.h has no extern "C" either.
corvane_import(jbig    libjbig.a)
corvane_import(tiff    libtiff.a    LINK deps::turbo deps::jpeg8 deps::jpeg12 deps::jbig deps::zlib deps::lzma)
corvane_import(png     libpng16.a   LINK deps::zlib)
# lcms2.h uses the register keyword, which C++17 removed.
corvane_import(lcms2   liblcms2.a   DEFINES CMS_NO_REGISTER_KEYWORD=1)
corvane_import(openjp2 libopenjp2.a INCLUDE openjpeg-2.5 DEFINES OPJ_STATIC)
