// A form without a window: every control keeps its state in memory, the
// option boxes raise the window's interlock handlers on a change of state,
// and the date field raises its change handler, as the real window does.
// It records what tests check afterwards.
#pragma once

#include "engine/run_state.h"
#include "platform/regional.h"
#include "support/form.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zentrel::testing {

class Fake_Form : public support::Form {
public:
    // state and regional serve the date field's change handler; without a
    // state the change raises nothing.
    explicit Fake_Form(engine::Run_State* state = nullptr,
                       platform::Regional_Settings regional = platform::Regional_Settings::german());

    std::string Text(support::Control control) const override;
    void Set_Text(support::Control control, const std::string& text) override;
    int Check_State(support::Control control) const override;
    void Set_Check_State(support::Control control, int state) override;
    bool Visible(support::Control control) const override;
    void Set_Visible(support::Control control, bool visible) override;
    bool Enabled(support::Control control) const override;
    void Set_Enabled(support::Control control, bool enabled) override;
    void Set_Focus(support::Control control) override;
    support::Twips_Rect Geometry(support::Control control) const override;
    void Set_Top(support::Control control, double twips) override;
    void Set_Width(support::Control control, double twips) override;
    void Set_Height(support::Control control, double twips) override;
    long List_Count(support::Control control) const override;
    std::string List_Item(support::Control control, long index) const override;
    void Add_Item(support::Control control, const std::string& text) override;
    void Clear_List(support::Control control) override;
    long List_Index(support::Control control) const override;
    void Repaint() override;
    void Arrange_Error_List() override;

    // Test set-up and inspection.
    void Select(support::Control list, long index) { controls_[list].index = index; }
    std::vector<std::string> Items(support::Control list) const;
    // Every text a control was given, in order.
    const std::vector<std::string>& Text_History(support::Control control) const;
    support::Control Focus() const { return focus_; }
    int repaints = 0;
    int arrangements = 0;
    // Called from Arrange_Error_List, Repaint and Set_Text of Status, so a
    // test can act in the middle of a run (press cancel, change a file).
    std::map<support::Control, std::function<void()>> on_text;

private:
    struct State {
        std::string text;
        int check = 0;
        bool visible = true;
        bool enabled = true;
        support::Twips_Rect geometry;
        std::vector<std::string> items;
        long index = -1;
        std::vector<std::string> history;
    };
    mutable std::map<support::Control, State> controls_;
    engine::Run_State* state_;
    platform::Regional_Settings regional_;
    support::Control focus_ = support::Control::Sourcefolder;
};

}  // namespace zentrel::testing
