#include "files/SafeFile.h"

#include "platform/Platform.h"

#include <cstdio>

namespace treskpro {

bool writeFileSafely(const std::string& path, std::string_view contents) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    const bool flushed = std::fflush(file) == 0;
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
