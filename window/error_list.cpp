// The error list's popup menu: the single-file copy, a retry of every entry
// and the list saved to a file.
#include "window/display_text.h"
#include "window/error_list_rules.h"
#include "window/main_window.h"

#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>

#include <cstdio>
#include <memory>
#include <vector>

namespace zentrel::window {

void Main_Window::Error_List_MouseUp(Qt::MouseButton button, const QPoint& global_position) {
    if (button != Qt::RightButton) return;
    const bool selected = List_Index(Control::Error_List) != -1;
    if (!selected && Error_Count() == 0) return;
    // Greyed while a job runs, when the commands would do nothing.
    copy_single_file_->setEnabled(running_ == 0 && selected);
    retry_all_->setEnabled(running_ == 0);
    error_menu_->popup(global_position);
}

void Main_Window::Copy_Single_File_Click() {
    // Nested in a run's or an evaluation's event processing the copy would
    // share its direction and could touch the very file the run is copying
    // (and the parked old version of it); it waits until the job is done.
    if (running_ > 0) return;
    Run_Exclusive("Copy_Single_File_Click", [this] {
        auto* list = static_cast<QListWidget*>(control(Control::Error_List));
        const long index = List_Index(Control::Error_List);
        if (index < 0) return;
        QListWidgetItem* item = list->item(static_cast<int>(index));
        const std::string entry = List_Item(Control::Error_List, index);
        const long before = Error_Count();
        const Single_Copy result = window::Copy_Single_File_Click(*this, *support_, *job_);
        if (result == Single_Copy::Not_Attempted) return;
        // A failure has added the entry once more, with the reason of now.
        if (result == Single_Copy::Copied || Error_Count() > before) delete item;
        Errors_Changed();
        if (result == Single_Copy::Copied) Show_Status("Datei '" + entry + "' einzeln kopiert");
    });
}

void Main_Window::Retry_All_Click() {
    if (running_ > 0) return;
    Run_Exclusive("Retry_All_Click", [this] {
        auto* list = static_cast<QListWidget*>(control(Control::Error_List));
        const long count = Error_Count();
        // The entries as they stand now: a failure adds its entry anew at the end.
        std::vector<std::string> entries;
        for (long i = 0; i < count; ++i) entries.push_back(List_Item(Control::Error_List, i));
        bool ignore_all = false;
        bool abort = false;
        long copied = 0;
        for (const std::string& entry : entries) {
            QListWidgetItem* item = list->item(0);
            if (abort) break;
            const Single_Copy result =
                Copy_Entry_Again(*this, *support_, *job_, entry, ignore_all, abort, /*quiet=*/true);
            // Entries that were not tried move behind the new ones, in their order.
            std::unique_ptr<QListWidgetItem> old(list->takeItem(list->row(item)));
            if (result == Single_Copy::Not_Attempted) list->addItem(old.release());
            if (result == Single_Copy::Copied) ++copied;
        }
        Errors_Changed();
        Show_Status(std::to_string(copied) + " von " + std::to_string(entries.size()) + " Dateien erneut kopiert");
    });
}

void Main_Window::Errors_Changed() {
    state_.Error_Files = static_cast<std::int32_t>(Error_Count());
    Show_Count(engine::File_Counter::Error_Files, state_.Error_Files);
    Show_Error_Counter(state_.Error_Files > 0);
    Arrange_Error_List();
}

bool Main_Window::Save_Error_List(const std::string& path) const {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "w"), std::fclose);
    if (!file) return false;
    auto* list = static_cast<QListWidget*>(control(Control::Error_List));
    for (int i = 0; i < list->count(); ++i) {
        // As the runner lists them: the path, and the reason on the same line.
        std::string line = List_Item(Control::Error_List, i);
        QString shown = list->item(i)->data(Error_Reason_Role).toString();
        shown.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
        const std::string reason = from_display(shown);
        if (!reason.empty()) line += " -- " + reason;
        line += '\n';
        if (std::fputs(line.c_str(), file.get()) == EOF) return false;
    }
    return std::fflush(file.get()) == 0 && std::fclose(file.release()) == 0;
}

void Main_Window::Save_Error_List_Click() {
    std::string path;
    if (setup_.save_dialog) {
        path = setup_.save_dialog("Fehlerliste speichern");
    } else {
        const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Fehlerliste speichern"),
                                                            QStringLiteral("fehlerliste.txt"));
        path = QFile::encodeName(chosen).toStdString();
    }
    if (path.empty()) return;
    if (Save_Error_List(path))
        Show_Status("Fehlerliste gespeichert: " + path);
    else
        support_->Message_Box("Die Fehlerliste konnte nicht gespeichert werden: " + path, support::Buttons_OK);
}

}  // namespace zentrel::window
