#include "settings/settings_report.h"

#include <sys/stat.h>

#include <cstring>

namespace zentrel::settings {

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

const char* what_stands_there(std::uint32_t mode) {
    if (S_ISDIR(mode)) return "ein Ordner";
    if (S_ISFIFO(mode)) return "eine Pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "ein Gerät";
    if (S_ISSOCK(mode)) return "ein Socket";
    return "keine gewöhnliche Datei";
}

// Stored texts can be anything; a message shows the start of one line.
std::string shortened(const std::string& text) {
    std::string out = text.substr(0, text.find_first_of("\r\n"));
    if (out.size() > 60) out = out.substr(0, 60) + "...";
    return out;
}

}  // namespace

std::string Load_Report_Text(const Load_Report& report, bool saved_at_close) {
    std::string text;
    const std::string file = quoted(report.file);
    const std::string replaced = saved_at_close ? " Beim Schließen wird sie neu geschrieben; die beschädigte Fassung "
                                                  "bleibt als " +
                                                      quoted(report.damaged_copy) + " erhalten."
                                                : " Die Datei bleibt unverändert.";
    switch (report.state) {
        case Store_State::Sound:
        case Store_State::Missing:
            break;
        case Store_State::Damaged:
            text = "Die Einstellungsdatei " + file + " ist beschädigt" +
                   (report.first_damaged_line ? " (ab Zeile " + std::to_string(report.first_damaged_line) + ")" : "") +
                   ". " +
                   (report.kept.empty() ? std::string("Übernommen wurde keine Einstellung.")
                                        : "Übernommen wurden: " + joined(report.kept) + ".") +
                   replaced;
            break;
        case Store_State::Too_Large:
            text = "Die Einstellungsdatei " + file + " ist mit " + std::to_string(report.size) +
                   " Bytes zu groß und wird nicht gelesen; übernommen wurde keine Einstellung." + replaced;
            break;
        case Store_State::Not_A_File:
            text = "An der Stelle der Einstellungsdatei " + file + " steht " + what_stands_there(report.mode) +
                   "; es wurden keine Einstellungen geladen" +
                   (saved_at_close ? " und beim Schließen kann keine gespeichert werden." : ".");
            break;
        case Store_State::Unreadable:
            text = "Die Einstellungsdatei " + file + " kann nicht gelesen werden (" +
                   std::strerror(report.error_number) + "); es wurden keine Einstellungen geladen" +
                   (saved_at_close ? " und beim Schließen kann keine gespeichert werden." : ".");
            break;
    }
    for (const Refused_Value& refused : report.refused) {
        if (!text.empty()) text += '\n';
        if (refused.reason == Refused_Value::Reason::Too_Long)
            text += "Der gespeicherte Wert " + quoted(refused.name) + " ist mit " + std::to_string(refused.size) +
                    " Bytes zu lang (höchstens " + std::to_string(Longest_Setting) + ") und wird nicht übernommen" +
                    (saved_at_close ? "; beim Schließen tritt der Inhalt des Felds an seine Stelle." : ".");
        else
            text += "Der gespeicherte Wert " + quoted(refused.name) + " (" + quoted(shortened(refused.text)) +
                    ") ist kein Datum" + (saved_at_close ? "; das Datumsfeld bleibt leer." : ".");
    }
    return text;
}

std::string Save_Report_Text(const Save_Report& report) {
    std::string text;
    if (report.code != 0)
        text =
            "Die Einstellungen konnten nicht in " + quoted(report.file) + " gespeichert werden (" +
            (report.error_number ? std::strerror(report.error_number) : "Rückgabewert " + std::to_string(report.code)) +
            ").";
    if (!report.not_written.empty())
        text += std::string(text.empty() ? "" : "\n") + "Nicht gespeichert, weil länger als " +
                std::to_string(Longest_Setting) + " Bytes: " + joined(report.not_written) + ".";
    return text;
}

std::string No_Stored_Job_Text(const Load_Report& report, bool source_missing, bool target_missing) {
    const char* missing = source_missing && target_missing ? "Keine gespeicherte Aufgabe (weder Quell- noch "
                                                             "Zielverzeichnis)"
                          : source_missing                 ? "Kein Quellverzeichnis gespeichert"
                                                           : "Kein Zielverzeichnis gespeichert";
    std::string where;
    switch (report.state) {
        case Store_State::Missing:
            where = ", die es nicht gibt";
            break;
        case Store_State::Not_A_File:
        case Store_State::Unreadable:
        case Store_State::Too_Large:
            where = ", die nicht gelesen werden konnte";
            break;
        default:
            break;
    }
    return std::string(missing) + " in der Einstellungsdatei " + quoted(report.file) + where +
           "; mit --source und --target lässt sich die Aufgabe angeben.";
}

}  // namespace zentrel::settings
