// Where a suite finds a program of the build it starts. Normally where it
// was built; tests/as-ordinary-user sets ZENTREL_PROGRAM_DIR to a folder of
// copies when the suite runs as a user who may not enter the build folder
// (a clone below /root, say).
#pragma once

#include <cstdlib>
#include <string>

namespace zentrel::testing {

inline std::string built_program(const std::string& built) {
    const char* copies = std::getenv("ZENTREL_PROGRAM_DIR");
    if (!copies || !*copies) return built;
    return std::string(copies) + built.substr(built.find_last_of('/'));
}

}  // namespace zentrel::testing
