/* Configuration for the IJG libraries taken from dcmtk (libijg8, libijg12),
 * standing in for dcmtk's generated osconfig.h. It is installed beside the
 * IJG headers, so the library and every program using it see the same
 * definitions (the size of boolean is part of the structures). */
#ifndef CORVANE_IJG_OSCONFIG_H
#define CORVANE_IJG_OSCONFIG_H

/* Without this jconfig*.h defines const away, which breaks C++ users. */
#define HAVE_C_CONST 1
#define HAVE_STDDEF_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_SYS_TYPES_H 1
#define C_INLINE inline

/* Reject DC Huffman symbols above 16 instead of only tracing them: the
 * decoder reads files from anywhere. */
#define DCMTK_ENABLE_STRICT_HUFFMAN_TABLE_CHECK 1

#ifdef _WIN32
/* <rpcndr.h> (via <windows.h>) declares boolean as unsigned char; the IJG
 * default of int would clash with it. */
#ifndef HAVE_BOOLEAN
#define HAVE_BOOLEAN
typedef unsigned char boolean;
#endif
#endif

#endif
