// Set-up of the in-memory packaged-app operations. Files are those of the
// in-memory file system (mem_files_add_data); an open file reads a copy of
// its bytes taken when it was opened. SHLoadIndirectString answers the
// texts set here by their exact source text, and a failure otherwise.
#pragma once

#include <string>

#include "../platform.h"

// What SHLoadIndirectString answers for this source (UTF-8 texts).
void mem_packages_set_indirect(const char *source, const char *text);

// Files opened and not yet closed.
int mem_packages_open_files();
