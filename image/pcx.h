// PCX: the run-length reader (1 to 8 bits in planes, 16, 24 and 32 bits)
// and the version 5 writer. Also the buffered byte reader that the PCX and
// Targa readers take their bytes through.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

// A read-ahead of 2048 bytes on an open file handle.
struct BufferedFile {
    HFILE file;
    UINT position;  // next byte in buffer
    UINT fill;      // bytes in buffer
    BYTE buffer[2048];
};

// Starts reading at the handle's current position.
void begin_buffered_read(BufferedFile* in, HFILE file);

// 1 with the next byte in *value, 0 when the file is exhausted.
int read_buffered_byte(BufferedFile* in, BYTE* value);

// Reads the PCX file open at its start on file and closes it. info (500
// bytes) may be null. Errors are shown in boxes owned by owner; a damaged
// raster gives the rows decoded so far.
HGLOBAL read_pcx_file(HFILE file, HWND owner, char* info);

// 1 on success; 0 for a depth other than 1, 4, 8, 16, 24, 32 or a failed
// write (the file at path is replaced only by a complete file).
int write_pcx_file(const char* path, HGLOBAL hImage);

// Run-length codes one plane line of length bytes onto stream.
void encode_pcx_line(FILE* stream, const BYTE* line, size_t length);
void pcx_put_byte(BYTE value, FILE* stream);
