// The window's controls without a window: the job's options and texts kept
// in memory, the option boxes and the date field raising the same handlers
// as in the window, and the error list kept with the reason of each entry.
#pragma once

#include "engine/run_state.h"
#include "platform/regional.h"
#include "support/form.h"

#include <map>
#include <string>
#include <vector>

namespace zentrel::cli {

class Headless_Form : public support::Form {
public:
    Headless_Form(engine::Run_State& state, platform::Regional_Settings regional);

    std::string Text(support::Control control) const override;
    void Set_Text(support::Control control, const std::string& text) override;
    int Check_State(support::Control control) const override;
    void Set_Check_State(support::Control control, int state) override;
    bool Visible(support::Control control) const override;
    void Set_Visible(support::Control control, bool visible) override;
    bool Enabled(support::Control control) const override;
    void Set_Enabled(support::Control control, bool enabled) override;
    void Set_Focus(support::Control) override {}
    support::Twips_Rect Geometry(support::Control control) const override;
    void Set_Top(support::Control, double) override {}
    void Set_Width(support::Control control, double twips) override;
    void Set_Height(support::Control, double) override {}
    long List_Count(support::Control control) const override;
    std::string List_Item(support::Control control, long index) const override;
    void Add_Item(support::Control control, const std::string& text) override;
    void Clear_List(support::Control control) override;
    long List_Index(support::Control) const override { return -1; }
    void Repaint() override {}
    void Arrange_Error_List() override {}

    // The prompt of a failure the job just reported; the next entry of the
    // error list takes it as its reason.
    void Note_Failure(const std::string& prompt) { pending_reason_ = prompt; }

    struct Error_Entry {
        std::string path;
        std::string reason;  // empty when the job gave none
    };
    const std::vector<Error_Entry>& Errors() const { return errors_; }
    // True once a run has got past its checks (the job disables Start then).
    bool Run_Began() const { return run_began_; }
    // The share of the bytes to copy that has been copied, as the progress
    // bar shows it, also in the middle of a large file.
    double Progress_Fraction() const { return progress_fraction_; }

private:
    std::map<support::Control, std::string> texts_;
    std::map<support::Control, int> checks_;
    std::map<support::Control, bool> visible_;
    std::map<support::Control, bool> enabled_;
    std::vector<Error_Entry> errors_;
    std::string pending_reason_;
    bool run_began_ = false;
    double progress_fraction_ = 0;
    engine::Run_State* state_;
    platform::Regional_Settings regional_;
};

}  // namespace zentrel::cli
