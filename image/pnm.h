// The PBM family: reading P1 to P6 and PAM (P7), the binary writers (P4, P5,
// P6, and P7 for images with alpha) and the rewrite of a file's header
// comments. Header comments become the comment text, each line ended by one
// carriage return.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

// Reads the file at path; info (500 bytes) gets the information text and
// the comments go to g_hComment, or with info null neither. Null without a
// message when the file cannot be opened or does not begin with 'P'; null
// after "File Read Error" for a header it refuses or a raster far larger
// than the file, after "Memory Allocation Error" when memory runs out.
HGLOBAL read_pnm_file(const char* path, char* info);

// The next decimal digit character, or 0 at the end of the file; blanks and
// comments before it are skipped (comments collected when collect is set).
BYTE read_pnm_digit(FILE* stream, int collect);

// The next unsigned decimal number, skipping as read_pnm_digit does; values
// past 32 bits read as 0xFFFFFFFF, and 0 when no digit is left.
uint32_t read_pnm_value(FILE* stream, int collect);

// Bits needed for value (0 for 0, 8 for 255).
int bit_length(uint32_t value);

// Writers: 1 on success, 0 for an unsupported depth or a failed write; the
// file at path is replaced only by a complete file.
int write_pbm_file(const char* path, HGLOBAL hImage);  // 1 bit
int write_pgm_file(const char* path, HGLOBAL hImage);  // 1, 4, 8 bits
int write_ppm_file(const char* path, HGLOBAL hImage);  // any depth; 32 bits as PAM

// Replaces the header comments of the PBM-family file at path by the text
// of *textHandle (none when null or empty); pixels stay byte for byte. 1
// when the file was rewritten; on failure the file and the text stay and
// "Cannot Open File for Writing." is shown (rewrite_for_comment).
int write_pnm_comment(const char* path, HGLOBAL* textHandle);

// The PDF entry of Convert/Save has no writer: always 0, nothing written.
int write_pdf_file(const char* path, HGLOBAL hImage);
