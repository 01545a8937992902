// How the library enters and leaves COM on the calling thread: it undoes
// only an initialisation that it made itself.
#pragma once

// 0: COM may be used now. Otherwise the failing HRESULT of the second
// attempt, with "com: CoInitializeEx failed (0x%08x)" recorded.
int com_enter();
// Undoes the one initialisation level com_enter added on this thread, if any.
void com_leave();
// 1 while this thread holds an initialisation of the library's own.
int com_owned_here();
