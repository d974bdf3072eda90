#include "window/main_window.h"

#include "window/qt_ui_host.h"
#include "window/run_notice.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <exception>

// The pictures live in a static library, whose resources are not registered
// on their own.
static void register_pictures() { Q_INIT_RESOURCE(zentrel); }

namespace zentrel::window {

namespace {

support::Ui_Host& host_of(Window_Setup& setup, std::unique_ptr<Qt_Ui_Host>& own) {
    if (setup.host) return *setup.host;
    own = std::make_unique<Qt_Ui_Host>();
    return *own;
}

}  // namespace

Main_Window::Main_Window(Window_Setup setup, QWidget* parent)
    : QWidget(parent),
      setup_(std::move(setup)),
      regional_(setup_.regional ? *setup_.regional : platform::Regional_Settings::from_environment()) {
    register_pictures();
    support::Ui_Host& host = host_of(setup_, own_host_);
    if (own_host_) own_host_->set_window(this);
    platform::File_System& fs = setup_.file_system ? *setup_.file_system : platform::real_file_system();
    support_ = std::make_unique<support::Support_Routines>(host, fs, regional_);
    job_ = std::make_unique<engine::Copy_Job>(*this, *this, *support_, state_);

    setMouseTracking(true);
    Build_Controls();
    Connect_Handlers();
    Form_Load();
    control(Control::Sourcefolder)->setFocus(Qt::OtherFocusReason);
}

Main_Window::~Main_Window() {
    // The busy pointer belongs to this window's jobs; none outlives it.
    if (own_host_) own_host_->Set_Pointer(support::Pointer_Shape::Default);
}

void Main_Window::Connect_Handlers() {
    auto button = [this](Control c) { return static_cast<QPushButton*>(control(c)); };
    connect(button(Control::Start), &QPushButton::clicked, this, [this] { Start_Click(); });
    connect(button(Control::Evaluate_Source), &QPushButton::clicked, this, [this] { Evaluate_Source_Click(); });
    connect(button(Control::Cancel_Execution), &QPushButton::clicked, this, [this] { Cancel_Execution_Click(); });
    connect(button(Control::Get_Source), &QPushButton::clicked, this, [this] { Get_Source_Click(); });
    connect(button(Control::Get_Target), &QPushButton::clicked, this, [this] { Get_Target_Click(); });

    // Qt signals every change of state, the program's as well as the user's,
    // which is what the interlocks rely on.
    for (const settings::Option_Box_Entry& entry : settings::Option_Boxes) {
        const Control box = Box_Control(entry);
        auto* check = static_cast<QCheckBox*>(control(box));
        connect(check, &QCheckBox::stateChanged, this, [this, box, check](int state) {
            options_.reset();
            // Only the program sets the grey state; a click leaves it behind.
            if (state != Qt::PartiallyChecked) check->setTristate(false);
            Option_Click(box);
        });
    }
    for (Control field : {Control::Sourcefolder, Control::Targetfolder})
        connect(static_cast<QLineEdit*>(control(field)), &QLineEdit::textChanged, this, [this] { options_.reset(); });
    // Return in a folder field evaluates it, as "?" does.
    for (Control field : {Control::Sourcefolder, Control::Targetfolder})
        connect(static_cast<QLineEdit*>(control(field)), &QLineEdit::returnPressed, this, [this] {
            if (running_ == 0) Evaluate_Source_Click();
        });
    for (Control field : {Control::Include_Filter, Control::Exclude_Filter, Control::Later_then})
        connect(static_cast<QLineEdit*>(control(field)), &QLineEdit::editingFinished, this,
                [this, field] { Commit_Edit(field); });

    control(Control::Cancel_Execution)->installEventFilter(this);
    control(Control::Tivoran)->installEventFilter(this);
    static_cast<QListWidget*>(control(Control::Error_List))->viewport()->installEventFilter(this);

    error_menu_ = new QMenu(QStringLiteral("Fehlerliste"), this);
    error_menu_->setObjectName(QStringLiteral("Kontext_Errorlist"));
    copy_single_file_ = error_menu_->addAction(QStringLiteral("Datei einzeln kopieren"));
    copy_single_file_->setObjectName(QStringLiteral("Copy_Single_File"));
    connect(copy_single_file_, &QAction::triggered, this, [this] { Copy_Single_File_Click(); });
    retry_all_ = error_menu_->addAction(QStringLiteral("Alle erneut versuchen"));
    retry_all_->setObjectName(QStringLiteral("Retry_All"));
    connect(retry_all_, &QAction::triggered, this, [this] { Retry_All_Click(); });
    save_list_ = error_menu_->addAction(QStringLiteral("Liste speichern…"));
    save_list_->setObjectName(QStringLiteral("Save_List"));
    connect(save_list_, &QAction::triggered, this, [this] { Save_Error_List_Click(); });
}

void Main_Window::Run_Exclusive(const char* name, const std::function<void()>& handler) {
    // A second run or evaluation started from inside a running one would
    // reset the counters of the job in progress; it is ignored instead.
    if (running_ > 0) return;
    ++running_;
    // Typed into during a run, the target field would split the copy
    // between two folders.
    Lock_Folders(true);
    // What was typed before the job began is what the user means it to use.
    Commit_Edits();
    try {
        handler();
    } catch (const std::exception& failure) {
        Report_Unexpected_Failure(name, failure.what());
    } catch (...) {
        Report_Unexpected_Failure(name, "");
    }
    --running_;
    if (running_ == 0) Lock_Folders(false);
    // The hourglass a mouse move over the background put up during the run
    // would otherwise stay over every control until the next such move.
    if (running_ == 0) support_->host().Set_Pointer(support::Pointer_Shape::Default);
    Finish_Pending_Close();
}

void Main_Window::Start_Click() {
    Run_Exclusive("Start_Click", [this] {
        const auto began = std::chrono::steady_clock::now();
        Clear_Error_List();
        job_->Start_Click();
        // A long run that ends while the user works elsewhere is told by the desktop.
        if (std::chrono::steady_clock::now() - began < setup_.notice_after || isActiveWindow()) return;
        const std::string summary = "Zentrel: Ausführung beendet";
        if (setup_.notice)
            setup_.notice(summary, Text(Control::Status));
        else
            Send_Desktop_Notice(summary, Text(Control::Status));
    });
}

void Main_Window::Evaluate_Source_Click() {
    Run_Exclusive("Evaluate_Source_Click", [this] {
        Clear_Error_List();
        job_->Evaluate_Source_Click();
    });
}

void Main_Window::Clear_Error_List() {
    // The last run's failures would read as this one's.
    state_.Errors.clear();
    Clear_Errors();
    Arrange_Error_List();
}

void Main_Window::Report_Unexpected_Failure(const char* name, const char* description) {
    // The job ends here: the window returns to its idle state, so the user
    // can start again, and learns what went wrong.
    try {
        state_.Run_Under_Way = false;
        Show_Run_Under_Way(false);
        Show_Cancel_Button(false);
        std::string prompt = support_->LT3("Prozedurfehler in '$n1':", name, "", "") + " " + description;
        support_->Message_Box(prompt, support::Buttons_OK | support::Icon_Stop);
    } catch (...) {
        // Nothing more can be told; the window stays usable.
    }
}

}  // namespace zentrel::window
