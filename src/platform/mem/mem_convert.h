// The in-memory machine's own UTF-8 <-> UTF-16 conversion, for its set-up
// and inspection helpers: the same lenient rules as the converter
// operations, but no call is counted and no fault is taken.
#pragma once

#include <string>

std::u16string mem_widen(const std::string &text);
// The conversions with the counts of the converter operations.
int mem_convert_utf8(const char *src, int src_len, char16_t *dst, int dst_cap);
int mem_convert_utf16(const char16_t *src, int src_len, char *dst, int dst_cap);
std::string mem_narrow(const std::u16string &text);

// One unit folded to small letters as the registry and the file system
// compare names: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t mem_fold_case(char16_t c);
