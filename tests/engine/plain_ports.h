// The copy job's display as plain values: tests read back what the job
// showed, with the history of each counter. (The options are a plain
// engine::Job_Options seen through an engine::Options_View: a change
// during a run applies from the job's next read.)
#pragma once

#include "engine/job_display.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zentrel::testing {

struct Plain_Display : engine::Job_Display {
    std::string status;
    std::vector<std::string> statuses;  // every status shown, in order
    // Every value each counter showed, the cleared 0 included.
    std::map<engine::File_Counter, std::vector<std::int32_t>> counts;
    std::map<engine::Byte_Count_Kind, std::vector<double>> bytes;
    std::optional<double> progress;  // nothing: the bar is hidden
    bool cancel_shown = false, error_counter_shown = false, run_under_way = false;
    int runs_begun = 0;
    std::vector<std::string> errors;
    std::vector<std::string> reasons;            // one per entry of errors
    std::vector<engine::Copy_Trouble> troubles;  // one per entry of errors
    int arrangements = 0, repaints = 0;
    // Called after each status and each repaint, so a test can act in the
    // middle of a run (press cancel, tick a box, change a file).
    std::function<void()> on_status, on_repaint;

    // The counter's last value; 0 before it was ever shown.
    std::int32_t count(engine::File_Counter counter) const {
        auto it = counts.find(counter);
        return it == counts.end() || it->second.empty() ? 0 : it->second.back();
    }

    void Show_Status(const std::string& text) override {
        status = text;
        statuses.push_back(text);
        if (on_status) on_status();
    }
    void Show_File(engine::Phase phase, const std::string& path) override {
        Show_Status(engine::File_Status_Text(phase, path));
    }
    void Show_Count(engine::File_Counter counter, std::int32_t value) override { counts[counter].push_back(value); }
    void Show_Bytes(engine::Byte_Count_Kind kind, double total) override { bytes[kind].push_back(total); }
    void Clear_Counters() override {
        for (auto counter : {engine::File_Counter::Total_Files, engine::File_Counter::Source_Files,
                             engine::File_Counter::Processed_Files, engine::File_Counter::Error_Files})
            counts[counter].push_back(0);
        for (auto kind : {engine::Byte_Count_Kind::To_Copy, engine::Byte_Count_Kind::Copied}) bytes[kind].push_back(0);
    }
    void Show_Progress_Bar(std::optional<double> fraction) override { progress = fraction; }
    void Show_Cancel_Button(bool shown) override { cancel_shown = shown; }
    void Show_Error_Counter(bool shown) override { error_counter_shown = shown; }
    void Show_Run_Under_Way(bool under_way) override {
        if (under_way) ++runs_begun;
        run_under_way = under_way;
    }
    void Add_Error(const engine::Copy_Failure& failure) override {
        errors.push_back(engine::Error_Entry_Text(failure));
        reasons.push_back(engine::Copy_Failure_Text(failure));
        troubles.push_back(failure.trouble);
    }
    long Error_Count() const { return static_cast<long>(errors.size()); }
    void Clear_Errors() override {
        errors.clear();
        reasons.clear();
        troubles.clear();
    }
    void Arrange_Error_List() override { ++arrangements; }
    void Repaint() override {
        ++repaints;
        if (on_repaint) on_repaint();
    }
};

}  // namespace zentrel::testing
