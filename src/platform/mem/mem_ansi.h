// The in-memory machine's ANSI code page: Windows-1252, byte for byte as
// Windows maps it (the five bytes the code page leaves undefined, 81 8D 8F
// 90 9D, stand for U+0081 and so on). Pure functions, no fault injection:
// the in-memory registry converts through them the way the 8-bit registry
// functions convert through the system code page.
#pragma once

#include <cstddef>
#include <string>

// One byte to its character.
char16_t mem_cp1252_decode(unsigned char byte);
// One unit to its byte; '?' for a unit the code page cannot show.
unsigned char mem_cp1252_encode(char16_t unit);

// Whole texts (no terminator added or expected).
std::u16string mem_cp1252_to_utf16(const char *bytes, size_t len);
std::string mem_utf16_to_cp1252(const char16_t *units, size_t len);

// The machine's ANSI code page: 1252 after mem_reset, or 65001 (UTF-8).
// There the conversion to the code page answers as the Win32 one does
// after Windows refused its no-best-fit flag: UTF-8, and no default
// character ever reported.
void mem_set_ansi_code_page(unsigned code_page);
