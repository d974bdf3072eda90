// The program's one window. It implements the form the copy job works on
// (controls addressed by their names, positions in twips) and owns the run
// state, the support routines and the job. A run executes inside the click
// handler of Start and keeps the window alive through the UI host's
// processing of pending events.
#pragma once

#include "engine/copy_job.h"
#include "engine/run_state.h"
#include "support/form.h"
#include "support/support_routines.h"
#include "window/window_setup.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QMenu;

namespace zentrel::window {

class Qt_Ui_Host;

inline constexpr const char* Maker_Contact = "Marravel Software, info@zentrel.example -";
inline constexpr const char* Maker_Address = "www.zentrel.example";

class Main_Window : public QWidget, public support::Form {
    Q_OBJECT
public:
    explicit Main_Window(Window_Setup setup = {}, QWidget* parent = nullptr);
    ~Main_Window() override;

    static constexpr int Control_Count = static_cast<int>(support::Control::Later_then) + 1;

    // The widget standing for a control (the window itself for Zentrel).
    QWidget* control(support::Control control) const;
    QMenu* Kontext_Errorlist() const { return error_menu_; }
    QAction* Copy_Single_File() const { return copy_single_file_; }
    engine::Run_State& state() { return state_; }
    support::Support_Routines& support_routines() { return *support_; }
    // True while a run, an evaluation or a single-file copy is in progress.
    bool job_running() const { return running_ > 0; }

    // support::Form
    std::string Text(support::Control control) const override;
    void Set_Text(support::Control control, const std::string& text) override;
    // Gives the labels the texts set since the last paint. A run sets the
    // status line for every file, many times between two pictures of the
    // screen, and a label's new text costs far more than storing it; only
    // the last text before a paint can ever be seen.
    void Show_Pending_Texts();
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

    std::string Get_Folder(const std::string& Title);

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build_Controls();
    void Connect_Handlers();
    void Set_Tab_Order();
    void Set_Accessible_Names();
    // Runs a handler of the job unless one is running already; reports what
    // escapes it and ends a close that waited for it.
    void Run_Exclusive(const char* name, const std::function<void()>& handler);
    void Report_Unexpected_Failure(const char* name, const char* description);
    void Finish_Pending_Close();

    Window_Setup setup_;
    std::unique_ptr<Qt_Ui_Host> own_host_;
    platform::Regional_Settings regional_;
    std::unique_ptr<support::Support_Routines> support_;
    engine::Run_State state_;
    std::unique_ptr<engine::Copy_Job> job_;

    std::array<QWidget*, Control_Count> controls_{};
    // Exact layout in twips (fractions included), the source of Geometry.
    std::array<support::Twips_Rect, Control_Count> layout_{};
    // The bytes behind each text given to the form, with what they showed as,
    // so a name that is not UTF-8 reads back unchanged.
    struct Raw_Text {
        std::string bytes;
        QString shown;
    };
    std::array<std::optional<Raw_Text>, Control_Count> raw_texts_{};
    // Labels whose new text waits for the next paint (Show_Pending_Texts).
    std::array<bool, Control_Count> pending_labels_{};
    bool pending_posted_ = false;

    QMenu* error_menu_ = nullptr;
    QAction* copy_single_file_ = nullptr;
    std::chrono::steady_clock::time_point last_repaint_{};
    bool last_window_height_set_ = false;
    int running_ = 0;
    bool unloaded_ = false;
    bool close_pending_ = false;
};

}  // namespace zentrel::window
