/*
 * The host's commands, apart from the process around them so that tests
 * can run them in-process: list, list --table, enable ID, disable ID.
 */
#ifndef QUORVEL_HOST_CLI_H
#define QUORVEL_HOST_CLI_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Exit codes. */
#define CLI_OK 0
#define CLI_FAILED 1 /* the library refused or failed; its message on err */
#define CLI_USAGE 2  /* the command line was not understood */

/* Runs the command in argv[1..argc-1], writing results to `out` and
 * messages to `err`. `width` is the table width (see table_width).
 * Returns one of the exit codes above. */
int run_cli(int argc, char **argv, FILE *out, FILE *err, int width);

#ifdef __cplusplus
}
#endif

#endif
