// The window's controls addressed by their names, read and written live:
// what the error list's rules and the window's tests work on. Positions and
// sizes are in twips (15 to a device-independent pixel).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zentrel::window {

// Every control once, in the order of the window's layout; Zentrel is the
// window itself (its height).
// clang-format off
#define ZENTREL_CONTROLS(X) \
    X(Zentrel) X(Start) X(Sourcefolder) X(Get_Source) X(Label1) X(Targetfolder) X(Get_Target) X(Cancel_Execution) \
    X(Label2) X(Include_Filter) X(Label17) X(Exclude_Filter) X(Label18) X(Frame1) X(Num_Tot_Files) X(Label8) \
    X(Evaluate_Source) X(Num_Sourcefiles) X(Label9) X(Num_Sourcebytes) X(TNum_SourceBytes) X(Num_Processed_Files) \
    X(Label11) X(Num_Processed_Bytes) X(TNum_Processed_Bytes) X(Num_Error_Files) X(TNum_Error_Files) X(Status) \
    X(Progress_Frame) X(Progress) X(TError_List) X(Error_List) X(Marravel) X(Tivoran) X(Include_Subfolders) \
    X(Label3) X(Copy_Empty_Folders) X(Label14) X(Only_newer) X(Label4) X(Only_Archive) X(Label5) X(Reset_Archive) \
    X(Label6) X(Copy_SysFiles) X(Label15) X(Copy_HiddenFiles) X(Label16) X(Synchronize) X(Label7) X(Label13) \
    X(Later_then)
// clang-format on

enum class Control {
#define ZENTREL_CONTROL_ENUMERATOR(name) name,
    ZENTREL_CONTROLS(ZENTREL_CONTROL_ENUMERATOR)
#undef ZENTREL_CONTROL_ENUMERATOR
};

// The control's name as the code and the stored settings spell it.
const char* Control_Name(Control control);
// The control of that name; nullopt for a name no control has.
std::optional<Control> Control_Named(std::string_view name);

struct Twips_Rect {
    double left = 0, top = 0, width = 0, height = 0;
};

class Form {
public:
    virtual ~Form() = default;

    // Text of a text box, caption of a label, button or frame.
    virtual std::string Text(Control control) const = 0;
    // Setting a text box's text raises its change handler.
    virtual void Set_Text(Control control, const std::string& text) = 0;

    // Check boxes: 0 clear, 1 checked, 2 grey. Setting a state that differs
    // from the current one raises the box's click handler, exactly as a
    // user's click does; setting the same state raises nothing.
    virtual int Check_State(Control control) const = 0;
    virtual void Set_Check_State(Control control, int state) = 0;

    virtual bool Visible(Control control) const = 0;
    virtual void Set_Visible(Control control, bool visible) = 0;
    virtual bool Enabled(Control control) const = 0;
    virtual void Set_Enabled(Control control, bool enabled) = 0;
    virtual void Set_Focus(Control control) = 0;

    virtual Twips_Rect Geometry(Control control) const = 0;
    virtual void Set_Top(Control control, double twips) = 0;
    virtual void Set_Width(Control control, double twips) = 0;
    virtual void Set_Height(Control control, double twips) = 0;  // Control::Zentrel: the window's outer height

    // The list box Error_List.
    virtual long List_Count(Control control) const = 0;
    virtual std::string List_Item(Control control, long index) const = 0;
    virtual void Add_Item(Control control, const std::string& text) = 0;
    virtual void Clear_List(Control control) = 0;
    virtual long List_Index(Control control) const = 0;  // -1: nothing selected

    // Repaints the whole window now (may be coalesced to the screen's rate).
    virtual void Repaint() = 0;
    // Shows or hides the error list after its entries changed and lets the
    // footer and the window height follow.
    virtual void Arrange_Error_List() = 0;
};

}  // namespace zentrel::window
