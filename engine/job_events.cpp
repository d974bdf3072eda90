#include "engine/job_events.h"

#include "engine/byte_display.h"
#include "support/support_routines.h"

namespace zentrel::engine {

namespace {

// "102,700 MBytes": a size as the window's byte counters show it.
std::string size_text(double bytes, const platform::Regional_Settings& regional) {
    const Byte_Display_Text shown = Byte_Display(bytes, Byte_Count_Kind::To_Copy, regional);
    return shown.value + " " + shown.unit.substr(0, shown.unit.find(' '));
}

}  // namespace

std::string Refusal_Text(Refusal Why, const std::string& Detail) {
    switch (Why) {
        case Refusal::Folder_Not_Absolute:
            return "Bitte Quell- und Zielverzeichnis mit vollständigem Pfad angeben (beginnend mit /)...";
        case Refusal::Source_Missing:
            return "Quellverzeichnis existiert nicht...";
        case Refusal::Source_Unreachable:
            return "Quellverzeichnis ist nicht erreichbar...\r\n" + Detail;
        case Refusal::Target_Unreachable:
            return "Zielverzeichnis ist nicht erreichbar...\r\n" + Detail;
        case Refusal::Same_Folders:
            return "Quell- und Zielverzeichnis sind identisch...";
        case Refusal::Nested_Folders:
            return "Quell- und Zielverzeichnis dürfen nicht ineinander liegen...";
        case Refusal::Target_Not_Made:
            return "Zielverzeichnis konnte nicht angelegt werden..." + (Detail.empty() ? "" : "\r\n" + Detail);
        case Refusal::Target_Not_Mounted:
            return "Der Datenträger des Zielverzeichnisses scheint nicht eingehängt zu sein:\r\n" + Detail +
                   " ist leer, dort ist nichts eingehängt - bitte den Datenträger anschließen und erneut starten...";
        case Refusal::Target_Device_Missing:
            return "Der Datenträger des Zielverzeichnisses scheint nicht eingehängt zu sein:\r\nbeim letzten Lauf lag "
                   "es auf dem unter " +
                   Detail +
                   " eingehängten Datenträger, der jetzt fehlt - bitte ihn anschließen und erneut starten, oder "
                   "das Zielverzeichnis von Hand anlegen...";
        case Refusal::Target_In_Use:
            return "Zielverzeichnis wird gerade von einer anderen Ausführung benutzt...";
        case Refusal::Source_In_Use:
            return "Quellverzeichnis wird gerade von einer anderen Ausführung benutzt...";
        case Refusal::Unexpected_Failure:
            return Detail;
        case Refusal::None:
        case Refusal::Target_Missing:
        case Refusal::Not_Enough_Space:
            break;
    }
    return {};
}

bool Message_Box_Events::Create_Missing_Target(const std::string&) {
    return support_->Message_Box("Zielverzeichnis existiert nicht - soll es neu angelegt werden?",
                                 support::Buttons_Yes_No) == support::Answer_Yes;
}

bool Message_Box_Events::Run_Without_Enough_Space(const std::string&, double Needed, double Free) {
    const platform::Regional_Settings& regional = support_->regional();
    return support_->Message_Box(
               "Im Zielverzeichnis ist nicht genug Platz frei (benötigt: " + size_text(Needed, regional) +
                   ", frei: " + size_text(Free, regional) + ") - Trotzdem ausführen?",
               support::Buttons_Yes_No) == support::Answer_Yes;
}

Full_Target_Answer Message_Box_Events::Target_Full(const std::string& Target) {
    const int answer =
        support_->Message_Box("Im Zielverzeichnis ist kein Platz mehr frei:\r\n" + Target +
                                  "\r\nAusführung abbrechen? (Nein: die übrigen Dateien werden ohne weitere "
                                  "Frage als Kopierfehler aufgeführt)",
                              support::Buttons_Yes_No);
    return answer == support::Answer_No ? Full_Target_Answer::Go_On : Full_Target_Answer::Stop;
}

void Message_Box_Events::Refused(Refusal Why, const std::string& Detail) {
    const std::string text = Refusal_Text(Why, Detail);
    if (text.empty()) return;
    // A failure with the system's description is told with the stop icon.
    const bool failure = Why == Refusal::Unexpected_Failure || (Why == Refusal::Target_Not_Made && !Detail.empty());
    const int icon = failure ? support::Icon_Stop : 0;
    support_->Message_Box(text, support::Buttons_OK + icon);
}

}  // namespace zentrel::engine

namespace zentrel::engine {

Failure_Answer Message_Box_Events::Copy_Failed(const Copy_Failure& Failure) {
    const int answer = support_->Message_Box(Copy_Failure_Text(Failure), support::Buttons_Abort_Retry_Ignore);
    if (answer == support::Answer_Retry && Failure.retry_allowed) return Failure_Answer::Retry;
    // Retry where it cannot help is an Ignore; a box closed without a
    // choice is an Abort, the safe reading.
    if (answer != support::Answer_Ignore && answer != support::Answer_Retry) return Failure_Answer::Abort;
    return support_->Message_Box("Alle weiteren Fehler ignorieren?", support::Buttons_Yes_No) == support::Answer_Yes
               ? Failure_Answer::Skip_All
               : Failure_Answer::Skip;
}

void Message_Box_Events::Folder_Failed(const Folder_Failure& Failure) {
    support_->Message_Box(Folder_Failure_Text(Failure), support::Buttons_OK);
}

void Message_Box_Events::Archive_Bits_Kept(long Count, const std::string& Reason) {
    support_->Message_Box(Archive_Bits_Text(Count, Reason), support::Buttons_OK);
}

void Message_Box_Events::Sync_Record_Unused(const std::string& Why) {
    support_->Message_Box(Sync_Record_Unused_Text(Why), support::Buttons_OK);
}

void Message_Box_Events::Run_Failed(const std::string& Detail) {
    support_->Message_Box(Detail, support::Buttons_OK + support::Icon_Stop);
}

}  // namespace zentrel::engine
