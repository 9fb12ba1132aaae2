// Resource, control and command ids, grouped by window. Used by the .rc
// files and the code alike.
#pragma once

// ---- main window: dialog template and its controls
#define IDD_MAIN                1536
#define IDC_MAIN_OK             1       // IDOK, never shown
#define IDC_ABOUT_TEXT          1201    // About box: what, version, maker
#define IDC_MAIN_EXIT           2       // IDCANCEL, "E&xit"
#define IDC_MAIN_PREVIEW        1008
#define IDC_MAIN_TILE           1009
#define IDC_MAIN_CENTER         1010
#define IDC_MAIN_FULL_SCREEN    1013
#define IDC_MAIN_STATUS_PLACE   1030
#define IDC_MAIN_READ_ONLY      1040
#define IDC_MAIN_TYPE_LABEL     1089
#define IDC_MAIN_NAME_LABEL     1090
#define IDC_MAIN_DRIVE_LABEL    1091
#define IDC_MAIN_DIR_LABEL      1092
#define IDC_MAIN_FILE_LIST      1120
#define IDC_MAIN_DIR_LIST       1121
#define IDC_MAIN_TYPE_COMBO     1136
#define IDC_MAIN_DRIVE_COMBO    1137
#define IDC_MAIN_NAME_EDIT      1152

// ---- merge tool's MERGEIMAGE file dialog
#define IDC_MERGEIMAGE_PREVIEW  1010

// ---- ROTATE and SKEW dialogs
#define IDC_ANGLE_EDIT          1021    // SKEW: horizontal angle
#define IDC_ANGLE_FIRST_RADIO   1022    // ROTATE: clockwise; SKEW: horizontal
#define IDC_ANGLE_SECOND_RADIO  1023    // ROTATE: counter-clockwise; SKEW: vertical
#define IDC_SKEW_VERTICAL_EDIT  1024
#define IDC_SKEW_PICTURE_H      1030
#define IDC_SKEW_PICTURE_V      1031

// ---- EXIF dialog
#define IDC_EXIF_THUMBNAIL      1030    // owner-drawn: the thumbnail
#define IDC_EXIF_TEXT           1031    // owner-drawn: the information text
#define IDC_EXIF_MORE_INFO      1032    // "&More Info": the APP12 text

// ---- FRAME dialog
#define IDC_FRAME_UNIFORM_EDIT  1021
#define IDC_FRAME_UNIFORM       1022
#define IDC_FRAME_SEPARATE      1023
#define IDC_FRAME_LEFT          1025
#define IDC_FRAME_BOTTOM        1027
#define IDC_FRAME_TOP           1043
#define IDC_FRAME_RIGHT         1044
#define IDC_FRAME_SWATCH_CENTRE 1008
#define IDC_FRAME_SWATCH_CORNER 1009
#define IDC_FRAME_EDIT_COLOR    1010

// ---- main window: main menu (built in code), command ids
#define IDM_MAIN_LAST_FILE          2001
#define IDM_MAIN_NEXT_FILE          2002
#define IDM_MAIN_FILE_INFO          2003
#define IDM_MAIN_MOVE_FILE          2004
#define IDM_MAIN_COPY_FILE          2005
#define IDM_MAIN_DELETE_FILE        2006
#define IDM_MAIN_RENAME_FILE        2007
#define IDM_MAIN_EXIT               2008
#define IDM_MAIN_CENTER             2009
#define IDM_MAIN_TILE               2010
#define IDM_MAIN_FULL_SCREEN        2011
#define IDM_MAIN_CAPTURE_SCREEN     2012
#define IDM_MAIN_COPY_CLIPBOARD     2013
#define IDM_MAIN_PASTE_CLIPBOARD    2014
#define IDM_MAIN_PRINT_NORMAL       2015
#define IDM_MAIN_PRINT_LARGE        2016
#define IDM_MAIN_PRINT_TILED        2017
#define IDM_MAIN_PRINTER_PROFILE    2018
#define IDM_MAIN_BACKGROUND_FIRST   2019    // eight swatches, 2019 to 2026
#define IDM_MAIN_BACKGROUND_LAST    2026
#define IDM_MAIN_SELECT_COLOR       2027
#define IDM_MAIN_DISABLE_ALPHA      2028
#define IDM_MAIN_BATCH              2029
#define IDM_MAIN_JPEG_HEADING       2030
#define IDM_MAIN_JPEG_ROTATE_CW     2031
#define IDM_MAIN_JPEG_ROTATE_CCW    2032
#define IDM_MAIN_JPEG_ROTATE_180    2033
#define IDM_MAIN_JPEG_FLIP_LR       2034
#define IDM_MAIN_JPEG_FLIP_TB       2035
#define IDM_MAIN_JPEG_TRANSPOSE     2036
#define IDM_MAIN_JPEG_TRANSVERSE    2037
#define IDM_MAIN_JPEG_GRAYSCALE     2038
#define IDM_MAIN_JPEG_PROGRESSIVE   2039
#define IDM_MAIN_JPEG_OPTIMIZE      2040
#define IDM_MAIN_JPEG_EXIF          2041
#define IDM_MAIN_BLANK_HEADING      2042
#define IDM_MAIN_SCREEN_HEADING     2043
#define IDM_MAIN_SCREEN_HEADING2    2044
#define IDM_MAIN_ROTATE_CW          2045
#define IDM_MAIN_ROTATE_CCW         2046
#define IDM_MAIN_ROTATE_180         2047
#define IDM_MAIN_ROTATE_ANGLE       2048
#define IDM_MAIN_FLIP_LR            2049
#define IDM_MAIN_FLIP_TB            2050
#define IDM_MAIN_INVERT             2051
#define IDM_MAIN_TRUE_COLOR         2052
#define IDM_MAIN_BEST_256           2053
#define IDM_MAIN_BEST_128           2054
#define IDM_MAIN_BEST_64            2055
#define IDM_MAIN_BEST_32            2056
#define IDM_MAIN_BEST_16            2057
#define IDM_MAIN_BEST_8             2058
#define IDM_MAIN_BEST_4             2059
#define IDM_MAIN_BEST_2             2060
#define IDM_MAIN_STANDARD_256       2061
#define IDM_MAIN_WEB_216            2062
#define IDM_MAIN_STANDARD_16        2063
#define IDM_MAIN_GRAYSCALE          2064
#define IDM_MAIN_MONOCHROME         2065
#define IDM_MAIN_TONING_HEADING     2066
#define IDM_MAIN_BRIGHTEN           2067
#define IDM_MAIN_DARKEN             2068
#define IDM_MAIN_DISPLAY_PALETTE    2069
#define IDM_MAIN_FRAME              2070
#define IDM_MAIN_WRITE_TEXT         2071
#define IDM_MAIN_RED_EYE            2072
#define IDM_MAIN_MERGE_CLIPBOARD    2073
#define IDM_MAIN_MERGE_FILE         2074
#define IDM_MAIN_SPHERE             2075
#define IDM_MAIN_RESTORE            2076
#define IDM_MAIN_UNDO               2077
#define IDM_MAIN_SAVE_BMP           2078
#define IDM_MAIN_SAVE_BMP_RLE       2079
#define IDM_MAIN_SAVE_BMP_555       2080
#define IDM_MAIN_SAVE_BMP_565       2081
#define IDM_MAIN_SAVE_GIF           2082
#define IDM_MAIN_SAVE_GIF_INTERLACED 2083
#define IDM_MAIN_SAVE_IFF           2084
#define IDM_MAIN_SAVE_IFF_PACKED    2085
#define IDM_MAIN_SAVE_IFF_HAM       2086
#define IDM_MAIN_SAVE_IFF_HAM_PACKED 2087
#define IDM_MAIN_SAVE_JBIG          2088
#define IDM_MAIN_SAVE_JPEG          2089
#define IDM_MAIN_SAVE_JPEG_PROGRESSIVE 2090
#define IDM_MAIN_SAVE_JPEG_LOSSLESS 2091
#define IDM_MAIN_SAVE_JPEG12        2092
#define IDM_MAIN_SAVE_JPEG12_PROGRESSIVE 2093
#define IDM_MAIN_SAVE_JPEG12_LOSSLESS 2094
#define IDM_MAIN_SAVE_PCX           2095
#define IDM_MAIN_SAVE_PDF           2096    // no menu item carries it
#define IDM_MAIN_SAVE_PNM_FAMILY    2097
#define IDM_MAIN_SAVE_PNG           2098
#define IDM_MAIN_SAVE_PNG_ADAM7     2099
#define IDM_MAIN_SAVE_TGA           2100
#define IDM_MAIN_SAVE_TGA_RLE       2101
#define IDM_MAIN_TIFF_HEADING       2102
#define IDM_MAIN_SAVE_TIFF_FIRST    2103    // strips (odd) and tiles (even), to 2122
#define IDM_MAIN_SAVE_TIFF_JBIG_TILES 2120
#define IDM_MAIN_SAVE_TIFF_LAST     2122
#define IDM_MAIN_SAVE_EMF           2123
#define IDM_MAIN_SAVE_WMF           2124
#define IDM_MAIN_INSERT_COMMENT     2125
#define IDM_MAIN_VIEW_COMMENT       2126
#define IDM_MAIN_EXIF_PROPERTIES    2127
#define IDM_MAIN_SLIDESHOW          2128
#define IDM_MAIN_HIDE_FILE_NAME     2129
#define IDM_MAIN_HIDE_STATUS_BAR    2130
#define IDM_MAIN_HELP_LIBRARY       2131
#define IDM_MAIN_HELP_STARTED       2132
#define IDM_MAIN_HELP_MULTIMEDIA    2133
#define IDM_MAIN_HELP_CAPTURE       2134
#define IDM_MAIN_HELP_COMMENTS      2135
#define IDM_MAIN_ABOUT              2136
#define IDM_MAIN_BAR_LAST_FILE      2137    // "&<<<" on the bar
#define IDM_MAIN_BAR_NEXT_FILE      2138    // "&>>>" on the bar
#define IDM_MAIN_STRETCH            2139
#define IDM_MAIN_CROP               2140
#define IDM_MAIN_SKEW               2141
#define IDM_MAIN_TONE_FIRST         2156    // eight toning items, 2156 to 2163
#define IDM_MAIN_TONE_LAST          2163

// ---- image window ("Meta"): commands its accelerator table gives
#define IDM_VIEW_CLOSE_FILE         102
#define IDM_VIEW_FULL_SCREEN        105
#define IDM_VIEW_TILE               107
#define IDM_VIEW_FILE_INFO          110
#define IDM_VIEW_SLIDESHOW          114
#define IDM_VIEW_NEXT_FILE          115
#define IDM_VIEW_LAST_FILE          116
#define IDM_VIEW_BRIGHTEN           170
#define IDM_VIEW_DARKEN             171
#define IDM_VIEW_INSERT_COMMENT     214
#define IDM_VIEW_CENTER             218
#define IDM_VIEW_MAKE_EXIF          259

// ---- image window: the rest of its menu "MENU_A"
#define IDM_VIEW_PRINT_NORMAL       103
#define IDM_VIEW_PRINT_LARGE        104
#define IDM_VIEW_CENTER_TOGGLE      106     // relabelled "&Center" / "&Tile"
#define IDM_VIEW_PRINT_TILED        108
#define IDM_VIEW_ABOUT              109
#define IDM_VIEW_DELETE_FILE        111
#define IDM_VIEW_SAVE_BMP           117
#define IDM_VIEW_SAVE_JPEG          118
#define IDM_VIEW_ROTATE_CW          119
#define IDM_VIEW_ROTATE_180         120
#define IDM_VIEW_ROTATE_CCW         121
#define IDM_VIEW_FLIP_LR            122
#define IDM_VIEW_FLIP_TB            123
#define IDM_VIEW_INVERT             124
#define IDM_VIEW_STANDARD_256       126
#define IDM_VIEW_GRAYSCALE          127
#define IDM_VIEW_MONOCHROME         128
#define IDM_VIEW_STANDARD_16        129
#define IDM_VIEW_TRUE_COLOR         130
#define IDM_VIEW_RESTORE            131
#define IDM_VIEW_BEST_256           132
#define IDM_VIEW_BEST_32            133
#define IDM_VIEW_BEST_16            134
#define IDM_VIEW_BEST_2             135
#define IDM_VIEW_SAVE_GIF           136
#define IDM_VIEW_TIFF_HEADING       138
#define IDM_VIEW_SAVE_TIFF_NONE     139
#define IDM_VIEW_SAVE_TIFF_LZW      140
#define IDM_VIEW_SAVE_TIFF_JPEG     141
#define IDM_VIEW_SAVE_TIFF_HUFFMAN  142
#define IDM_VIEW_SAVE_TIFF_G3       143
#define IDM_VIEW_SAVE_TIFF_G4       144
#define IDM_VIEW_SAVE_TIFF_PACKBITS 145
#define IDM_VIEW_SAVE_TIFF_DEFLATE  146
#define IDM_VIEW_SAVE_TIFF_NONE_T   154     // the same compressions in tiles
#define IDM_VIEW_SAVE_TIFF_HUFFMAN_T 155
#define IDM_VIEW_SAVE_TIFF_G3_T     156
#define IDM_VIEW_SAVE_TIFF_G4_T     157
#define IDM_VIEW_SAVE_TIFF_LZW_T    158
#define IDM_VIEW_SAVE_TIFF_JPEG_T   159
#define IDM_VIEW_SAVE_TIFF_PACKBITS_T 160
#define IDM_VIEW_SAVE_TIFF_DEFLATE_T 161
#define IDM_VIEW_SAVE_PNG           163
#define IDM_VIEW_SAVE_PNG_ADAM7     164
#define IDM_VIEW_SAVE_GIF_INTERLACED 165
#define IDM_VIEW_SAVE_JPEG_PROGRESSIVE 166
#define IDM_VIEW_SAVE_TGA           168
#define IDM_VIEW_SAVE_TGA_RLE       169
#define IDM_VIEW_SAVE_PCX           172
#define IDM_VIEW_SAVE_BMP_RLE       173
#define IDM_VIEW_SAVE_IFF           174
#define IDM_VIEW_SAVE_IFF_PACKED    175
#define IDM_VIEW_SAVE_IFF_HAM       176
#define IDM_VIEW_SAVE_IFF_HAM_PACKED 177
#define IDM_VIEW_SAVE_BMP_555       178
#define IDM_VIEW_SAVE_BMP_565       179
#define IDM_VIEW_HELP_LIBRARY       180
#define IDM_VIEW_WEB_216            183
#define IDM_VIEW_MOVE_FILE          189
#define IDM_VIEW_COPY_FILE          190
#define IDM_VIEW_RENAME_FILE        191
#define IDM_VIEW_PRINTER_PROFILE    194
#define IDM_VIEW_BACKGROUND_0       196     // colours 0 and 1; 2 to 7 are 200 to 205
#define IDM_VIEW_BACKGROUND_1       197
#define IDM_VIEW_HELP_STARTED       198
#define IDM_VIEW_STRETCH            199
#define IDM_VIEW_BACKGROUND_2       200
#define IDM_VIEW_BACKGROUND_7       205
#define IDM_VIEW_CROP               206
#define IDM_VIEW_HIDE_FILE_NAME     215
#define IDM_VIEW_HIDE_STATUS_BAR    216
#define IDM_VIEW_SCREEN_HEADING     220
#define IDM_VIEW_SCREEN_HEADING2    221
#define IDM_VIEW_SCREEN_HEADING3    222
#define IDM_VIEW_CAPTURE_SCREEN     223
#define IDM_VIEW_BLANK_HEADING      224
#define IDM_VIEW_JPEG_FLIP_LR       225
#define IDM_VIEW_JPEG_FLIP_TB       226
#define IDM_VIEW_JPEG_ROTATE_CW     227
#define IDM_VIEW_JPEG_ROTATE_CCW    228
#define IDM_VIEW_JPEG_ROTATE_180    229
#define IDM_VIEW_JPEG_TRANSPOSE     230
#define IDM_VIEW_JPEG_TRANSVERSE    231
#define IDM_VIEW_JPEG_GRAYSCALE     232
#define IDM_VIEW_JPEG_OPTIMIZE      233
#define IDM_VIEW_JPEG_PROGRESSIVE   234
#define IDM_VIEW_VIEW_COMMENT       235
#define IDM_VIEW_UNDO               237
#define IDM_VIEW_COPY_CLIPBOARD     238
#define IDM_VIEW_PASTE_CLIPBOARD    239
#define IDM_VIEW_SAVE_EMF           240
#define IDM_VIEW_SAVE_WMF           241
#define IDM_VIEW_RED_EYE            242
#define IDM_VIEW_EXIF_PROPERTIES    245
#define IDM_VIEW_BATCH              257
#define IDM_VIEW_SAVE_JBIG          260
#define IDM_VIEW_SAVE_PNM_FAMILY    261
#define IDM_VIEW_DISPLAY_PALETTE    263
#define IDM_VIEW_DISABLE_ALPHA      269
#define IDM_VIEW_FRAME              270
#define IDM_VIEW_HELP_MULTIMEDIA    271
#define IDM_VIEW_HELP_CAPTURE       272
#define IDM_VIEW_HELP_COMMENTS      273
#define IDM_VIEW_SAVE_TIFF_JBIG     274
#define IDM_VIEW_SAVE_TIFF_JBIG_T   275
#define IDM_VIEW_WRITE_TEXT         276
#define IDM_VIEW_TONE_SEPIA1        285
#define IDM_VIEW_TONING_HEADING     288
#define IDM_VIEW_TONE_CYANOTYPE     289
#define IDM_VIEW_TONE_PALLADIUM     290
#define IDM_VIEW_TONE_PLATINUM      291
#define IDM_VIEW_TONE_SELENIUM      292
#define IDM_VIEW_TONE_SILVER        293
#define IDM_VIEW_TONE_SEPIA2        294
#define IDM_VIEW_TONE_MAROON        295
#define IDM_VIEW_MERGE_CLIPBOARD    299
#define IDM_VIEW_MERGE_FILE         300
#define IDM_VIEW_ROTATE_ANGLE       309
#define IDM_VIEW_SKEW               310
#define IDM_VIEW_SELECT_COLOR       311
#define IDM_VIEW_SAVE_PDF           312     // no menu item carries it
#define IDM_VIEW_SAVE_JPEG_LOSSLESS 314
#define IDM_VIEW_SAVE_JPEG12        316
#define IDM_VIEW_SAVE_JPEG12_PROGRESSIVE 317
#define IDM_VIEW_SAVE_JPEG12_LOSSLESS 318
#define IDM_VIEW_SPHERE             320
#define IDM_VIEW_SAVE_TIFF_LZMA     321     // no menu item carries these two
#define IDM_VIEW_SAVE_TIFF_LZMA_T   322
#define IDM_VIEW_BEST_128           323
#define IDM_VIEW_BEST_64            324
#define IDM_VIEW_BEST_8             325
#define IDM_VIEW_BEST_4             326

// "Crop" window menu "MENU2" and its "DONTSHOW" tip
#define IDM_CROP_ZOOM_12            327
#define IDM_CROP_ZOOM_25            208
#define IDM_CROP_ZOOM_50            209
#define IDM_CROP_ZOOM_75            215
#define IDM_CROP_ZOOM_100           210
#define IDM_CROP_ZOOM_200           211
#define IDM_CROP_ZOOM_400           212
#define IDM_CROP_ZOOM_800           213
#define IDM_CROP_ACCEPT             217
#define IDM_CROP_CANCEL             214
#define IDM_CROP_HELP               218
#define IDM_CROP_HELP_LIBRARY       219
#define IDC_DONTSHOW_CHECK          1029

// "Merge" window menu "MENU6" (its zoom items are MENU2's ids)
#define IDM_MERGE_ACCEPT            301
#define IDM_MERGE_CANCEL            302
#define IDM_MERGE_HELP              303
#define IDM_MERGE_HELP_LIBRARY      304
#define IDM_MERGE_TRANSPARENT       305
#define IDM_MERGE_KEY_COLOR         306
#define IDM_MERGE_ANOTHER_FILE      307
#define IDM_MERGE_ANOTHER_CLIPBOARD 308
// The MERGEIMAGE template's placeholder for the Open dialog's own controls
#define IDC_MERGEIMAGE_PLACE        1119

// "Text" window menu "MENU5" (its zoom items are MENU2's ids) and dialogs
#define IDM_TEXT_CANCEL             277
#define IDM_TEXT_HELP               278
#define IDM_TEXT_HELP_LIBRARY       279
#define IDM_TEXT_FONT               280
#define IDM_TEXT_ENTER              281
#define IDM_TEXT_COLORS             282
#define IDM_TEXT_POSITION           283
#define IDM_TEXT_ACCEPT             284
#define IDM_TEXT_ADDITIONAL         313
#define IDC_TEXT_OPAQUE             1022    // TEXTCOLOR; GETTEXT: Left Justify
#define IDC_TEXT_TRANSPARENT        1023    // TEXTCOLOR; GETTEXT: Center
#define IDC_TEXT_LEFT               1022
#define IDC_TEXT_CENTER             1023
#define IDC_TEXT_RIGHT              1025
#define IDC_TEXT_EDIT_COLOR         1030
#define IDC_TEXT_EDIT_BACK_COLOR    1031
#define IDC_TEXT_COLOR_LABEL        1088
#define IDC_TEXT_CENTER_X           1029
#define IDC_TEXT_CENTER_Y           1046
#define IDC_TEXT_POSITION_NOTE      1047

// Dialog "TOCAPTURE"
#define IDC_CAPTURE_TEXT1           1211
#define IDC_CAPTURE_TEXT2           1212

// Comment dialog "GETCOMMENT"
#define IDC_COMMENT_EDIT        1021
#define IDC_COMMENT_LABEL       1030

// Colour picker "PALETTE_COLOR", "PALETTE_COLOR_BIG", "PALETTE_COLOR_BIGGER"
#define IDC_PICKER_RED              1021
#define IDC_PICKER_GREEN            1024
#define IDC_PICKER_BLUE             1026
#define IDC_PICKER_RED_SPIN         1039
#define IDC_PICKER_GREEN_SPIN       1040
#define IDC_PICKER_BLUE_SPIN        1041
#define IDC_PICKER_TRANSPARENT      1029
#define IDC_PICKER_PREVIEW          1030
#define IDC_PICKER_GRID             1031

// "Palette" window menu "MENU4"
#define IDM_PALETTE_EXIT            264
#define IDM_PALETTE_NEAREST         265
#define IDM_PALETTE_BRIGHTEST       266
#define IDM_PALETTE_DARKEST         267
#define IDM_PALETTE_TRANSPARENT     268
#define IDM_PALETTE_HELP            2155

// Red-eye tips "FIXREDEYE" and "FIXREDEYE1" (their box is IDC_DONTSHOW_CHECK)

// Dialog "STRETCH"
#define IDC_STRETCH_WIDTH_ONLY      1021
#define IDC_STRETCH_MODE_WIDTH      1022
#define IDC_STRETCH_MODE_HEIGHT     1023
#define IDC_STRETCH_HEIGHT_ONLY     1024
#define IDC_STRETCH_MODE_BOTH       1025
#define IDC_STRETCH_WIDTH           1026
#define IDC_STRETCH_HEIGHT          1028
#define IDC_STRETCH_NO_SPLINE       1029
#define IDC_STRETCH_STATUS          1030

// Dialog "HUFFMAN"
#define IDC_HUFFMAN_ORIENTATION     1021

// "Batch" window menu "MENU3"
#define IDM_BATCH_HELP              248
#define IDM_BATCH_EXIT              249
#define IDM_BATCH_PREVIOUS_PAGE     250
#define IDM_BATCH_NEXT_PAGE         251
#define IDM_BATCH_ROTATE_CW         252
#define IDM_BATCH_ROTATE_CCW        253
#define IDM_BATCH_COMMENT           254
#define IDM_BATCH_MOVE              255
#define IDM_BATCH_COPY              256
#define IDM_BATCH_DELETE            258
#define IDM_BATCH_HELP_LIBRARY      262
#define IDM_BATCH_PNG               329
#define IDM_BATCH_PNG_ADAM7         330
#define IDM_BATCH_JPEG              331
#define IDM_BATCH_JPEG_PROGRESSIVE  332

// The batch window's popup menu for one thumbnail
#define IDM_THUMB_OPEN              2142
#define IDM_THUMB_ROTATE_CW         2143
#define IDM_THUMB_ROTATE_CCW        2144
#define IDM_THUMB_MOVE              2145
#define IDM_THUMB_COPY              2146
#define IDM_THUMB_DELETE            2147
#define IDM_THUMB_RENAME            2148
#define IDM_THUMB_PNG               2149
#define IDM_THUMB_PNG_ADAM7         2150
#define IDM_THUMB_JPEG              2151
#define IDM_THUMB_JPEG_PROGRESSIVE  2152
#define IDM_THUMB_COMMENT           2153
#define IDM_THUMB_PROPERTIES        2154
