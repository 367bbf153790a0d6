#include "platform/Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

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
