/* The little of <stdio.h> that the package host uses, for a build with no
 * C runtime: no MSVC headers or libraries are on this machine. */
#ifndef NOCRT_STDIO_H
#define NOCRT_STDIO_H
#include <stddef.h>

typedef struct nocrt_file FILE;
#define stdout ((FILE *)1)
#define stderr ((FILE *)2)
int fputs(const char *s, FILE *f);

#endif
