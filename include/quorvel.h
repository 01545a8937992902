/*
 * quorvel: list the programs that start when a user logs on, and switch
 * each of them off or on.
 *
 * Four functions with C linkage and the C calling convention (__cdecl on
 * 32-bit Windows, whatever the host's default convention), exported under
 * their plain names. Text in and out is UTF-8. The library has no
 * initialisation or shutdown call and keeps nothing between calls: every
 * call reads the registry, the Startup folders and the Task Scheduler
 * afresh and returns when its work is done.
 *
 * Errors: a call that fails returns its failure value (below) and writes a
 * message into the calling thread's own record, read with
 * quorvel_last_error(). The record is never cleared: judge success by the
 * call's result, and only then read the message.
 *
 * Threads: any thread may call any function. The library takes no locks.
 * quorvel_list() and quorvel_set_enabled() for a "task:" identifier enter
 * and leave COM on the calling thread and share one process-wide note of
 * that; make those calls from one thread at a time. The other calls may
 * run on several threads at once.
 *
 * Linking: quorvel.lib (MSVC, clang-cl), libquorvel.dll.a (mingw), the
 * CMake package (find_package(quorvel CONFIG), target quorvel::quorvel) or
 * LoadLibrary/GetProcAddress with the names below. Define QUORVEL_STATIC
 * when the library's code is linked into the program itself.
 */
#ifndef QUORVEL_H
#define QUORVEL_H

/* This header's version; it is the version of the library it came with. */
#define QUORVEL_VERSION_MAJOR 0
#define QUORVEL_VERSION_MINOR 2
#define QUORVEL_VERSION_PATCH 0

#if defined(_WIN32)
#  if defined(QUORVEL_BUILD_DLL)
#    define QUORVEL_API __declspec(dllexport)
#  elif defined(QUORVEL_STATIC)
#    define QUORVEL_API
#  else
#    define QUORVEL_API __declspec(dllimport)
#  endif
#  define QUORVEL_CALL __cdecl
#else
#  if defined(QUORVEL_BUILD_DLL)
#    define QUORVEL_API __attribute__((visibility("default")))
#  else
#    define QUORVEL_API
#  endif
#  define QUORVEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Lists every autostart item as one compact JSON text (UTF-8): an array of
 * objects with the members "id", "source" ("runkey", "runonce", "policy",
 * "startup", "task" or "package"), "name", "command" and "enabled" (true or
 * false), then what the item is: "location" (the registry key, Startup
 * folder or task folder that keeps it; a packaged app's family name),
 * "scope" ("user" or "machine": switching the latter needs administrator
 * rights as a rule), "image" (the full path of the file it starts, with
 * environment variables expanded, the program of a command line as
 * Windows finds it, the DLL or script that rundll32, wscript or cscript
 * runs; "" when there is none), "image_exists" (true for an absolute path
 * naming an existing file), "publisher" and "description" (that file's
 * version texts CompanyName and FileDescription; "" when it has none; a
 * packaged app's PublisherDisplayName and DisplayName). Run and RunOnce
 * values come first, then policy Run values (always on), then every file
 * of the Startup folders (a file other than a shortcut is its own command
 * and image; desktop.ini is left out), then logon tasks of every task
 * folder, hidden ones included, but not those at or below
 * \Microsoft\Windows (the operating system's own), then packaged apps'
 * startup tasks. The JSON Schema listing.schema.json (docs/ in the
 * sources, share/doc/quorvel/ in a release) describes it. The details
 * never cost an item: what cannot be read is "" or false.
 *
 * Returns new heap text that the caller owns: release it once with
 * quorvel_free_string(), never with the host's own free(). An item kind
 * that cannot be read contributes nothing and leaves its reason in
 * quorvel_last_error(), so an empty listing and a failed one both read
 * "[]".
 *
 * Failure value: NULL, only when memory is exhausted.
 */
QUORVEL_API char *QUORVEL_CALL quorvel_list(void);

/*
 * Switches the item whose identifier is `id` (as listed, for example
 * "runkey:c266af6b6c853c45") on when `enabled` is non-zero, off when it is
 * zero. The text stays the caller's; the library only reads it.
 *
 * Switching a run value or a shortcut changes its identifier (its name or
 * folder changes): list again to learn the new one. "runonce" items cannot
 * be switched, nor can "policy" items, which an administrator's policy
 * sets (and Group Policy writes again), nor "package" items whose state
 * an administrator's policy set.
 *
 * Returns 1 on success. Failure value: 0, with the reason in
 * quorvel_last_error() (for a NULL `id`: "null id").
 */
QUORVEL_API int QUORVEL_CALL quorvel_set_enabled(const char *id, int enabled);

/*
 * The calling thread's last failure message (UTF-8, at most 511 bytes),
 * "" before the thread's first failure.
 *
 * The text belongs to the library: never free it. It stays valid until
 * the thread ends and is overwritten by the next failure on that thread;
 * copy it to keep it. A failure on one thread is never seen on another.
 *
 * Never returns NULL.
 */
QUORVEL_API const char *QUORVEL_CALL quorvel_last_error(void);

/*
 * Releases text returned by quorvel_list(). NULL is accepted and does
 * nothing. Never pass it the text of quorvel_last_error().
 */
QUORVEL_API void QUORVEL_CALL quorvel_free_string(char *text);

#ifdef __cplusplus
}
#endif

#endif
