// Small text helpers shared by the interface and the providers: heap copy,
// case-insensitive comparison, UTF-8 <-> UTF-16, bounded formatting and
// joining a command.
// Every returned string is new `malloc` memory that the receiver frees.
#pragma once

#include <cstddef>
#include <cstdlib>

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

// UTF-16 text as UTF-8 in `fixed` (`cap` bytes) when it fits, else in a
// new block stored in *heap, which the caller frees. Null when the text is
// null or cannot be converted, or memory ran out.
const char *utf16_to_utf8_in(const char16_t *text, char *fixed, size_t cap, char **heap);

// Converted text that lives in a fixed buffer when it fits, else on the
// heap: a caller that converts many short texts allocates nothing.
template <size_t N>
struct utf8_text {
    char fixed[N];
    char *heap = nullptr;
    const char *text = nullptr;  // null when the conversion failed
    utf8_text() = default;
    utf8_text(const utf8_text &) = delete;
    utf8_text &operator=(const utf8_text &) = delete;
    ~utf8_text() { free(heap); }
};
template <size_t N>
const char *utf16_to_utf8(const char16_t *text, utf8_text<N> *out) {
    return out->text = utf16_to_utf8_in(text, out->fixed, N, &out->heap);
}

// Program and arguments joined by one space, nothing quoted; the program
// alone when there are no arguments. New text; null when memory ran out.
char *join_command(const char *program, const char *arguments);

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
