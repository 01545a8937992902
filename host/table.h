/*
 * The listing as an aligned table for people: one row per item with the
 * columns state, source, name, command and id. Only the command column
 * gives way to a narrow terminal; it is cut by code points, never inside
 * a UTF-8 sequence, and ends with an ellipsis where it was cut.
 */
#ifndef QUORVEL_HOST_TABLE_H
#define QUORVEL_HOST_TABLE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The width used when neither COLUMNS nor the console tells one. */
#define TABLE_DEFAULT_WIDTH 120

/* The command column never shrinks below this many code points. */
#define TABLE_MIN_COMMAND 8

/* The table width to use: COLUMNS when it holds a positive whole number,
 * else the console's width when it is known (> 0), else the default. */
int table_width(const char *columns_env, int console_width);

/* Number of code points in `len` bytes of UTF-8. A byte that does not
 * start a well-formed sequence counts as one. */
size_t utf8_points(const char *text, size_t len);

/* Bytes of the longest prefix of `text` (`len` bytes) that holds at most
 * `points` code points and ends on a sequence boundary. */
size_t utf8_prefix(const char *text, size_t len, size_t points);

/* Formats a listing (the JSON text the library returns) as a table whose
 * lines fit in `width` columns where the other columns leave room. Returns
 * new heap text to release with free(), or null when `json` is not a JSON
 * array or memory ran out. */
char *format_table(const char *json, size_t len, int width);

#ifdef __cplusplus
}
#endif

#endif
