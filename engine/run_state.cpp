#include "engine/run_state.h"

#include <limits>
#include <stdexcept>

namespace zentrel::engine {

void Increment_Counter(std::int32_t& counter) {
    if (counter == std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("Überlauf");
    ++counter;
}

void Later_then_Change(const std::string& Text, Run_State& State, const platform::Regional_Settings& Regional) {
    if (auto date = platform::parse_date(Text, Regional)) State.Later_Then_Date = *date;
}

}  // namespace zentrel::engine
