// The German texts of the copy's and the walk's failures, as the message
// boxes and the error list show them, and of the file under way.
#include "engine/copy_job.h"
#include "engine/job_display.h"
#include "engine/job_events.h"

namespace zentrel::engine {

namespace {

const char* const Not_Copied_Text = "Konnte Datei nicht kopieren: ";

std::string with_detail(std::string text, const std::string& detail) {
    if (!detail.empty()) text += "\r\n" + detail;
    return text;
}

std::string name_of(const std::string& path) { return path.substr(path.find_last_of(support::Separator) + 1); }

std::string unfinished(const std::string& reason) {
    return "Das Verzeichnis konnte nicht vollständig verarbeitet werden: " + reason;
}

}  // namespace

std::string Copy_Failure_Text(const Copy_Failure& Failure) {
    const std::string& path = Failure.path;
    switch (Failure.trouble) {
        case Copy_Trouble::Source_Missing:
            return "Quelldatei existiert nicht";
        case Copy_Trouble::Source_Unreachable:
        case Copy_Trouble::Not_Copied:
        case Copy_Trouble::Target_Full:
            return with_detail(Not_Copied_Text + path, Failure.detail);
        case Copy_Trouble::Folder_Not_Made:
            return with_detail("Konnte Zielverzeichnis nicht erstellen: " + Failure.target, Failure.detail);
        case Copy_Trouble::Leftover_Not_Removed:
            return "Konnte Temporärdatei nicht löschen: " + Failure.target;
        case Copy_Trouble::Target_Not_Parked:
            return "Konnte Zieldatei nicht überschreiben: " + Failure.target;
        case Copy_Trouble::Target_Not_Restored:
            return "Konnte Datei nicht zurückschreiben: \r\n" + support::Filepath(Failure.target, false) +
                   support::Separator + Temporary_Name + "\r\nauf: " + Failure.target;
        case Copy_Trouble::Case_Collision:
            return Not_Copied_Text + path +
                   "\r\nDas Ziel unterscheidet Groß- und Kleinschreibung nicht: der Name fällt dort mit \"" +
                   name_of(Failure.target) + "\" zusammen, die schon dorthin kopiert wird";
        case Copy_Trouble::Parked_Version_Kept:
            return "Eine ältere Version unter dem Namen \"" + std::string(Temporary_Name) +
                   "\", die nicht diese Ausführung dort abgelegt hat: sie bleibt erhalten";
        case Copy_Trouble::Not_Trashed:
            return with_detail("Konnte Datei nicht in den Papierkorb verschieben: " + path, Failure.detail);
        case Copy_Trouble::Deleted_There_Changed_Here:
            return "Konflikt: auf der anderen Seite gelöscht, hier geändert; die Datei bleibt und wird wieder auf "
                   "beide Seiten gebracht";
        case Copy_Trouble::Conflict_Kept:
            return "Konflikt: auf beiden Seiten seit der letzten Synchronisation geändert; die neuere Fassung "
                   "behält den Namen, die ältere liegt auf beiden Seiten als \"" +
                   Failure.target + "\"";
        case Copy_Trouble::Conflict_Not_Kept:
            return with_detail("Konflikt: auf beiden Seiten geändert, und die ältere Fassung " + Failure.target +
                                   " konnte nicht umbenannt werden; beide bleiben, wie sie sind",
                               Failure.detail);
        case Copy_Trouble::Folder_Unreadable:
            return unfinished("seine Dateien konnten nicht gelesen werden");
        case Copy_Trouble::Folder_Gone:
            return unfinished("es ist verschwunden oder wurde durch eine Verknüpfung ersetzt");
        case Copy_Trouble::Folder_Failed:
            return unfinished((Failure.detail.empty() ? std::string("Unbekannter Fehler") : Failure.detail) +
                              " (Zeile: " + std::to_string(Failure.step) + ")");
    }
    return Failure.detail;
}

std::string Error_Entry_Text(const Copy_Failure& Failure) {
    if (Failure.trouble == Copy_Trouble::Source_Missing && Failure.path.empty()) return "Quelldatei existiert nicht";
    return Failure.path;
}

std::string Folder_Failure_Text(const Folder_Failure& Failure) {
    const std::string heading = "Fehler bei der Verarbeitung von Verzeichnis:\r\n" + Failure.path + "\r\n";
    switch (Failure.trouble) {
        case Folder_Trouble::Walk_Failed:
            return heading + (Failure.detail.empty() ? std::string("Unbekannter Fehler") : Failure.detail) +
                   "\r\nZeile: " + std::to_string(Failure.step);
        case Folder_Trouble::Listing_Failed:
            return heading + Failure.detail;
        case Folder_Trouble::Not_There:
            return "Quellverzeichnis existiert nicht...";
    }
    return heading + Failure.detail;
}

std::string File_Status_Text(Phase phase, const std::string& path) {
    switch (phase) {
        case Phase::Copying:
            return "kopiere " + path;
        case Phase::Skipping:
            return "überspringe " + path;
        case Phase::Evaluating:
            break;
    }
    return path;
}

std::string Sync_Record_Unused_Text(const std::string& Why) {
    return "Die Aufzeichnung der letzten Synchronisation war nicht zu gebrauchen; synchronisiert wurde ohne sie "
           "(neuere Dateien ersetzen ältere, gelöschte kommen zurück):\r\n" +
           Why;
}

std::string Archive_Bits_Text(long Count, const std::string& Reason) {
    return "Bei " + std::to_string(Count) + " kopierten Dateien konnte das Archivbit nicht zurückgesetzt werden\r\n" +
           Reason +
           "\r\nIhr Archivbit bleibt gesetzt. Die nächste Ausführung kopiert sie nur, wenn sie sich bis dahin ändern "
           "oder ihre Kopie im Ziel fehlt oder abweicht.";
}

}  // namespace zentrel::engine
