// The window's controls addressed by their names, read and written live:
// what the error list's rules and the window's tests work on. Positions and
// sizes are in twips (15 to a device-independent pixel).
#pragma once

#include <string>

namespace zentrel::window {

enum class Control {
    Zentrel,  // the window itself (its height)
    Start,
    Sourcefolder,
    Get_Source,
    Label1,
    Targetfolder,
    Get_Target,
    Cancel_Execution,
    Label2,
    Include_Filter,
    Label17,
    Exclude_Filter,
    Label18,
    Frame1,
    Num_Tot_Files,
    Label8,
    Evaluate_Source,
    Num_Sourcefiles,
    Label9,
    Num_Sourcebytes,
    TNum_SourceBytes,
    Num_Processed_Files,
    Label11,
    Num_Processed_Bytes,
    TNum_Processed_Bytes,
    Num_Error_Files,
    TNum_Error_Files,
    Status,
    Progress_Frame,
    Progress,
    TError_List,
    Error_List,
    Marravel,
    Tivoran,
    Include_Subfolders,
    Label3,
    Copy_Empty_Folders,
    Label14,
    Only_newer,
    Label4,
    Only_Archive,
    Label5,
    Reset_Archive,
    Label6,
    Copy_SysFiles,
    Label15,
    Copy_HiddenFiles,
    Label16,
    Synchronize,
    Label7,
    Label13,
    Later_then,
};

// The control's name as the code and the stored settings spell it.
const char* control_name(Control control);

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
