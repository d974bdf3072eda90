#include "cli/console_host.h"

#include "cli/interrupt.h"

#include <cstdio>

namespace zentrel::cli {

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

Console_Host::Console_Host(const Command_Line& line, Terminal_Display& display, engine::Run_State& state,
                           Progress_Line& progress, char decimal_separator)
    : line_(&line), display_(&display), state_(&state), progress_(&progress), decimal_(decimal_separator) {}

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

bool Console_Host::Create_Missing_Target(const std::string& Target) {
    if (Target.empty()) {
        Print("Fehler: ", "Kein Zielverzeichnis angegeben (--target VERZ, oder im Fenster wählen)");
        return false;
    }
    if (line_->create_target) return true;
    Print("Fehler: ", "Zielverzeichnis existiert nicht: " + Target + " (--create-target legt es an)");
    return false;
}

bool Console_Host::Run_Without_Enough_Space(const std::string& Target, double Needed, double Free) {
    const std::string sizes = "Im Zielverzeichnis " + Target +
                              " ist nicht genug Platz frei (benötigt: " + progress_->Bytes_Text(Needed) +
                              ", frei: " + progress_->Bytes_Text(Free) + ")";
    if (line_->even_if_full) {
        Print("Hinweis: ", sizes + ", der Lauf beginnt trotzdem (--even-if-full)");
        return true;
    }
    Print("Fehler: ", sizes + " (--even-if-full führt trotzdem aus)");
    return false;
}

engine::Full_Target_Answer Console_Host::Target_Full(const std::string& Target) {
    const bool stop = line_->on_error == On_Error::Abort;
    Print("Fehler: ", "Im Zielverzeichnis " + Target + " ist kein Platz mehr frei" +
                          (stop ? "; der Lauf endet (--on-error=abort)"
                                : "; was nicht mehr passt, kommt ohne weitere Meldung in die Fehlerliste"));
    return stop ? engine::Full_Target_Answer::Stop : engine::Full_Target_Answer::Go_On;
}

void Console_Host::Refused(engine::Refusal Why, const std::string& Detail) {
    const std::string text = engine::Refusal_Text(Why, Detail);
    if (!text.empty()) Print("Fehler: ", text);
}

engine::Failure_Answer Console_Host::Copy_Failed(const engine::Copy_Failure&) {
    return line_->on_error == On_Error::Abort ? engine::Failure_Answer::Abort : engine::Failure_Answer::Skip;
}

void Console_Host::Folder_Failed(const engine::Folder_Failure& Failure) {
    Print(Failure.trouble == engine::Folder_Trouble::Not_There ? "Fehler: " : "", engine::Folder_Failure_Text(Failure));
}

void Console_Host::Archive_Bits_Kept(long Count, const std::string& Reason) {
    Print("Hinweis: ", engine::Archive_Bits_Text(Count, Reason));
}

void Console_Host::Run_Failed(const std::string& Detail) { Print("Fehler: ", Detail); }

void Console_Host::Sync_Record_Unused(const std::string& Why) {
    Print("Hinweis: ", engine::Sync_Record_Unused_Text(Why));
}

int Console_Host::Show_Message_Box(const std::string& prompt, int buttons, const std::string&) {
    // The job asks and reports through its events; what comes here are the
    // settings' and the support routines' own boxes, which tell of a
    // failure before or during a run, and add a note after it.
    const bool failure = state_->Run_Under_Way || !state_->Outcome.began;
    Print(failure ? "Fehler: " : "Hinweis: ", prompt);
    switch (buttons & 7) {
        case support::Buttons_Abort_Retry_Ignore:
            return support::Answer_Abort;
        case support::Buttons_Retry_Cancel:
            return support::Answer_Cancel;
        case support::Buttons_Yes_No:
        case support::Buttons_Yes_No_Cancel:
            return support::Answer_No;
        default:
            return support::Answer_OK;
    }
}

}  // namespace zentrel::cli
