/* The lossless patch of the IJG library renamed two fields that libtiff
 * reads; map the old names onto the new ones. (width_in_blocks libtiff maps
 * itself when it sees D_MAX_DATA_UNITS_IN_MCU.) */
#ifndef CORVANE_IJG_LOSSLESS_COMPAT_H
#define CORVANE_IJG_LOSSLESS_COMPAT_H
#define height_in_blocks height_in_data_units
#define progressive_mode process == JPROC_PROGRESSIVE
#endif
