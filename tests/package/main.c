/* Calls each export once through the installed header and library and
 * prints what it saw; exits non-zero when an answer is not the expected. */
#include <stdio.h>
#include <string.h>

#include <quorvel.h>

int main(void) {
    int bad = 0;
    char *list = quorvel_list();
    if (!list || list[0] != '[') {
        fprintf(stderr, "listing is not an array: %s\n", list ? list : "(null)");
        bad = 1;
    } else {
        printf("list: %s\n", list);
    }
    quorvel_free_string(list);

    if (quorvel_set_enabled(NULL, 1) != 0 || strcmp(quorvel_last_error(), "null id") != 0) {
        fprintf(stderr, "a null id was not refused as expected: '%s'\n", quorvel_last_error());
        bad = 1;
    } else {
        printf("null id: %s\n", quorvel_last_error());
    }
    return bad;
}
