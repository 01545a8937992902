/*
 * quorvel: list the programs that start when a user logs on, and switch
 * each of them off or on.
 *
 * Four functions with C linkage. Text in and out is UTF-8.
 *
 * Ownership:
 *  - quorvel_list() returns new heap text that the caller owns; release it
 *    once with quorvel_free_string(). It is null only when memory ran out.
 *  - quorvel_last_error() returns the calling thread's own message record.
 *    The library owns it: never free it. It stays valid until the thread
 *    ends and changes with the next failure reported on that thread.
 *
 * The message record is never cleared: judge success by a call's result,
 * then read the message.
 */
#ifndef QUORVEL_H
#define QUORVEL_H

#if defined(_WIN32)
#  if defined(QUORVEL_BUILD_DLL)
#    define QUORVEL_API __declspec(dllexport)
#  elif defined(QUORVEL_STATIC)
#    define QUORVEL_API
#  else
#    define QUORVEL_API __declspec(dllimport)
#  endif
#else
#  if defined(QUORVEL_BUILD_DLL)
#    define QUORVEL_API __attribute__((visibility("default")))
#  else
#    define QUORVEL_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Every autostart item as one compact JSON array of objects with the
 * members "id", "source", "name", "command" and "enabled". Release the
 * text with quorvel_free_string(). Null only when memory is exhausted. */
QUORVEL_API char *quorvel_list(void);

/* Switches the item with identifier `id` (from a listing) on when
 * `enabled` is non-zero, off when it is zero. Returns 1 on success, 0 on
 * failure with the reason in quorvel_last_error(). Switching a run value
 * or a shortcut changes its identifier: list again to learn the new one. */
QUORVEL_API int quorvel_set_enabled(const char *id, int enabled);

/* The calling thread's last failure message, "" before the first one.
 * Owned by the library; never null. */
QUORVEL_API const char *quorvel_last_error(void);

/* Releases text returned by quorvel_list(). Null is accepted. */
QUORVEL_API void quorvel_free_string(char *text);

#ifdef __cplusplus
}
#endif

#endif
