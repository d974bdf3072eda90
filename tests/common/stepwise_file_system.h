// A File_System that does its composite operations (copy_file,
// get_attributes_in) one single operation after another, through its own
// virtuals, as File_System's defaults do: in front of a Faulty_File_System,
// a fault or a count on those single operations then reaches the middle of a
// copy or of a folder's attribute read, which the real file system does on
// open files where no wrapper sees it.
//
//     Faulty_File_System fs(real_file_system());
//     Stepwise_File_System stepwise(fs);
//     fs.fail_suffix(Fs_Operation::set_attribute, ".part", ENOTSUP);
//     File_System_Objects objects(stepwise);   // copies now call set_attribute
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/file_system_wrapper.h"

namespace zentrel::testing {

class Stepwise_File_System : public platform::File_System_Wrapper {
public:
    using File_System_Wrapper::File_System_Wrapper;

    platform::Entry_Status copy_file(const std::string& from, const std::string& to,
                                     const std::vector<std::string>& attributes) override {
        return File_System::copy_file(from, to, attributes);
    }
    std::vector<platform::Entry_Attribute> get_attributes_in(const std::string& folder,
                                                             const std::vector<std::string>& names,
                                                             const std::string& name) override {
        return File_System::get_attributes_in(folder, names, name);
    }
    // No unnamed copy: every copy takes the steps above.
    std::optional<platform::Entry_Status> copy_file_unnamed(const std::string&, const std::string&,
                                                            const std::vector<std::string>&) override {
        return std::nullopt;
    }
};

}  // namespace zentrel::testing
