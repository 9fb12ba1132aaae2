// The evaluator behind every numeric field of the tool dialogs: arithmetic
// with remainder and power, pi and e, the mathematical functions, variables
// kept for the whole run and environment variables ("_name").
#pragma once

#include <windows.h>

#include <stddef.h>

// Lower-cases text in place, then evaluates it. Returns 0 or an error code
// (1 bad token, 2 missing ")", 3 division by zero, 4 unknown name, 5 variable
// table full, 6 unknown function, 7 wrong argument count, 8 empty argument,
// 9 empty text). *is_assignment is 1 for "name=..." and "name=".
int evaluate_expression(char* text, double* result, int* is_assignment);

// The value rounded half up; 0 on failure, for negative values and for values
// an int cannot hold, so 0 also means failure.
int evaluate_int_expression(char* text);

// False on failure or when the value is not a finite number.
bool evaluate_double_expression(char* text, double* value);

// A dialog field's text (not changed) as evaluate_int_expression takes it.
// When it holds something that is no expression the evaluator can read,
// unreadable (size bytes) receives the message naming it,
// "Error: Cannot read the expression \"<text>\"."; else it is left empty,
// and an empty field, like a negative value, gives 0 for the caller's own
// message about a missing value.
int evaluate_int_field(const char* text, char* unreadable, size_t size);

// Field id of dialog read by evaluate_int_field: 1 with *value, or 0 after
// the message for an unreadable text, a stop box owned by owner under
// caption, the operation's.
int read_int_field(HWND dialog, int id, HWND owner, const char* caption, int* value);

// Radians to degrees and back.
double expr_deg(double radians);
double expr_rad(double degrees);
