// Set-up of the in-memory indirect strings: SHLoadIndirectString answers
// the texts set here by their exact source text, a text not beginning with
// '@' as it is, and a failure otherwise.
// A package's files are those of the in-memory file system
// (mem_files_add_data).
#pragma once

// What SHLoadIndirectString answers for this source (UTF-8 texts).
void mem_packages_set_indirect(const char *source, const char *text);
