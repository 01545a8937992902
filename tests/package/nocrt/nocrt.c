/* The C runtime functions of stdio.h and string.h here, over kernel32,
 * and the program's entry point: host_start runs main and exits with its
 * result. Linked with /nodefaultlib /entry:host_start and an import
 * library of the three kernel32 functions below. */
#include "stdio.h"
#include "string.h"

__declspec(dllimport) void *__stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *data, unsigned long size,
                                              unsigned long *written, void *overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned code);

int fputs(const char *s, FILE *f) {
    /* STD_OUTPUT_HANDLE, STD_ERROR_HANDLE */
    void *handle = GetStdHandle(f == stdout ? (unsigned long)-11 : (unsigned long)-12);
    unsigned long written = 0;
    return WriteFile(handle, s, (unsigned long)strlen(s), &written, NULL) ? 0 : -1;
}

size_t strlen(const char *s) {
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

int strcmp(const char *a, const char *b) {
    while (*a && *a == *b) a++, b++;
    return (unsigned char)*a - (unsigned char)*b;
}

int memcmp(const void *a, const void *b, size_t n) {
    const unsigned char *x = a, *y = b;
    for (; n; n--, x++, y++)
        if (*x != *y) return *x - *y;
    return 0;
}

char *strstr(const char *hay, const char *needle) {
    size_t n = strlen(needle);
    for (; *hay; hay++)
        if (memcmp(hay, needle, n) == 0) return (char *)hay;
    return n == 0 ? (char *)hay : NULL;
}

void *memcpy(void *to, const void *from, size_t n) {
    unsigned char *t = to;
    const unsigned char *f = from;
    while (n--) *t++ = *f++;
    return to;
}

void *memset(void *to, int c, size_t n) {
    unsigned char *t = to;
    while (n--) *t++ = (unsigned char)c;
    return to;
}

int main(void);

void host_start(void) { ExitProcess((unsigned)main()); }
