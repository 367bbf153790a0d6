#include "editor/EditorDialogs.h"

#include <map>
#include <mutex>
#include <string>

namespace treskpro {

extern const char* const kDialogScript;
extern const char* const kDialogIds;

const toolkit::CDialogTemplate& editorDialogTemplate(const char* name) {
    static std::mutex lock;
    static std::map<std::string, toolkit::CDialogTemplate, std::less<>> read;
    const std::lock_guard<std::mutex> guard(lock);
    auto found = read.find(name);
    if (found == read.end()) {
        toolkit::CDialogTemplate dialog =
            toolkit::readDialogTemplate(kDialogScript, kDialogIds, name)
                .value_or(toolkit::CDialogTemplate{});
        found = read.emplace(name, std::move(dialog)).first;
    }
    return found->second;
}

} // namespace treskpro
