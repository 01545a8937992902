// Code-page conversion (MultiByteToWideChar / WideCharToMultiByte).
//
// Same contract as the Win32 calls with flags 0: `src_len` -1 means "up to
// and including the terminator"; `dst_cap` 0 asks for the size needed.
// Results are counts of units written (or needed), 0 on failure.
// Malformed input is replaced by U+FFFD, never an error.
#pragma once

#include "platform.h"

// CP_UTF8 -> UTF-16.
int plat_utf8_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap);
// UTF-16 -> CP_UTF8, no default character.
int plat_utf16_to_utf8(const char16_t *src, int src_len, char *dst, int dst_cap);

// CP_ACP (the system's ANSI code page) -> UTF-16. Every byte of a
// single-byte code page maps to one unit, so this never fails on content.
int plat_ansi_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap);
// UTF-16 -> CP_ACP with WC_NO_BEST_FIT_CHARS: a character the code page
// cannot hold becomes its default character and sets *used_default,
// instead of turning silently into a look-alike.
int plat_utf16_to_ansi(const char16_t *src, int src_len, char *dst, int dst_cap, int *used_default);
