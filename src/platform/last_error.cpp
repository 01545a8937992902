#include "last_error.h"

#include <cstdarg>
#include <cstdio>

namespace {
// Zero-filled on each thread's first use, released with the thread.
thread_local char last_error[LAST_ERROR_SIZE];
}  // namespace

void set_last_error(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(last_error, sizeof last_error, format, args);
    va_end(args);
}

const char *last_error_text() { return last_error; }
