// How the system's failures become the program's error numbers: one table
// for POSIX errno values and one for Win32 error codes, used by the file
// services and by the windows' directory lists alike; and the system's own
// words for a failure, which travel with the number to the user.
#pragma once

#include <string>

namespace vexo {

// The error number for an errno value.
int errorNumberFromErrno(int e);
// The system's words for an errno value (strerror), e.g. "Input/output error".
std::string errnoReason(int e);

#ifdef _WIN32
// The error number for a Win32 error code (GetLastError()).
int errorNumberFromWin32(unsigned long code);
// The system's words for a Win32 error code (FormatMessageW), in UTF-8,
// without the final line end.
std::string win32Reason(unsigned long code);
#endif

// Where the system's reason for an error shown to the user also goes, for
// whoever looks into a failure later: standard error on POSIX, the debug
// output (OutputDebugStringW) on Windows. The line names the error number,
// what was being done and the reason.
void logSystemError(int number, const std::string& what, const std::string& reason);
// Turns that log off (a program that shows the reason on standard error
// anyway) or on again.
void setSystemErrorLog(bool on);

}  // namespace vexo
