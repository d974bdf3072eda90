#include "window/error_list_rules.h"

#include "platform/file_objects.h"

#include <cmath>
#include <optional>

namespace zentrel::window {

namespace {

template <class Step>
void ignoring_failure(Step step) {
    try {
        step();
    } catch (...) {
        // The arrangement is cosmetic: a step that fails leaves that part as it was.
    }
}

}  // namespace

void Arrange_Error_List(Form& form) {
    ignoring_failure([&] { form.Set_Visible(Control::TError_List, form.List_Count(Control::Error_List) > 0); });
    ignoring_failure([&] { form.Set_Visible(Control::Error_List, form.Visible(Control::TError_List)); });

    std::optional<double> footer_top;
    ignoring_failure([&] {
        Twips_Rect list = form.Geometry(Control::Error_List);
        double heading = form.Geometry(Control::TError_List).height;
        double sum = form.Visible(Control::Error_List) ? list.top + list.height + heading : list.top + heading;
        footer_top = std::nearbyint(sum);
    });
    if (!footer_top) return;  // without a position the footer stays where it is

    ignoring_failure([&] { form.Set_Top(Control::Marravel, *footer_top); });
    ignoring_failure([&] { form.Set_Top(Control::Tivoran, form.Geometry(Control::Marravel).top); });
    ignoring_failure(
        [&] { form.Set_Height(Control::Zentrel, *footer_top + 3 * form.Geometry(Control::TError_List).height); });
}

bool Lies_In_Folder(const std::string& path, const std::string& folder) {
    if (folder.empty()) return false;
    std::string prefix = support::Trailing_Backslash(platform::normalize_path(folder), false);
    return platform::normalize_path(path).starts_with(prefix);
}

Single_Copy Copy_Entry_Again(Form& form, support::Support_Routines& support, engine::Copy_Job& job,
                             const std::string& entry, bool& ignore_all, bool& abort, bool quiet) {
    auto tell = [&](const std::string& text) {
        if (!quiet) support.Message_Box(text, support::Buttons_OK);
        return Single_Copy::Not_Attempted;
    };
    // A folder the walk could not finish stands in the list with a trailing
    // separator: it has no single file to copy, only a run can redo it.
    if (entry.size() > 1 && entry.back() == support::Separator)
        return tell("Das Verzeichnis '" + entry +
                    "' konnte nicht vollständig verarbeitet werden; bitte die Ausführung erneut starten...");

    std::optional<platform::File> file = support.Find_File(entry);
    if (!file) return tell("Datei '" + entry + "' nicht gefunden...");

    bool reverse = Lies_In_Folder(file->Path(), form.Text(Control::Targetfolder));
    job.state().Reverse_Direction = reverse;

    // The folder fields may have been edited since the run. A file outside
    // the folder it is mapped from would get a target path that means
    // nothing, and a target equal to the file itself would replace the only
    // copy; neither is attempted.
    if (!reverse && !Lies_In_Folder(file->Path(), form.Text(Control::Sourcefolder)))
        return tell("Datei '" + file->Path() + "' liegt weder im Quell- noch im Zielverzeichnis...");
    std::string target = job.Targetfile(file->Path());
    if (target.empty() || platform::normalize_path(target) == file->Path())
        return tell("Quell- und Zielverzeichnis sind identisch...");

    const engine::Run_Outcome copied = job.Copy_Single_File(file, target, ignore_all, abort);
    return copied.files_copied > 0 ? Single_Copy::Copied : Single_Copy::Failed;
}

Single_Copy Copy_Single_File_Click(Form& form, support::Support_Routines& support, engine::Copy_Job& job) {
    long index = form.List_Index(Control::Error_List);
    if (index < 0) return Single_Copy::Not_Attempted;
    bool ignore_all = false;
    bool abort = false;
    return Copy_Entry_Again(form, support, job, form.List_Item(Control::Error_List, index), ignore_all, abort);
}

}  // namespace zentrel::window
