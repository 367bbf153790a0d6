#include "engine/ConnectionList.h"

#include "engine/SharedValue.h"

#include <algorithm>
#include <atomic>

namespace treskpro {

int ConnectionList::size() const {
    // Acquire: the pairs an editor appended are complete once their count is seen.
    const std::int32_t stored = std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(count))
                                    .load(std::memory_order_acquire);
    return std::clamp(static_cast<int>(stored), 0, capacity);
}

Connection ConnectionList::connection(int k) const {
    return {loadShared(pairs[k][0]), loadShared(pairs[k][1])};
}

void ConnectionList::setConnection(int k, Connection connection) {
    storeShared(pairs[k][0], std::int32_t{connection.output});
    storeShared(pairs[k][1], std::int32_t{connection.input});
}

void ConnectionList::setCount(int newCount) {
    storeShared(count, std::int32_t{newCount});
}

bool ConnectionList::append(Connection connection) {
    const int used = size();
    if (used >= capacity)
        return false;
    // The pair is complete before the count makes it visible to the audio thread.
    setConnection(used, connection);
    std::atomic_ref<std::int32_t>(count).store(used + 1, std::memory_order_release);
    return true;
}

int ConnectionList::find(Connection wanted) const {
    const int used = size();
    for (int k = 0; k < used; ++k) {
        const Connection cable = connection(k);
        if (cable.output == wanted.output && cable.input == wanted.input)
            return k;
    }
    return -1;
}

void ConnectionList::remove(int k) {
    const int used = size();
    if (k < 0 || k >= used)
        return;
    for (int i = k; i + 1 < used; ++i)
        setConnection(i, connection(i + 1));
    setConnection(used - 1, {0, 0});
    setCount(used - 1);
}

} // namespace treskpro
