#include "app/crash_log.h"

// Placeholder until the log is written.
LONG WINAPI crashLogFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
