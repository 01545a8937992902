#include "cli.h"

#include <stdlib.h>
#include <string.h>

#include "names.h"
#include "quorvel.h"
#include "table.h"
#include "text.h"

static const char usage_text[] =
    "usage: quorvel list [--table]\n"
    "       quorvel enable ID|NAME\n"
    "       quorvel disable ID|NAME\n"
    "       quorvel --help\n"
    "\n"
    "  list          print every autostart item as JSON, exactly as the library returns it\n"
    "  list --table  print the items as a table (width: COLUMNS, else the console, else 120)\n"
    "  enable ID     switch the item with identifier ID on\n"
    "  disable ID    switch the item with identifier ID off\n"
    "  enable NAME   the same for the one listed item of that name, in any case\n"
    "                (\"Updater\" also finds \"Updaterdisabled\", \"Notes\" \"Notes.lnk\" or \"Notes.bat\");\n"
    "                of several, none is switched and their identifiers are printed\n"
    "\n"
    "Switching a run value or a Startup-folder file changes its identifier: list again to learn it.\n"
    "Run-once and policy items cannot be switched.\n"
    "Exit status: 0 done, 1 the library failed (its message on stderr), 2 bad command line.\n";

enum command { CMD_LIST, CMD_ENABLE, CMD_DISABLE };

struct request {
    enum command command;
    int table;
    const char *id;
};

static int usage_error(FILE *err, const char *what, const char *arg) {
    if (arg) fprintf(err, "quorvel: %s '%s'\n\n", what, arg);
    else fprintf(err, "quorvel: %s\n\n", what);
    fputs(usage_text, err);
    return CLI_USAGE;
}

static int is_option(const char *arg) { return arg[0] == '-' && arg[1] != '\0'; }

/* Fills `req` from the arguments after the command word. */
static int parse_rest(int argc, char **argv, struct request *req, FILE *err) {
    for (int i = 2; i < argc; i++) {
        const char *arg = argv[i];
        if (req->command == CMD_LIST && strcmp(arg, "--table") == 0) req->table = 1;
        else if (is_option(arg)) return usage_error(err, "unknown option", arg);
        else if (req->command != CMD_LIST && !req->id) req->id = arg;
        else return usage_error(err, "unexpected argument", arg);
    }
    if (req->command != CMD_LIST && !req->id)
        return usage_error(err, req->command == CMD_ENABLE ? "enable needs an identifier or a name"
                                                           : "disable needs an identifier or a name", NULL);
    return CLI_OK;
}

static int parse_command(const char *word, enum command *command) {
    static const struct { const char *word; enum command command; } table[] = {
        {"list", CMD_LIST}, {"enable", CMD_ENABLE}, {"disable", CMD_DISABLE}};
    for (size_t i = 0; i < sizeof table / sizeof table[0]; i++) {
        if (strcmp(word, table[i].word) == 0) {
            *command = table[i].command;
            return 1;
        }
    }
    return 0;
}

static int wants_help(int argc, char **argv) {
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) return 1;
    return 0;
}

static int finish_output(FILE *out, FILE *err) {
    if (fflush(out) != 0 || ferror(out)) {
        fputs("quorvel: cannot write the output\n", err);
        return CLI_FAILED;
    }
    return CLI_OK;
}

static int run_list(int table, int width, FILE *out, FILE *err) {
    char *text = quorvel_list();
    if (!text) {
        fprintf(err, "%s\n", quorvel_last_error());
        return CLI_FAILED;
    }
    if (!table) {
        fputs(text, out);
        fputc('\n', out);
        quorvel_free_string(text);
        return finish_output(out, err);
    }
    char *formatted = format_table(text, strlen(text), width);
    quorvel_free_string(text);
    if (!formatted) {
        fputs("quorvel: the listing could not be read as a table\n", err);
        return CLI_FAILED;
    }
    fputs(formatted, out);
    free(formatted);
    return finish_output(out, err);
}

static int switch_id(const char *id, int enabled, FILE *err) {
    if (quorvel_set_enabled(id, enabled)) return CLI_OK;
    fprintf(err, "%s\n", quorvel_last_error());
    return CLI_FAILED;
}

static int report_several(const char *word, const struct named *found, FILE *err) {
    struct text_buf b = {NULL, 0, 0, 0};
    char count[96];
    snprintf(count, sizeof count, "' names %lu items; nothing was switched. Give one identifier:\n",
             (unsigned long)found->count);
    text_put_str(&b, "quorvel: '");
    text_put_visible(&b, word, strlen(word));
    text_put_str(&b, count);
    text_put_str(&b, found->candidates);
    if (!b.failed) fputs(b.data, err);
    else fputs("quorvel: out of memory\n", err);
    free(b.data);
    return CLI_FAILED;
}

/* An argument of the form of an identifier is one. Anything else is looked
 * up among the listed names first; when it names nothing, the library
 * answers for it as an identifier. */
static int run_switch(const char *arg, int enabled, FILE *err) {
    if (*arg == '\0' || looks_like_id(arg)) return switch_id(arg, enabled, err);
    char *text = quorvel_list();
    if (!text) {
        fprintf(err, "%s\n", quorvel_last_error());
        return CLI_FAILED;
    }
    struct named found;
    int read = find_named(text, strlen(text), arg, &found);
    quorvel_free_string(text);
    if (!read) {
        fputs("quorvel: the listing could not be searched for the name\n", err);
        return CLI_FAILED;
    }
    int rc = found.count == 0   ? switch_id(arg, enabled, err)
             : found.count == 1 ? switch_id(found.id, enabled, err)
                                : report_several(arg, &found, err);
    named_free(&found);
    return rc;
}

int run_cli(int argc, char **argv, FILE *out, FILE *err, int width) {
    if (wants_help(argc, argv)) {
        fputs(usage_text, out);
        return finish_output(out, err);
    }
    if (argc < 2) return usage_error(err, "no command given", NULL);
    struct request req = {CMD_LIST, 0, NULL};
    if (!parse_command(argv[1], &req.command))
        return usage_error(err, is_option(argv[1]) ? "unknown option" : "unknown command", argv[1]);
    int rc = parse_rest(argc, argv, &req, err);
    if (rc != CLI_OK) return rc;
    if (req.command == CMD_LIST) return run_list(req.table, width, out, err);
    return run_switch(req.id, req.command == CMD_ENABLE, err);
}
