// The calling thread's last failure message (512 bytes, never cleared).
#pragma once

#define LAST_ERROR_SIZE 512

// Formats the message into this thread's record, cut to 511 bytes.
void set_last_error(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// This thread's record; "" before its first report, valid until the thread ends.
const char *last_error_text();
