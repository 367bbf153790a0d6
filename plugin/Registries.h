// The tables the plug-in object fills once at construction: the automatable parameters and the
// integer states. Their values live in the current patch; these hold names and skin tags only.
#pragma once

#include <array>
#include <cstdint>

namespace treskpro {

class ParameterRegistry {
public:
    static constexpr int capacity = 1024;
    static constexpr int nameCapacity = 80;

    struct Entry {
        std::int32_t index;
        std::int32_t tag; // skin tag of the control showing the parameter, 0 for none
        char name[nameCapacity];
    };

    // Appends an entry whose index is its position; false (nothing stored) when full.
    bool registerParameter(int tag, const char* name);

    int size() const { return count; }
    const Entry& entry(int index) const { return entries[static_cast<std::size_t>(index)]; }

    // The registered name, or the empty string for an index that is not registered.
    const char* name(int index) const;

private:
    std::array<Entry, capacity> entries{};
    int count = 0;
};

class StateRegistry {
public:
    static constexpr int capacity = 25; // the patch's state slots
    static constexpr int nameCapacity = 84;

    struct Entry {
        int* mirror; // optional variable that follows the initial value
        std::int32_t initialValue;
        char name[nameCapacity];
    };

    // Appends an entry; a given mirror variable is set to the initial value. False when full.
    bool registerState(int* mirror, const char* name, int initialValue);

    int size() const { return count; }
    const Entry& entry(int index) const { return entries[static_cast<std::size_t>(index)]; }

    // The registered name, or the empty string for an index that is not registered.
    const char* name(int index) const;

private:
    std::array<Entry, capacity> entries{};
    int count = 0;
};

} // namespace treskpro
