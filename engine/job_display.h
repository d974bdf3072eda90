// What the copy job shows while it works. The window turns each call into
// its labels, bar and list; the command line into its progress line and
// summary. Units, label texts and sizes are the implementation's business.
#pragma once

#include "engine/byte_display.h"
#include "engine/copy_failure.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zentrel::engine {

// The counters shown, named as the run state's fields they show.
enum class File_Counter { Total_Files, Source_Files, Processed_Files, Error_Files };

// What the job does with the file it shows.
enum class Phase { Evaluating, Copying, Skipping };

class Job_Display {
public:
    virtual ~Job_Display() = default;

    // The status line: the summary of a run, or empty.
    virtual void Show_Status(const std::string& text) = 0;
    // The file under way, and what is done with it (File_Status_Text).
    virtual void Show_File(Phase phase, const std::string& path) = 0;
    virtual void Show_Count(File_Counter counter, std::int32_t value) = 0;
    // A byte total of the evaluation (To_Copy) or of the walk (Copied).
    virtual void Show_Bytes(Byte_Count_Kind kind, double total) = 0;
    // Every file and byte counter shows 0; the byte units stay as they were
    // until the next total.
    virtual void Clear_Counters() = 0;
    // The share of the bytes to copy that has been copied; nullopt hides
    // the bar.
    virtual void Show_Progress_Bar(std::optional<double> fraction) = 0;
    virtual void Show_Cancel_Button(bool shown) = 0;
    // The error counter and its caption.
    virtual void Show_Error_Counter(bool shown) = 0;
    // A run begins (Start is no longer offered) or ends.
    virtual void Show_Run_Under_Way(bool under_way) = 0;

    // The error list, kept in the run state: one more entry shown
    // (Error_Entry_Text), with the reason it is there (Copy_Failure_Text);
    // or none any more.
    virtual void Add_Error(const Copy_Failure& failure) = 0;
    virtual void Clear_Errors() = 0;
    // Shows or hides the list after its entries changed.
    virtual void Arrange_Error_List() = 0;

    // Shows what has changed now, not only when the job next waits.
    virtual void Repaint() = 0;
};

// The status line's text for a file: the path with what is done to it, or
// the path alone while the evaluation counts it.
std::string File_Status_Text(Phase phase, const std::string& path);

}  // namespace zentrel::engine
