// Small text helpers shared by the interface and the providers: heap copy,
// case-insensitive comparison, UTF-8 <-> UTF-16 and bounded formatting.
// Every returned string is new `malloc` memory that the receiver frees.
#pragma once

#include <cstddef>

// Size of every wide path buffer that format_wide fills.
#define WIDE_PATH_UNITS 2048

char *dup_string(const char *text);
int iequals(const char *a, const char *b);

// Returns the units written, terminator included (>= 1), and stores the new
// string in *out; -1 on any failure with *out untouched.
int utf8_to_utf16(const char *text, char16_t **out);
// A new UTF-8 string; "" for null input or a failed conversion; null only
// when not even one byte can be allocated.
char *utf16_to_utf8(const char16_t *text);

// snprintf into a fixed buffer: at most size - 1 bytes, always terminated.
int format_narrow(char *dst, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Formats into exactly WIDE_PATH_UNITS units. "%s" takes a wide string;
// "%%" is a percent sign; all else is copied. Returns the units written
// without the terminator, or -1 (destination left "") when it does not fit.
int format_wide(char16_t *dst, const char16_t *format, ...);

// Length of a wide string in units.
size_t wide_length(const char16_t *text);
