/*
 * UTF-8 text for people: measuring and cutting by code points, comparing
 * names without regard to case, and a growing buffer that shows control
 * characters as '?'. A byte that does not start a well-formed sequence
 * counts as one character of its own everywhere here.
 */
#ifndef QUORVEL_HOST_TEXT_H
#define QUORVEL_HOST_TEXT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Number of code points in `len` bytes of UTF-8. */
size_t utf8_points(const char *text, size_t len);

/* Bytes of the longest prefix of `text` (`len` bytes) that holds at most
 * `points` code points and ends on a sequence boundary. */
size_t utf8_prefix(const char *text, size_t len, size_t points);

/* Whether two texts are equal once capital letters are folded to small:
 * ASCII, Latin-1, Latin Extended-A, basic Greek and Cyrillic. No other
 * folding (no ß to ss, no dotted I). */
int utf8_same_folded(const char *a, size_t a_len, const char *b, size_t b_len);

/* A text made piece by piece on the heap; `failed` once memory ran out. */
struct text_buf {
    char *data;
    size_t len, cap;
    int failed;
};

void text_put(struct text_buf *b, const char *s, size_t n);
void text_put_str(struct text_buf *b, const char *s);
void text_put_spaces(struct text_buf *b, size_t n);

/* Puts `text` with every control character (C0, DEL, C1) as '?', so that
 * it cannot move the cursor or start a terminal sequence. */
void text_put_visible(struct text_buf *b, const char *text, size_t len);

#ifdef __cplusplus
}
#endif

#endif
