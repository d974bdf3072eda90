// The progress of a run on a terminal: one line on standard error, written
// over in place, at most ten times a second. Off a terminal it stays silent.
#pragma once

#include "cli/terminal_display.h"
#include "engine/run_state.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace zentrel::cli {

class Progress_Line {
public:
    Progress_Line(std::FILE* out, bool terminal, char decimal_separator);

    void Update(const engine::Run_State& state, const Terminal_Display& display);
    // Takes the line off the screen, before a message or the summary.
    void Clear();

    // "1,5 MB": decimal units, one decimal.
    std::string Bytes_Text(double bytes) const;

private:
    std::string Copy_Text(const engine::Run_State& state, const Terminal_Display& display,
                          std::chrono::steady_clock::time_point now);

    std::FILE* out_;
    bool terminal_;
    char decimal_;
    bool shown_ = false;
    bool copying_ = false;
    std::chrono::steady_clock::time_point last_{};
    // When the copying of the current pass began, for the rate.
    std::chrono::steady_clock::time_point copy_start_{};
};

}  // namespace zentrel::cli
