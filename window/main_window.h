// The program's one window. It is the copy job's options and display, and
// the form its own rules and tests work on (controls addressed by their
// names, positions in twips); it owns the run state, the support routines
// and the job. A run executes inside the click handler of Start and keeps
// the window alive through the UI host's processing of pending events.
#pragma once

#include "engine/copy_job.h"
#include "engine/job_display.h"
#include "engine/job_options.h"
#include "engine/run_state.h"
#include "settings/setting_names.h"
#include "support/support_routines.h"
#include "window/form.h"
#include "window/window_setup.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QMenu;

namespace zentrel::window {

class Qt_Ui_Host;

// The window's check box of an option box.
Control Box_Control(const settings::Option_Box_Entry& box);

inline constexpr const char* Maker_Contact = "Marravel Software, info@zentrel.example -";
inline constexpr const char* Maker_Address = "www.zentrel.example";

class Main_Window : public QWidget, public Form, public engine::Options_Port, public engine::Job_Display {
    Q_OBJECT
public:
    explicit Main_Window(Window_Setup setup = {}, QWidget* parent = nullptr);
    ~Main_Window() override;

    static constexpr int Control_Count = static_cast<int>(Control::Later_then) + 1;

    // The widget standing for a control (the window itself for Zentrel).
    QWidget* control(Control control) const;
    QMenu* Kontext_Errorlist() const { return error_menu_; }
    QAction* Copy_Single_File() const { return copy_single_file_; }
    QAction* Retry_All() const { return retry_all_; }
    QAction* Save_List() const { return save_list_; }
    engine::Run_State& state() { return state_; }
    support::Support_Routines& support_routines() { return *support_; }
    // True while a run, an evaluation or a single-file copy is in progress.
    bool job_running() const { return running_ > 0; }

    // Form
    std::string Text(Control control) const override;
    void Set_Text(Control control, const std::string& text) override;
    // Gives the labels the texts set since the last paint. A run sets the
    // status line for every file, many times between two pictures of the
    // screen, and a label's new text costs far more than storing it; only
    // the last text before a paint can ever be seen.
    void Show_Pending_Texts();
    int Check_State(Control control) const override;
    void Set_Check_State(Control control, int state) override;
    bool Visible(Control control) const override;
    void Set_Visible(Control control, bool visible) override;
    bool Enabled(Control control) const override;
    void Set_Enabled(Control control, bool enabled) override;
    void Set_Focus(Control control) override;
    Twips_Rect Geometry(Control control) const override;
    void Set_Top(Control control, double twips) override;
    void Set_Width(Control control, double twips) override;
    void Set_Height(Control control, double twips) override;
    long List_Count(Control control) const override;
    std::string List_Item(Control control, long index) const override;
    void Add_Item(Control control, const std::string& text) override;
    void Clear_List(Control control) override;
    long List_Index(Control control) const override;
    // Form and engine::Job_Display
    void Repaint() override;
    void Arrange_Error_List() override;

    // engine::Options_Port: Settings(), read from the controls once after
    // each change (a run asks for every file), with the filters and the date
    // as their last finished edit.
    std::shared_ptr<const engine::Job_Options> Current() const override;

    // engine::Job_Display
    void Show_Status(const std::string& text) override;
    void Show_Count(engine::File_Counter counter, std::int32_t value) override;
    void Show_Bytes(engine::Byte_Count_Kind kind, double total) override;
    void Clear_Counters() override;
    void Show_Progress_Bar(std::optional<double> fraction) override;
    void Show_Cancel_Button(bool shown) override;
    void Show_Error_Counter(bool shown) override;
    void Show_Run_Under_Way(bool under_way) override;
    void Show_File(engine::Phase phase, const std::string& path) override;
    void Add_Error(const engine::Copy_Failure& failure) override;
    // An entry with its reason, as the list shows it.
    void Add_Error(const std::string& entry, const std::string& reason);
    long Error_Count() const;
    std::string Last_Error() const;
    void Clear_Errors() override;

    // The thirteen stored settings as the fields and boxes show them, and
    // back; Show_Settings raises the handlers of what it changes.
    engine::Job_Options Settings() const;
    void Show_Settings(const engine::Job_Options& settings);

    // Event handlers.
    void Form_Load();
    void Form_Unload();
    void Form_MouseMove();
    void Start_Click();
    void Evaluate_Source_Click();
    void Cancel_Execution_Click();
    void Cancel_Execution_MouseMove();
    void Get_Source_Click();
    void Get_Target_Click();
    void Tivoran_Click();
    void Error_List_MouseUp(Qt::MouseButton button, const QPoint& global_position);
    void Copy_Single_File_Click();
    // Every entry of the error list copied once more; what is copied leaves the list.
    void Retry_All_Click();
    void Save_Error_List_Click();
    // The list with each entry's reason, one a line; false when it could not be written.
    bool Save_Error_List(const std::string& path) const;

    // The folder dialog, opened at the folder the field names.
    std::string Get_Folder(const std::string& Title, const std::string& Field_Text = {});

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build_Controls();
    // The pictures, tooltips, bar colours and link pointer the design table
    // cannot say.
    void Decorate_Controls();
    void Connect_Handlers();
    void Set_Tab_Order();
    void Set_Accessible_Names();
    // Runs a handler of the job unless one is running already; reports what
    // escapes it and ends a close that waited for it.
    void Run_Exclusive(const char* name, const std::function<void()>& handler);
    void Report_Unexpected_Failure(const char* name, const char* description);
    void Finish_Pending_Close();
    // Empties the error list as an evaluation or a run begins.
    void Clear_Error_List();
    // The error counter, its caption and the list's place after entries went.
    void Errors_Changed();
    // The click handler of an option box: the interlocks after its change.
    void Option_Click(Control box);
    // A filter or the date takes effect when its edit is finished (Return,
    // the focus leaving the field, the program setting it, a job starting),
    // never at each keystroke: the "*" that begins almost every pattern
    // would exclude everything while the rest is being typed.
    void Commit_Edit(Control field);
    void Commit_Edits();
    // Marks the date field when its text is no date, naming the date in force.
    void Mark_Date_Field();
    // While a job runs, the folders it works in cannot be changed.
    void Lock_Folders(bool locked);
    // Puts a control at its place in twips, widened, moved or grown by what
    // the window has beyond its designed size (Stretch_Size, in pixels).
    void Place(Control control);
    QSize Stretch_Size() const;
    // The height of the screen the window is on, in pixels.
    int Available_Height() const;
    // The copy's rate and time left in the bar's tooltip and the title.
    void Show_Rate(double fraction, const std::string& percent);
    // A label's text, converted for the screen when it is next painted.
    void Set_Label_Text(Control control, std::string text);

    Window_Setup setup_;
    std::unique_ptr<Qt_Ui_Host> own_host_;
    platform::Regional_Settings regional_;
    std::unique_ptr<support::Support_Routines> support_;
    engine::Run_State state_;
    std::unique_ptr<engine::Copy_Job> job_;
    // What Current() gave, until a field or box changes.
    mutable std::shared_ptr<const engine::Job_Options> options_;
    // The stored choice to let deletions follow in a synchronisation: kept
    // from load to save, and given to each run; no control shows it.
    int sync_deletions_ = 0;
    struct Finished_Edits {
        std::string Include_Filter, Exclude_Filter, Later_then;
    } finished_;

    std::array<QWidget*, Control_Count> controls_{};
    // Exact layout in twips (fractions included), the source of Geometry.
    std::array<Twips_Rect, Control_Count> layout_{};
    // The bytes behind each text given to the form, with what they showed as
    // (nothing while a label waits for its paint), so a name that is not
    // UTF-8 reads back unchanged.
    struct Raw_Text {
        std::string bytes;
        std::optional<QString> shown;
    };
    std::array<std::optional<Raw_Text>, Control_Count> raw_texts_{};
    // Labels whose new text waits for the next paint (Show_Pending_Texts).
    std::array<bool, Control_Count> pending_labels_{};
    bool pending_posted_ = false;

    QMenu* error_menu_ = nullptr;
    QAction* copy_single_file_ = nullptr;
    QAction* retry_all_ = nullptr;
    QAction* save_list_ = nullptr;
    std::chrono::steady_clock::time_point last_repaint_{};
    std::optional<std::chrono::steady_clock::time_point> copy_start_;
    std::chrono::steady_clock::time_point last_rate_{};
    bool last_window_height_set_ = false;
    int running_ = 0;
    bool unloaded_ = false;
    bool close_pending_ = false;
};

}  // namespace zentrel::window
