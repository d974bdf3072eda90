#include "engine/run_state.h"

#include <limits>
#include <stdexcept>

namespace zentrel::engine {

void Increment_Counter(std::int32_t& counter) {
    if (counter == std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("Überlauf");
    ++counter;
}

}  // namespace zentrel::engine
