#include "files/SafeFile.h"

#include "platform/Platform.h"

#include <atomic>
#include <cstdio>

namespace treskpro {

namespace {

// A temporary name beside `path` that no other writer uses at the same time: two plug-in
// instances (or two threads of one) saving the same file must not write into one temporary.
std::string temporaryPathFor(const std::string& path) {
    static std::atomic<unsigned long> writes{0};
    char suffix[96];
    std::snprintf(suffix, sizeof suffix, ".%lu-%lu-%lu.tmp", platform::processId(),
                  platform::threadId(), writes.fetch_add(1, std::memory_order_relaxed));
    return path + suffix;
}

} // namespace

bool writeFileSafely(const std::string& path, std::string_view contents) {
    const std::string temporary = temporaryPathFor(path);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    // On the disk before the move: otherwise a crash soon after could leave the new name
    // pointing at contents that were never written.
    const bool flushed = std::fflush(file) == 0 && platform::flushToDisk(file);
    const bool closed = std::fclose(file) == 0;
    if (!(written && flushed && closed) || !platform::replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> readWholeFile(const std::string& path, std::size_t limit) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::string contents;
    char buffer[16384];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (contents.size() + count > limit) {
            std::fclose(file);
            return std::nullopt;
        }
        contents.append(buffer, count);
    }
    // A folder opens on some systems and then fails to read: a read error is no empty file.
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return contents;
}

} // namespace treskpro
