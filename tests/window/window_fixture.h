// A real main window on the offscreen platform with scripted message boxes,
// a private registry, German regional rules and recorded dialogs and browser
// starts.
#pragma once

#include "common/scripted_ui_host.h"
#include "common/temp_folder.h"
#include "window/main_window.h"

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zentrel::testing {

class Window_Test : public ::testing::Test {
protected:
    Window_Test() {
        ::setenv("ZENTREL_REGISTRY_DIR", registry.path().c_str(), 1);
        host.on_events = [] { QCoreApplication::processEvents(); };
    }

    std::unique_ptr<window::Main_Window> make_window(platform::File_System* fs = nullptr) {
        window::Window_Setup setup;
        setup.host = &host;
        setup.file_system = fs;
        setup.regional = platform::Regional_Settings::german();
        setup.folder_dialog = [this](const std::string& title, const std::string& start) {
            dialog_titles.push_back(title);
            dialog_starts.push_back(start);
            std::string answer = dialog_answers.empty() ? std::string() : dialog_answers.front();
            if (!dialog_answers.empty()) dialog_answers.pop_front();
            return answer;
        };
        setup.save_dialog = [this](const std::string& title) {
            dialog_titles.push_back(title);
            return save_answer;
        };
        setup.notice = [this](const std::string& summary, const std::string& body) {
            notices.emplace_back(summary, body);
        };
        setup.notice_after = notice_after;
        setup.screen_height = screen_height;
        setup.browser_start = [this](const std::string& command_line, const std::string& address) {
            browser_starts.emplace_back(command_line, address);
        };
        return std::make_unique<window::Main_Window>(std::move(setup));
    }

    template <class Widget = QWidget>
    static Widget* widget(window::Main_Window& w, window::Control control) {
        auto* result = qobject_cast<Widget*>(w.control(control));
        EXPECT_NE(result, nullptr) << window::Control_Name(control);
        return result;
    }

    Temp_Folder registry;
    Scripted_Ui_Host host;
    std::vector<std::string> dialog_titles;
    std::deque<std::string> dialog_answers;
    std::vector<std::string> dialog_starts;
    std::string save_answer;
    std::vector<std::pair<std::string, std::string>> notices;
    std::chrono::milliseconds notice_after{5000};
    std::optional<int> screen_height;
    std::vector<std::pair<std::string, std::string>> browser_starts;
};

}  // namespace zentrel::testing
