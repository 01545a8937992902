/* quorvel: the command-line host. Everything but the process set-up is in
 * cli.c; this file only knows the console and the command line. */
#include <stdio.h>
#include <stdlib.h>

#include "cli.h"
#include "table.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

static int console_width(void) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!GetConsoleScreenBufferInfo(out, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

static UINT console_code_page;

static void restore_console(void) { SetConsoleOutputCP(console_code_page); }

/* The listing is UTF-8: the console is told so for the time of the run
 * (it is the user's window, so its code page is put back at exit), and no
 * byte is translated on the way out (no CR before LF, in a pipe or a file). */
static void prepare_output(void) {
    console_code_page = GetConsoleOutputCP();
    if (console_code_page != 0 && console_code_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        atexit(restore_console);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

/* The arguments in UTF-8, as the listing spells names; the 8-bit ones
 * would be in the ANSI code page, which cannot hold every name. */
static char **utf8_arguments(int argc, wchar_t **wargv) {
    char **argv = (char **)calloc((size_t)argc + 1, sizeof *argv);
    for (int i = 0; argv && i < argc; i++) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, NULL, 0, NULL, NULL);
        argv[i] = n > 0 ? (char *)malloc((size_t)n) : NULL;
        if (!argv[i] || !WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, argv[i], n, NULL, NULL)) return NULL;
    }
    return argv;
}

int wmain(int argc, wchar_t **wargv) {
    prepare_output();
    char **argv = utf8_arguments(argc, wargv);
    if (!argv) {
        fputs("quorvel: cannot read the command line\n", stderr);
        return CLI_FAILED;
    }
    return run_cli(argc, argv, stdout, stderr, table_width(getenv("COLUMNS"), console_width()));
}
#else
#include <sys/ioctl.h>
#include <unistd.h>

static int console_width(void) {
    struct winsize ws;
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) return 0;
    return ws.ws_col;
}

int main(int argc, char **argv) {
    return run_cli(argc, argv, stdout, stderr, table_width(getenv("COLUMNS"), console_width()));
}
#endif
