#include "process_pause.h"

#include <signal.h>
#include <sys/types.h>

bool PauseProcess(long long processId) { return ::kill(static_cast<pid_t>(processId), SIGSTOP) == 0; }

bool ResumeProcess(long long processId) { return ::kill(static_cast<pid_t>(processId), SIGCONT) == 0; }
