// The window as the copy job's options and display: the controls' values,
// read once after each change, and the labels, bar and list the job's
// progress is shown in.
#include "platform/regional.h"
#include "settings/option_interlocks.h"
#include "window/display_text.h"
#include "window/main_window.h"
#include "window/rate_text.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <utility>

namespace zentrel::window {

namespace {

Control counter_label(engine::File_Counter counter) {
    switch (counter) {
        case engine::File_Counter::Total_Files:
            return Control::Num_Tot_Files;
        case engine::File_Counter::Source_Files:
            return Control::Num_Sourcefiles;
        case engine::File_Counter::Processed_Files:
            return Control::Num_Processed_Files;
        case engine::File_Counter::Error_Files:
            break;
    }
    return Control::Num_Error_Files;
}

Control text_control(const settings::Text_Setting_Entry& text) { return Control_Named(text.control).value(); }

}  // namespace

Control Box_Control(const settings::Option_Box_Entry& box) { return Control_Named(box.name).value(); }

engine::Job_Options Main_Window::Settings() const {
    engine::Job_Options settings;
    for (const settings::Text_Setting_Entry& text : settings::Text_Settings)
        settings.*text.member = Text(text_control(text));
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes)
        settings.*box.member = Check_State(Box_Control(box));
    settings.Sync_Deletions = sync_deletions_;
    return settings;
}

void Main_Window::Show_Settings(const engine::Job_Options& settings) {
    // In the order of a load: the texts, the boxes, then the date.
    for (const settings::Text_Setting_Entry& text : settings::Text_Settings)
        if (text.member != &engine::Job_Options::Later_then) Set_Text(text_control(text), settings.*text.member);
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes)
        Set_Check_State(Box_Control(box), settings.*box.member);
    Set_Text(Control::Later_then, settings.Later_then);
    sync_deletions_ = settings.Sync_Deletions;
    options_.reset();
    // A box that kept its state raised no handler.
    const engine::Job_Options shown = Settings();
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes)
        Set_Enabled(Box_Control(box), settings::Option_Enabled(shown, box.member));
}

void Main_Window::Option_Click(Control clicked) {
    engine::Job_Options settings = Settings();
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes)
        if (Box_Control(box) == clicked) settings::Option_Click(settings, box.member);
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes) {
        // A box the rule changes raises its own handler, as a click would.
        Set_Check_State(Box_Control(box), settings.*box.member);
        Set_Enabled(Box_Control(box), settings::Option_Enabled(settings, box.member));
    }
}

std::shared_ptr<const engine::Job_Options> Main_Window::Current() const {
    if (!options_) {
        engine::Job_Options options = Settings();
        options.Include_Filter = finished_.Include_Filter;
        options.Exclude_Filter = finished_.Exclude_Filter;
        options.Later_then = finished_.Later_then;
        options_ = std::make_shared<const engine::Job_Options>(std::move(options));
    }
    return options_;
}

void Main_Window::Commit_Edit(Control field) {
    std::string text = Text(field);
    if (field == Control::Include_Filter) {
        finished_.Include_Filter = std::move(text);
    } else if (field == Control::Exclude_Filter) {
        finished_.Exclude_Filter = std::move(text);
    } else if (field == Control::Later_then) {
        engine::Later_then_Change(text, state_, regional_);
        finished_.Later_then = std::move(text);
        Mark_Date_Field();
    } else {
        return;
    }
    options_.reset();
}

void Main_Window::Mark_Date_Field() {
    auto* field = static_cast<QLineEdit*>(control(Control::Later_then));
    const std::string text = Text(Control::Later_then);
    const bool understood = text.empty() || platform::parse_date(text, regional_).has_value();
    // Light red behind dark text reads in a light and a dark theme alike.
    // An empty palette sets no colour: the field follows the theme again.
    QPalette palette;
    if (!understood) {
        palette.setColor(QPalette::Base, QColor(255, 205, 205));
        palette.setColor(QPalette::Text, Qt::black);
    }
    field->setPalette(palette);
    if (understood) {
        field->setToolTip(QString());
        return;
    }
    const std::string in_force = state_.Later_Then_Date != 0
                                     ? "es gilt weiterhin " + platform::format_date(state_.Later_Then_Date, regional_)
                                     : "es gilt kein Datum, alle Dateien werden genommen";
    field->setToolTip(to_display("'" + text + "' ist kein Datum; " + in_force));
}

void Main_Window::Commit_Edits() {
    for (Control field : {Control::Include_Filter, Control::Exclude_Filter, Control::Later_then}) Commit_Edit(field);
}

void Main_Window::Lock_Folders(bool locked) {
    for (Control field : {Control::Sourcefolder, Control::Targetfolder})
        static_cast<QLineEdit*>(control(field))->setReadOnly(locked);
    for (Control picker : {Control::Get_Source, Control::Get_Target}) control(picker)->setEnabled(!locked);
}

void Main_Window::Show_Status(const std::string& text) { Set_Label_Text(Control::Status, text); }

void Main_Window::Show_File(engine::Phase phase, const std::string& path) {
    Show_Status(engine::File_Status_Text(phase, path));
}

void Main_Window::Show_Count(engine::File_Counter counter, std::int32_t value) {
    Set_Label_Text(counter_label(counter), std::to_string(value));
}

void Main_Window::Show_Bytes(engine::Byte_Count_Kind kind, double total) {
    engine::Byte_Display_Text text = engine::Byte_Display(total, kind, regional_);
    const bool to_copy = kind == engine::Byte_Count_Kind::To_Copy;
    Set_Label_Text(to_copy ? Control::Num_Sourcebytes : Control::Num_Processed_Bytes, std::move(text.value));
    Set_Label_Text(to_copy ? Control::TNum_SourceBytes : Control::TNum_Processed_Bytes, std::move(text.unit));
}

void Main_Window::Clear_Counters() {
    for (Control label : {Control::Num_Error_Files, Control::Num_Sourcefiles, Control::Num_Sourcebytes,
                          Control::Num_Tot_Files, Control::Num_Processed_Files, Control::Num_Processed_Bytes})
        Set_Label_Text(label, "0");
}

void Main_Window::Show_Progress_Bar(std::optional<double> fraction) {
    Set_Visible(Control::Progress_Frame, fraction.has_value());
    Set_Visible(Control::Progress, fraction.has_value());
    if (!fraction) return;
    Set_Width(Control::Progress, static_cast<float>(Geometry(Control::Progress_Frame).width * *fraction));
    // The tiny allowance keeps a quotient such as 29/100, which lands just
    // below 0.29, from showing one per cent too little.
    const double whole = std::floor(*fraction * 100 + 1e-9);
    Set_Label_Text(Control::Progress, std::to_string(static_cast<long long>(whole)) + "%");
    Show_Rate(*fraction, std::to_string(static_cast<long long>(whole)) + "%");
}

void Main_Window::Show_Rate(double fraction, const std::string& percent) {
    // The bar appears when the copying begins; the rate counts from then.
    const auto now = std::chrono::steady_clock::now();
    if (!copy_start_) copy_start_ = now;
    if (now - last_rate_ < std::chrono::seconds(1)) return;
    const double seconds = std::chrono::duration<double>(now - *copy_start_).count();
    const std::string rate =
        Rate_Text(fraction * state_.Source_Bytes, state_.Source_Bytes, seconds, regional_.decimal_separator);
    if (rate.empty()) return;
    last_rate_ = now;
    const QString text = to_display(rate);
    control(Control::Progress)->setToolTip(text);
    control(Control::Progress_Frame)->setToolTip(text);
    // In the title it is seen in the task bar too, with the window behind others.
    if (!close_pending_) setWindowTitle(to_display("Zentrel - " + percent + " - " + rate));
}

void Main_Window::Show_Cancel_Button(bool shown) { Set_Visible(Control::Cancel_Execution, shown); }

void Main_Window::Show_Error_Counter(bool shown) {
    Set_Visible(Control::Num_Error_Files, shown);
    Set_Visible(Control::TNum_Error_Files, shown);
}

void Main_Window::Show_Run_Under_Way(bool under_way) {
    copy_start_.reset();
    last_rate_ = {};
    if (!close_pending_) setWindowTitle(QStringLiteral("Zentrel"));
    for (Control bar : {Control::Progress, Control::Progress_Frame}) control(bar)->setToolTip(QString());
    // Start loses its focus when it is disabled.
    if (under_way) Set_Focus(Control::Sourcefolder);
    Set_Enabled(Control::Start, !under_way);
}

void Main_Window::Add_Error(const engine::Copy_Failure& failure) {
    Add_Error(engine::Error_Entry_Text(failure), engine::Copy_Failure_Text(failure));
}

void Main_Window::Add_Error(const std::string& entry, const std::string& reason) {
    Add_Item(Control::Error_List, entry);
    // The reason stays with its entry: the box that told it is gone once
    // the run goes on.
    auto* list = qobject_cast<QListWidget*>(control(Control::Error_List));
    if (!list || list->count() == 0) return;
    QListWidgetItem* item = list->item(list->count() - 1);
    const QString text = to_display(reason);
    item->setToolTip(text);
    item->setData(Error_Reason_Role, text);
    // Beside the path, the cause in brief (the last line of the message,
    // without the path again), so it can be read without pointing at it.
    std::string brief = reason.substr(std::min(reason.size(), reason.find_last_of('\n') + 1));
    if (const auto path = brief.rfind(": /"); path != std::string::npos) brief.resize(path);
    if (!brief.empty() && brief != reason) item->setText(to_display(entry + "  \u2014  " + brief));
}

long Main_Window::Error_Count() const { return List_Count(Control::Error_List); }

std::string Main_Window::Last_Error() const {
    const long count = Error_Count();
    return count > 0 ? List_Item(Control::Error_List, count - 1) : std::string();
}

void Main_Window::Clear_Errors() { Clear_List(Control::Error_List); }

}  // namespace zentrel::window
