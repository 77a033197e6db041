#pragma once

#include <string>

// Process services. Each has a Linux and a Windows implementation; results are
// ignored by the callers, so none of them reports failure.
namespace platform {

// Binds the whole process to the first processor. Call before any thread exists.
void BindToFirstProcessor();

// Enables the debug privilege on the process token where the platform has one.
void EnableDebugPrivilege();

// Asks the system to give back memory the process no longer uses.
void TrimWorkingSet();

// Opens a web address with the desktop's default handler; returns at once.
void OpenWebAddress(const std::string& address);

// Directory of the running executable in native path bytes, ending in exactly one
// separator ('\\' on Windows, '/' elsewhere).
std::string ExecutableDirectory();

// The separator ExecutableDirectory ends in.
char PathSeparator();

// The directory part of a file's full path, ending in exactly one separator: "/app/x"
// gives "/app/", "/x" gives "/", "C:\\x.exe" gives "C:\\".
std::string DirectoryOf(const std::string& filePath, char separator);

} // namespace platform
