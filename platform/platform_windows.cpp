#include "platform/platform.h"

#include <windows.h>

#include <shellapi.h>

namespace platform {

namespace {
using RtlAdjustPrivilegeFn = LONG(NTAPI*)(ULONG, BOOLEAN, BOOLEAN, PBOOLEAN);
constexpr ULONG kDebugPrivilege = 20;
} // namespace

void BindToFirstProcessor() {
    SetProcessAffinityMask(GetCurrentProcess(), 1);
}

void EnableDebugPrivilege() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll)
        return;
    auto adjust = reinterpret_cast<RtlAdjustPrivilegeFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlAdjustPrivilege")));
    if (!adjust)
        return;
    BOOLEAN wasEnabled = FALSE;
    // Enable = TRUE, CurrentThread = FALSE: the process token is the target.
    adjust(kDebugPrivilege, TRUE, FALSE, &wasEnabled);
}

void TrimWorkingSet() {
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

void OpenWebAddress(const std::string& address) {
    ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string ExecutableDirectory() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return DirectoryOf(std::string(path, length), '\\');
}

char PathSeparator() {
    return '\\';
}

} // namespace platform
