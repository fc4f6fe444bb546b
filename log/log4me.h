// log4me: the process-wide file logger. Lines go to one file per day in the
// directory named by "log4me.ini" beside the executable; without that file
// nothing is written. No function here ever throws.
//
// Messages are 8-bit text in the system's ANSI code page (win::ToAnsi).
#pragma once
#include <string>

// Called once by the program's entry before any window exists, and once
// after the last window is gone. Shutdown takes about one second so that
// the stop line is the last thing that reaches the disk.
void Log4meStartup();
void Log4meShutdown();

void LogError(const std::string& ansiMessage);
void LogInfo(const std::string& ansiMessage);

// Tests put their own clock and directory in place through
// log4me::ScopedEnvironment (log/log4me_environment.h).
