/* The IJG libraries are linked statically: no import/export decoration. */
#ifndef CORVANE_IJG_OFEXPORT_H
#define CORVANE_IJG_OFEXPORT_H
#define DCMTK_DECL_EXPORT
#define DCMTK_DECL_IMPORT
#endif
