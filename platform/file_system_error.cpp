#include <cstring>

#include "platform/file_system.h"

namespace zentrel::platform {

File_System_Error::File_System_Error(int error_number, const std::string& path)
    : File_System_Error(std::strerror(error_number), path) {
    error_number_ = error_number;
}

File_System_Error::File_System_Error(const std::string& description, const std::string& path)
    : std::runtime_error(path.empty() ? description : description + ": " + path), path_(path) {}

}  // namespace zentrel::platform
