#include "platform/Platform.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <utility>

namespace treskpro::platform {

std::string executableDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ".";
    std::string directory(path, length);
    const std::size_t separator = directory.find_last_of("\\/");
    return separator == std::string::npos ? "." : directory.substr(0, separator);
}

std::string moduleFolder(const char* moduleFileName, const void*) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(moduleFileName), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ".";
    std::string folder(path, length);
    const std::size_t separator = folder.find_last_of("\\/");
    return separator == std::string::npos ? "." : folder.substr(0, separator);
}

bool openInTextEditor(const std::string& path) {
    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    std::string command = std::string("\"") + windows + "\\notepad.exe\" \"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool replaceFile(const std::string& source, const std::string& target) {
    // Another program (a second instance loading the file, a virus scanner) may hold the target
    // open for a moment, and a second writer may be replacing it right now: the move is refused
    // while that lasts, so it is tried again for a short while before the save fails.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
            return true;
        const DWORD error = GetLastError();
        if (attempt >= 50 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
            return false;
        Sleep(2);
    }
}

bool flushToDisk(std::FILE* file) {
    const intptr_t handle = _get_osfhandle(_fileno(file));
    if (handle == -1)
        return false;
    return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

unsigned long processId() {
    return GetCurrentProcessId();
}

unsigned long threadId() {
    return GetCurrentThreadId();
}

bool SharedLibrary::open(const std::string& path, std::string& error) {
    close();
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    handle = reinterpret_cast<void*>(module);
    return true;
}

void SharedLibrary::close() {
    if (handle)
        FreeLibrary(reinterpret_cast<HMODULE>(std::exchange(handle, nullptr)));
}

void* SharedLibrary::symbol(const char* name) const {
    if (!handle)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

} // namespace treskpro::platform
