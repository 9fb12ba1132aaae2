/* Used only while building the IJG libraries. jmemmgr.c includes the header
 * named by this macro to silence one warning; naming this guarded header
 * again makes that include a no-op. */
#ifndef CORVANE_IJG_OFDIAG_H
#define CORVANE_IJG_OFDIAG_H
#define DCMTK_DIAGNOSTIC_IGNORE_CONST_EXPRESSION_WARNING "dcmtk/ofstd/ofdiag.h"
#endif
