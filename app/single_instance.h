#pragma once
// One running program per user session: a second start hands over to the
// first one's window and ends, so two processes never share part files or
// downloads.json.

#include <windows.h>

#include <string>

#include "core/handles.h"

enum class InstanceRole {
    First,             // no other instance: go on starting
    HandedOver,        // the running instance's window was brought to the front
    FirstHasNoWindow,  // another instance runs but showed no window in time
};

struct InstanceClaim {
    UniqueHandle mutex;  // the first instance keeps it open for its whole life
    InstanceRole role = InstanceRole::First;
};

// How long a second start waits for the window of a first one that is
// still starting (it may be loading its configuration on a busy machine).
constexpr DWORD kWaitForRunningWindowMs = 15000;

// "Local\Lorimund.Pakvane.<user name>": one per user in each session.
std::wstring instanceMutexName();

// Creates the named mutex. When another process already has it, waits up to
// waitMs for a visible window of windowClass, restores it if minimised and
// brings it to the front; when that process ends meanwhile without a window
// (it was closing), the role is First after all. When the mutex cannot be
// made for another reason than access, the role is First: a program that
// refuses to start would be worse than a second one.
InstanceClaim claimSingleInstance(const std::wstring& mutexName, const wchar_t* windowClass, DWORD waitMs);
