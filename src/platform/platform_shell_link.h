// The Shell Link object as plain functions over opaque handles: the link
// (IShellLinkW) made by CoCreateInstance(CLSID_ShellLink, NULL,
// CLSCTX_INPROC_SERVER, IID_IShellLinkW) and its IPersistFile. Each handle
// obtained is released once with its own release function.
#pragma once

#include "platform.h"

#define PLAT_STGM_READ 0u
// GetPath flags: no short name (0x1), no raw path (0x4).
#define PLAT_SLGP_DEFAULT 0x200u
#define PLAT_CO_E_NOTINITIALIZED ((plat_hresult)0x800401F0)

typedef struct plat_shell_link_s *plat_shell_link;
typedef struct plat_persist_file_s *plat_persist_file;

// CoCreateInstance of the Shell Link; *link is null unless it succeeded.
plat_hresult plat_create_shell_link(plat_shell_link *link);
// IUnknown::QueryInterface(IID_IPersistFile); *file null unless it succeeded.
plat_hresult plat_shell_link_query_persist_file(plat_shell_link link, plat_persist_file *file);
// IPersistFile::Load(path, mode).
plat_hresult plat_persist_file_load(plat_persist_file file, const char16_t *path, uint32_t mode);
// IShellLinkW::GetPath(path, capacity, &find_data, flags); the find data is
// not returned. A success code may leave `path` empty.
plat_hresult plat_shell_link_get_path(plat_shell_link link, char16_t *path, int capacity, uint32_t flags);
// IShellLinkW::GetArguments(arguments, capacity).
plat_hresult plat_shell_link_get_arguments(plat_shell_link link, char16_t *arguments, int capacity);
// IUnknown::Release of each interface.
void plat_persist_file_release(plat_persist_file file);
void plat_shell_link_release(plat_shell_link link);
