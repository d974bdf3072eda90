// What a run without the window keeps of the job's display: the phase of
// the file under way and the bar's share, for the progress line. Counters
// and the error list are read from the run state.
#pragma once

#include "engine/job_display.h"

#include <string>

namespace zentrel::cli {

class Terminal_Display : public engine::Job_Display {
public:
    void Show_Status(const std::string&) override {}
    void Show_File(engine::Phase phase, const std::string&) override { phase_ = phase; }
    void Show_Count(engine::File_Counter, std::int32_t) override {}
    void Show_Bytes(engine::Byte_Count_Kind, double) override {}
    void Clear_Counters() override {}
    void Show_Progress_Bar(std::optional<double> fraction) override { progress_fraction_ = fraction.value_or(0); }
    void Show_Cancel_Button(bool) override {}
    void Show_Error_Counter(bool) override {}
    void Show_Run_Under_Way(bool under_way) override { run_began_ = run_began_ || under_way; }
    void Add_Error(const engine::Copy_Failure&) override {}
    void Clear_Errors() override {}
    void Arrange_Error_List() override {}
    void Repaint() override {}

    // What is done with the file last shown: copying or skipping while a
    // walk is under way, evaluating while an evaluation counts.
    engine::Phase Phase() const { return phase_; }
    // True once a run has got past its checks.
    bool Run_Began() const { return run_began_; }
    // The share of the bytes to copy that has been copied, as the progress
    // bar shows it, also in the middle of a large file.
    double Progress_Fraction() const { return progress_fraction_; }

private:
    engine::Phase phase_ = engine::Phase::Evaluating;
    bool run_began_ = false;
    double progress_fraction_ = 0;
};

}  // namespace zentrel::cli
