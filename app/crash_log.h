#pragma once
// The last-chance record of a crash: one line in kx_crash.log in the
// temporary folder.

#include <windows.h>

// The process's unhandled-exception filter. Always EXCEPTION_CONTINUE_SEARCH,
// so the platform's default handling goes on.
LONG WINAPI crashLogFilter(EXCEPTION_POINTERS* exception);
