#include "support/form.h"

namespace zentrel::support {

const char* control_name(Control control) {
    switch (control) {
        case Control::Zentrel: return "Zentrel";
        case Control::Start: return "Start";
        case Control::Sourcefolder: return "Sourcefolder";
        case Control::Get_Source: return "Get_Source";
        case Control::Label1: return "Label1";
        case Control::Targetfolder: return "Targetfolder";
        case Control::Get_Target: return "Get_Target";
        case Control::Cancel_Execution: return "Cancel_Execution";
        case Control::Label2: return "Label2";
        case Control::Include_Filter: return "Include_Filter";
        case Control::Label17: return "Label17";
        case Control::Exclude_Filter: return "Exclude_Filter";
        case Control::Label18: return "Label18";
        case Control::Frame1: return "Frame1";
        case Control::Num_Tot_Files: return "Num_Tot_Files";
        case Control::Label8: return "Label8";
        case Control::Evaluate_Source: return "Evaluate_Source";
        case Control::Num_Sourcefiles: return "Num_Sourcefiles";
        case Control::Label9: return "Label9";
        case Control::Num_Sourcebytes: return "Num_Sourcebytes";
        case Control::TNum_SourceBytes: return "TNum_SourceBytes";
        case Control::Num_Processed_Files: return "Num_Processed_Files";
        case Control::Label11: return "Label11";
        case Control::Num_Processed_Bytes: return "Num_Processed_Bytes";
        case Control::TNum_Processed_Bytes: return "TNum_Processed_Bytes";
        case Control::Num_Error_Files: return "Num_Error_Files";
        case Control::TNum_Error_Files: return "TNum_Error_Files";
        case Control::Status: return "Status";
        case Control::Progress_Frame: return "Progress_Frame";
        case Control::Progress: return "Progress";
        case Control::TError_List: return "TError_List";
        case Control::Error_List: return "Error_List";
        case Control::Marravel: return "Marravel";
        case Control::Tivoran: return "Tivoran";
        case Control::Include_Subfolders: return "Include_Subfolders";
        case Control::Label3: return "Label3";
        case Control::Copy_Empty_Folders: return "Copy_Empty_Folders";
        case Control::Label14: return "Label14";
        case Control::Only_newer: return "Only_newer";
        case Control::Label4: return "Label4";
        case Control::Only_Archive: return "Only_Archive";
        case Control::Label5: return "Label5";
        case Control::Reset_Archive: return "Reset_Archive";
        case Control::Label6: return "Label6";
        case Control::Copy_SysFiles: return "Copy_SysFiles";
        case Control::Label15: return "Label15";
        case Control::Copy_HiddenFiles: return "Copy_HiddenFiles";
        case Control::Label16: return "Label16";
        case Control::Synchronize: return "Synchronize";
        case Control::Label7: return "Label7";
        case Control::Label13: return "Label13";
        case Control::Later_then: return "Later_then";
    }
    return "";
}

}  // namespace zentrel::support
