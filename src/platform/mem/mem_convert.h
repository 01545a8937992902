// The in-memory machine's own UTF-8 <-> UTF-16 conversion, for its set-up
// and inspection helpers: the same lenient rules as the converter
// operations, but no call is counted and no fault is taken.
#pragma once

#include <string>

std::u16string mem_widen(const std::string &text);
std::string mem_narrow(const std::u16string &text);
