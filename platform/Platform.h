// The small layer in place of the operating system. Everything here has one implementation per
// operating system (PlatformLinux.cpp, PlatformWindows.cpp); no other folder of the plug-in
// includes an operating-system header.
#pragma once

#include <cstdio>
#include <string>

namespace treskpro::platform {

// The separator that paths are built with on this system.
#ifdef _WIN32
constexpr char pathSeparator = '\\';
#else
constexpr char pathSeparator = '/';
#endif

// The file name ending of a plug-in (a shared library) on this system.
#ifdef _WIN32
constexpr const char* pluginSuffix = ".dll";
#else
constexpr const char* pluginSuffix = ".so";
#endif

// True for either separator; Windows accepts both, and paths read from files or chunks written
// on the other system may carry either.
constexpr bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// The folder of the running program, ending without a separator.
std::string executableDirectory();

// The folder of the plug-in file, ending without a separator. Windows finds the module by its
// file name (`moduleFileName`) and falls back to the host program's folder when no module of
// that name is loaded; elsewhere the library that contains `addressInModule` is asked.
std::string moduleFolder(const char* moduleFileName, const void* addressInModule);

// Moves `source` over `target`, replacing it in one step where the system allows, so a reader
// sees either the old file or the new one, never a half-written one. False on failure (the
// target is then unchanged).
bool replaceFile(const std::string& source, const std::string& target);

// Makes the written contents of `file` durable: the system's buffers go to the disk before this
// returns (fsync, FlushFileBuffers). The C library's own buffer must be flushed first. False
// when the system reports a failure.
bool flushToDisk(std::FILE* file);

// Numbers that tell this process and the calling thread apart from every other running one.
unsigned long processId();
unsigned long threadId();

// True when the standard error stream is a terminal (where a progress display makes sense),
// false when it goes to a file or a pipe.
bool standardErrorIsTerminal();

// Opens a text file in the system's text editor (Notepad on Windows, the desktop's default
// opener elsewhere) as a process of its own, without waiting for it. False when it cannot be
// started.
bool openInTextEditor(const std::string& path);

// A shared library opened by path (dlopen or LoadLibrary) and closed when this object goes.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Opens the library; on failure the object stays closed and `error` says why.
    bool open(const std::string& path, std::string& error);
    void close();
    bool isOpen() const { return handle != nullptr; }

    // The address of an exported function, or null.
    void* symbol(const char* name) const;

private:
    void* handle = nullptr;
};

} // namespace treskpro::platform
