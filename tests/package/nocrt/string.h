/* The little of <string.h> that the package host uses (see stdio.h). */
#ifndef NOCRT_STRING_H
#define NOCRT_STRING_H
#include <stddef.h>

size_t strlen(const char *s);
int strcmp(const char *a, const char *b);
char *strstr(const char *hay, const char *needle);
int memcmp(const void *a, const void *b, size_t n);
void *memcpy(void *to, const void *from, size_t n);
void *memset(void *to, int c, size_t n);

#endif
