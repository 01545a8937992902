/*
 * The listing as an aligned table for people: one row per item with the
 * columns state, file (marked when the program file is missing), scope,
 * source, name, publisher, command and id. The command column, then the
 * publisher column, give way to a narrow terminal; a cell is cut by code
 * points, never inside a UTF-8 sequence, and ends with an ellipsis where
 * it was cut. Members a listing lacks give empty cells.
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

/* Formats a listing (the JSON text the library returns) as a table whose
 * lines fit in `width` columns where the other columns leave room. Returns
 * new heap text to release with free(), or null when `json` is not a JSON
 * array or memory ran out. */
char *format_table(const char *json, size_t len, int width);

#ifdef __cplusplus
}
#endif

#endif
