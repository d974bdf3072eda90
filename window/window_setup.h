// What a caller may put in place of the window's own services: tests answer
// message boxes from a script, inject a failing file system and replace the
// dialogs and the browser start that would leave the test.
#pragma once

#include "platform/file_system.h"
#include "platform/regional.h"
#include "support/ui_host.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace zentrel::window {

// Shows a folder dialog with the title, opened at start; the chosen
// folder's path, or the empty text when the user cancels.
using Folder_Dialog = std::function<std::string(const std::string& title, const std::string& start)>;
// Asks for the file to save to, with the title; empty on cancel.
using Save_Dialog = std::function<std::string(const std::string& title)>;

// Starts the browser: command_line when one is registered (the address is
// already appended to it), otherwise, with an empty command_line, the
// desktop's default browser for address.
using Browser_Start = std::function<void(const std::string& command_line, const std::string& address)>;

// Shows a desktop notice with a summary and a body.
using Desktop_Notice = std::function<void(const std::string& summary, const std::string& body)>;

struct Window_Setup {
    support::Ui_Host* host = nullptr;                     // default: the window's own boxes and pointer
    platform::File_System* file_system = nullptr;         // default: the real one
    std::optional<platform::Regional_Settings> regional;  // default: the user's
    Folder_Dialog folder_dialog;                          // default: the Qt folder dialog at the desktop
    Save_Dialog save_dialog;                              // default: the Qt file dialog for the error list
    Desktop_Notice notice;                                // default: freedesktop Notifications over D-Bus
    // A run at least this long that ends while the window is not active
    // is told by a desktop notice.
    std::chrono::milliseconds notice_after{5000};
    std::optional<int> screen_height;  // default: the available height of the window's screen
    Browser_Start browser_start;       // default: the process start or the desktop's browser
};

}  // namespace zentrel::window
