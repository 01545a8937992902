// Fuzzes reading a package's manifest: any bytes (any encoding, DTDs,
// entities, deep nesting, cut documents) in a block of their exact size.
// Nothing may crash or read past the block; a refused manifest visits no
// task, and every task handed over has an id and a program, all its texts
// valid UTF-8.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_oracles.h"
#include "providers/package_manifest.h"

namespace {

struct seen {
    int tasks = 0;
};

void visit(void *context, const manifest_properties *p, const manifest_task *t) {
    ((seen *)context)->tasks++;
    FUZZ_CHECK(t->task_id && *t->task_id && t->executable && *t->executable, "a task without id or program");
    FUZZ_CHECK(utf8_valid(t->task_id) && utf8_valid(t->display_name) && utf8_valid(t->executable),
               "a task text is not UTF-8");
    FUZZ_CHECK(utf8_valid(p->display_name) && utf8_valid(p->publisher), "a package text is not UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char *copy = (char *)malloc(size ? size : 1);
    if (size) memcpy(copy, data, size);
    seen s;
    const char *why = read_package_manifest(copy, size, visit, &s);
    FUZZ_CHECK(!why || s.tasks == 0, "a refused manifest visited tasks");
    free(copy);
    return 0;
}
