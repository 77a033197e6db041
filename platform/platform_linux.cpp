#include "platform/platform.h"

#include <malloc.h>
#include <sched.h>
#include <spawn.h>
#include <unistd.h>

#include <climits>
#include <sys/wait.h>

extern char** environ;

namespace platform {

void BindToFirstProcessor() {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    sched_setaffinity(0, sizeof set, &set);
}

// Linux has no per-process privilege to switch on: the process runs with what it has.
void EnableDebugPrivilege() {}

// glibc keeps freed pages in its arenas; malloc_trim hands them back to the kernel.
void TrimWorkingSet() {
    malloc_trim(0);
}

void OpenWebAddress(const std::string& address) {
    // xdg-open may stay attached to the browser it starts, so it runs in a child of a
    // child that exits at once; nobody waits for the browser.
    const pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(address.c_str()),
                            nullptr};
            execvp(argv[0], argv);
        }
        _exit(0);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}

std::string ExecutableDirectory() {
    char path[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    return DirectoryOf(length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string(),
                       '/');
}

char PathSeparator() {
    return '/';
}

} // namespace platform
