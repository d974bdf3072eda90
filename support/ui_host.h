// What the support routines need from the window system. The Qt window
// implements it; tests use a scripted host that records every box and
// answers from a queue.
#pragma once

#include <string>

namespace zentrel::support {

enum class Pointer_Shape { Default = 0, Hourglass = 11 };

// Buttons values and answers of a message box.
enum Message_Buttons : int {
    Buttons_OK = 0,
    Buttons_Abort_Retry_Ignore = 2,
    Buttons_Yes_No_Cancel = 3,
    Buttons_Yes_No = 4,
    Buttons_Retry_Cancel = 5,
    Icon_Stop = 16,
    Icon_Question = 32,
    Icon_Exclamation = 48,
    Icon_Information = 64,
};
enum Message_Answer : int {
    Answer_OK = 1,
    Answer_Cancel = 2,
    Answer_Abort = 3,
    Answer_Retry = 4,
    Answer_Ignore = 5,
    Answer_Yes = 6,
    Answer_No = 7,
};

inline constexpr const char* Application_Title = "Zentrel";

class Ui_Host {
public:
    virtual ~Ui_Host() = default;

    // The application-wide pointer; setting the shape it has is no change.
    virtual void Set_Pointer(Pointer_Shape shape) = 0;
    // Lets the window handle its pending events (input, paint) once. May be
    // called very often: an implementation may skip calls that come sooner
    // than a screen refresh after the last one it served.
    virtual void Process_Events() = 0;
    // True for a host without a window to keep painted: its Process_Events
    // only notes requests and writes a line now and then, so long work may
    // call it between its own pieces on this thread instead of running on
    // a thread of its own beside the event turns.
    virtual bool Has_No_Window() const { return false; }
    // Brings the program's window to the front.
    virtual void Activate_Application() = 0;
    // Shows a modal box with prompt, buttons value and title, returns the
    // answer code. title is never empty here.
    virtual int Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) = 0;
};

}  // namespace zentrel::support
