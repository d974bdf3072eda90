#include "cli/console_host.h"

#include "cli/interrupt.h"

#include <cstdio>

namespace zentrel::cli {

namespace {

constexpr const char* Create_Question = "Zielverzeichnis existiert nicht - soll es neu angelegt werden?";
constexpr const char* Ignore_All_Question = "Alle weiteren Fehler ignorieren?";
constexpr const char* Missing_Folder = "Quellverzeichnis existiert nicht...";
constexpr const char* Folder_Failure = "Fehler bei der Verarbeitung von Verzeichnis:";

}  // namespace

std::string One_Line(const std::string& text) {
    std::string line;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' || text[at] == '\n') {
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
            if (!line.empty() && at + 1 < text.size()) line += line.back() == ':' ? " " : ": ";
        } else {
            line += text[at];
        }
    }
    return line;
}

Console_Host::Console_Host(const Command_Line& line, const engine::Job_Options& options, Terminal_Display& display,
                           engine::Run_State& state, Progress_Line& progress)
    : line_(&line), options_(&options), display_(&display), state_(&state), progress_(&progress) {}

void Console_Host::Process_Events() {
    // The flag stays set: an evaluation that clears the run's request
    // before it starts gets it again at its first turn.
    if (Interrupted()) state_->Cancel_Requested = true;
    progress_->Update(*state_, *display_);
}

void Console_Host::Print(const std::string& kind, const std::string& prompt) {
    progress_->Clear();
    std::fprintf(stderr, "%s%s\n", kind.c_str(), One_Line(prompt).c_str());
    std::fflush(stderr);
}

int Console_Host::Show_Message_Box(const std::string& prompt, int buttons, const std::string&) {
    using namespace support;
    const int button_set = buttons & 7;
    if (prompt == Create_Question) {
        if (line_->create_target) return Answer_Yes;
        Print("Fehler: ",
              "Zielverzeichnis existiert nicht: " + options_->Targetfolder() + " (--create-target legt es an)");
        return Answer_No;
    }
    if (button_set == Buttons_Abort_Retry_Ignore && !(buttons & Icon_Stop)) {
        return line_->on_error == On_Error::Abort ? Answer_Abort : Answer_Ignore;
    }
    if (prompt == Ignore_All_Question) {
        // No: then every later failure comes with its own prompt, and so
        // with its reason. The run goes on either way.
        return Answer_No;
    }

    if (prompt == Missing_Folder) folder_missing_ = true;
    if (buttons & Icon_Stop) failed_unexpectedly_ = true;
    const bool failure = (buttons & Icon_Stop) || !display_->Run_Began() || prompt.starts_with(Folder_Failure);
    if (display_->Run_Began()) problems_ = true;
    Print(!failure ? "Hinweis: " : prompt.starts_with("Fehler") ? "" : "Fehler: ", prompt);
    switch (button_set) {
        case Buttons_Abort_Retry_Ignore:
            return Answer_Abort;
        case Buttons_Yes_No:
            return Answer_No;
        case Buttons_Retry_Cancel:
            return Answer_Cancel;
        default:
            return Answer_OK;
    }
}

}  // namespace zentrel::cli
