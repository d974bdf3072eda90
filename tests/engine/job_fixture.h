// A copy job over real temporary folders, reached through a fault-injecting
// file system, with a scripted UI host, plain options and a plain display.
#pragma once

#include "common/faulty_file_system.h"
#include "common/scripted_ui_host.h"
#include "common/temp_folder.h"
#include "engine/copy_job.h"
#include "engine/job_options.h"
#include "plain_ports.h"
#include "support/support_routines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zentrel::testing {

class Job_Test : public ::testing::Test {
protected:
    Job_Test() : Job_Test(platform::real_file_system()) {}
    // A job over base instead of the real file system; the source folder is
    // still made on the real one.
    explicit Job_Test(platform::File_System& base);

    // Synchronize with the Only_newer the window's interlock sets with it.
    void synchronize(bool on) { options.Synchronize = options.Only_newer = on; }
    // The date field's text, with its change handler.
    void later_then(const std::string& text);
    // Prompts of every box shown so far.
    std::vector<std::string> prompts() const;
    // Status texts that began with prefix, in order.
    std::vector<std::string> statuses_starting(const std::string& prefix) const;
    // Runs Start_Click and returns the final status text.
    std::string start();

    platform::Folder folder(const std::string& path) { return support.File_System().GetFolder(path); }
    std::optional<platform::File> file(const std::string& path) { return support.Find_File(path); }
    int attributes(const std::string& path) { return support.File_System().GetFile(path).Attributes(); }
    void set_attributes(const std::string& path, int bits) { support.File_System().GetFile(path).Set_Attributes(bits); }

    Temp_Folder tmp;
    Faulty_File_System fs;
    Scripted_Ui_Host host;
    engine::Run_State state;
    engine::Job_Options options;
    engine::Options_View current_options{options};
    Plain_Display display;
    support::Support_Routines support;
    engine::Copy_Job job;
    const std::string src;
    const std::string dst;
};

// Every regular file below root, as paths relative to it, sorted.
std::vector<std::string> files_below(const std::string& root);
// Expects the two trees to hold the same files with the same contents and
// the same modification times to the nanosecond.
void expect_same_tree(const std::string& expected, const std::string& actual);
platform::File_Time mtime_of(const std::string& path);

}  // namespace zentrel::testing
