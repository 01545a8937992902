/* A host as a user would write one, built from nothing but a package: it
 * calls each export through the installed header and import library and
 * prints each listing on a line of its own, "list: <text>". When the
 * package check's run value is listed it switches it off and on again and
 * checks each step in the next listing. Exits non-zero when an answer is
 * not the expected one. Uses only fputs, strstr, strlen, strcmp and
 * memcpy, which nocrt/ also provides for a build without a C runtime. */
#include <stdio.h>
#include <string.h>

#include <quorvel.h>

/* Added by tests/package/check_package.cmake under Wine. */
static const char run_value[] = "Café package check";

static int bad = 0;

static void say(const char *a, const char *b) {
    fputs(a, stdout);
    fputs(b, stdout);
    fputs("\n", stdout);
}

static void fail(const char *what, const char *detail) {
    fputs(what, stderr);
    fputs(detail, stderr);
    fputs("\n", stderr);
    bad = 1;
}

/* Copies the listing into `out` (cut to fit) and releases the library's text. */
static void list(char *out, size_t size) {
    char *text = quorvel_list();
    size_t n;
    if (!text || text[0] != '[') {
        fail("listing is not an array: ", text ? text : "(null)");
        out[0] = '\0';
        quorvel_free_string(text);
        return;
    }
    say("list: ", text);
    n = strlen(text);
    if (n >= size) n = size - 1;
    memcpy(out, text, n);
    out[n] = '\0';
    quorvel_free_string(text);
}

/* The run value `name` of `listing`: its id into `id` (24 bytes) and 1 when
 * it is listed as enabled, 0 as disabled, -1 when it is not listed. The
 * members come in a fixed order: id, source, name, command, enabled. */
static int find_run_value(const char *listing, const char *name, char *id) {
    static const char before[] = "\",\"source\":\"runkey\",\"name\":\"";
    static const char prefix[] = "{\"id\":\"runkey:";
    const char *at = listing;
    size_t idlen = strlen("runkey:") + 16;
    while ((at = strstr(at, before)) != NULL) {
        const char *after = at + strlen(before);
        size_t n = strlen(name);
        if ((size_t)(at - listing) >= idlen + strlen("{\"id\":\"") &&
            memcmp(at - idlen - strlen("{\"id\":\""), prefix, strlen(prefix)) == 0 &&
            memcmp(after, name, n) == 0 && after[n] == '"') {
            const char *enabled = strstr(after + n, ",\"enabled\":");
            memcpy(id, at - idlen, idlen);
            id[idlen] = '\0';
            if (!enabled) return -1;
            return strstr(enabled, ",\"enabled\":true") == enabled ? 1 : 0;
        }
        at = after;
    }
    return -1;
}

static char listing[16384];

int main(void) {
    char on_id[32], off_id[32], again_id[32], off_name[64];

    list(listing, sizeof listing);
    if (quorvel_set_enabled(NULL, 1) != 0 || strcmp(quorvel_last_error(), "null id") != 0)
        fail("a null id was not refused as expected: ", quorvel_last_error());
    else
        say("null id: ", quorvel_last_error());

    if (find_run_value(listing, run_value, on_id) != 1) return bad;

    /* Switched off, the value is named with the suffix "disabled". */
    memcpy(off_name, run_value, sizeof run_value - 1);
    memcpy(off_name + sizeof run_value - 1, "disabled", sizeof "disabled");
    if (quorvel_set_enabled(on_id, 0) != 1) fail("switching off failed: ", quorvel_last_error());
    list(listing, sizeof listing);
    if (find_run_value(listing, off_name, off_id) != 0 || strcmp(off_id, on_id) == 0)
        fail("not listed off under a new id: ", on_id);
    if (quorvel_set_enabled(on_id, 1) != 0) fail("the old id still switches: ", on_id);
    if (quorvel_set_enabled(off_id, 1) != 1) fail("switching on failed: ", quorvel_last_error());
    list(listing, sizeof listing);
    if (find_run_value(listing, run_value, again_id) != 1 || strcmp(again_id, on_id) != 0)
        fail("not listed on under its first id again: ", on_id);
    if (!bad) say("switched off and on: ", on_id);
    return bad;
}
