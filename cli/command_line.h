// What a run without the window is told on its command line: overrides of
// single stored settings for this run only, and how to answer the questions
// nobody is there to answer.
#pragma once

#include "settings/setting_names.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zentrel::cli {

enum class On_Error { Ignore, Abort };

struct Command_Line {
    bool help = false;
    bool version = false;
    bool dry_run = false;
    bool create_target = false;
    // Run even when the target seems to have too little space for what
    // the evaluation counted.
    bool even_if_full = false;
    // Forget the record of the last synchronisation of the two folders, and run nothing.
    bool forget_sync_record = false;
    On_Error on_error = On_Error::Ignore;
    // Folder, filter and date texts that replace the stored ones, and check
    // states, each in the order given, so a later one wins over an earlier.
    std::vector<std::pair<engine::Text_Setting, std::string>> texts;
    std::vector<std::pair<engine::Option_Box, int>> checks;
};

// nullopt with error set when an option is unknown, lacks its value or has a
// value it cannot take. "--run" is accepted anywhere and means nothing more.
std::optional<Command_Line> Parse_Command_Line(int argc, char** argv, std::string& error);

// The German help text, ending in a newline.
const char* Usage_Text();

}  // namespace zentrel::cli
