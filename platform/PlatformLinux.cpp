#include "platform/Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>

namespace treskpro::platform {

std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string directory(path, static_cast<std::size_t>(length));
    const std::size_t slash = directory.find_last_of('/');
    return slash == std::string::npos ? "." : directory.substr(0, slash);
}

std::string moduleFolder(const char*, const void* addressInModule) {
    Dl_info info{};
    if (!dladdr(addressInModule, &info) || !info.dli_fname)
        return executableDirectory();
    std::string path = info.dli_fname;
    if (path.find('/') == std::string::npos)
        return executableDirectory();
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        path = resolved;
    return path.substr(0, path.find_last_of('/'));
}

// The opener runs as a grandchild: the child exits at once and is reaped here, so the host
// neither waits for the editor nor collects a zombie when it ends. Between fork and exec only
// async-signal-safe calls are made, as the host has other threads running.
bool openInTextEditor(const std::string& path) {
    const char* const arguments[] = {"xdg-open", path.c_str(), nullptr};
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (fork() == 0) {
            execvp(arguments[0], const_cast<char* const*>(arguments));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

bool replaceFile(const std::string& source, const std::string& target) {
    if (std::rename(source.c_str(), target.c_str()) != 0)
        return false;
    // The new name lives in the folder's entry: sync the folder too, so that after a power loss
    // the name points at the new contents. Best effort; the move itself has succeeded.
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
    return true;
}

bool flushToDisk(std::FILE* file) {
    return ::fsync(fileno(file)) == 0;
}

unsigned long processId() {
    return static_cast<unsigned long>(::getpid());
}

unsigned long threadId() {
    return static_cast<unsigned long>(::syscall(SYS_gettid));
}

bool SharedLibrary::open(const std::string& path, std::string& error) {
    close();
    // A path without a slash would make dlopen search the library path instead of the file.
    const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    handle = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        error = message ? message : "cannot open " + path;
        return false;
    }
    return true;
}

void SharedLibrary::close() {
    if (handle)
        dlclose(std::exchange(handle, nullptr));
}

void* SharedLibrary::symbol(const char* name) const {
    return handle ? dlsym(handle, name) : nullptr;
}

} // namespace treskpro::platform
