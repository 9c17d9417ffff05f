#include "process_pause.h"

#include "unique_handle.h"

#include <windows.h>

namespace {

// ntdll's suspension of every thread of a process at once; Windows has no
// documented call for it.
using ProcessCall = LONG(NTAPI*)(HANDLE);

bool CallOnProcess(long long processId, const char* name)
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return false;
    const auto call = reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name)));
    if (!call)
        return false;
    const UniqueHandle process(::OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, static_cast<DWORD>(processId)));
    return process && call(process.get()) >= 0;
}

} // namespace

bool PauseProcess(long long processId) { return CallOnProcess(processId, "NtSuspendProcess"); }

bool ResumeProcess(long long processId) { return CallOnProcess(processId, "NtResumeProcess"); }
