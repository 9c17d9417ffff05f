#pragma once
// Holds another running process where it stands and lets it go on, as a
// debugger does; the screenshots freeze the simulated meter this way so
// that a poll fails. True when the system did it.

bool PauseProcess(long long processId);
bool ResumeProcess(long long processId);
