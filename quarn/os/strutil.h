#pragma once
// Free text helpers: trimming, case, number formatting, padded columns,
// fitting a text to a pixel width and the full-width character mapping.
// Every function that writes into a caller buffer has a form that takes the
// buffer's size and never writes beyond it.
#include <cstddef>
#include <cstdint>

struct vector;

bool str_is_blank(const char* text);

// Copies without leading / trailing / both kinds of blanks, tabs and line
// feeds. The unsized forms need a destination as large as the source.
char* str_copy_trim_left(char* dest, const char* src);
char* str_copy_trim_right(char* dest, const char* src);
char* str_trim(char* dest, const char* src);
char* str_copy_trim_left(char* dest, size_t size, const char* src);
char* str_copy_trim_right(char* dest, size_t size, const char* src);
char* str_trim(char* dest, size_t size, const char* src);

// Appends one character; the sized form refuses (returns false) when full.
void str_append_char(char* text, char c);
bool str_append_char(char* text, size_t size, char c);

char* str_lower(char* text);
char* str_upper(char* text);

// Case-insensitive substring search: the position in the list where the
// text occurs, or null.
const char* ext_in_list(const char* list, const char* text);

// "%d" with ',' between groups of three digits; null when it does not fit.
char* str_format_thousands(char* buffer, size_t size, int value);

char* str_from_int(char* buffer, size_t size, int value);
char* str_from_hex(char* buffer, size_t size, int value);
char* str_from_hex(char* buffer, size_t size, unsigned int value);
char* str_from_float(char* buffer, size_t size, float value, int decimals);
char* str_from_vector(char* buffer, size_t size, const vector& v, int decimals);
char* str_from_xyz(char* buffer, size_t size, float x, float y, float z, int decimals);

// "%d bytes" below 999, else "%.2f KB" while below 999.99, else "%.2f MB".
char* str_byte_size(char* buffer, size_t size, int bytes);

// The line prefix of the padded formats (0: none, the default).
void str_set_padded_prefix(char prefix);
// prefix, indent blanks, label, blanks so label and value fill width (at
// least one blank), value.
char* str_format_padded(char* buffer, size_t size, int indent, int width, const char* label,
                        const char* fmt, ...) __attribute__((format(printf, 6, 7)));
// As above, but the blanks pad the label alone to width.
char* str_format_column(char* buffer, size_t size, int indent, int width, const char* label,
                        const char* fmt, ...) __attribute__((format(printf, 6, 7)));

// Width in pixels of a text in the current font (supplied by the fonts).
using TextWidthFn = int (*)(const char* text);
// Copies the text; when wider than max_width, shortens it before an appended
// "..." until it fits or only "..." is left.
char* text_fit_width(char* dest, size_t size, const char* text, int max_width, TextWidthFn measure);

// Maps ' ' .. 'z' to the two-byte full-width Shift_JIS codes, stopping at the
// first other character; returns the count written (dest is 0-terminated,
// count + 1 codes at most within size).
int str_to_fullwidth(uint16_t* dest, size_t size, const char* text);
// Maps back, stopping at a code not in the table; returns the length.
int str_from_fullwidth(char* dest, size_t size, const uint16_t* codes);
