#include "cli/command_line.h"

#include <getopt.h>

#include <array>
#include <cstddef>
#include <iterator>

namespace zentrel::cli {

using engine::Job_Options;
using settings::Text_Settings;

namespace {

// Every switch zentrel-run sets: the window's boxes, then the stored
// switches no box shows.
constexpr auto Switches = [] {
    std::array<settings::Option_Box_Entry, std::size(settings::Option_Boxes) + std::size(settings::Other_Switches)>
        all{};
    std::size_t i = 0;
    for (const settings::Option_Box_Entry& box : settings::Option_Boxes) all[i++] = box;
    for (const settings::Option_Box_Entry& other : settings::Other_Switches) all[i++] = other;
    return all;
}();

// getopt_long's table: every option, "no-" forms included, with a code that
// leads back to what it sets.
enum Code : int {
    Help = 'h',
    Version = 'V',
    First_Long = 256,
    Run = First_Long,
    Dry_Run,
    Create_Target,
    Even_If_Full,
    Forget_Sync_Record,
    No_Newer_Than,
    On_Error_Code,
    First_Text,                                           // Text_Settings follow
    First_Check = First_Text + std::size(Text_Settings),  // then each of Switches, set
    First_Uncheck = First_Check + std::size(Switches),    // and cleared
};

std::vector<option> option_table(std::vector<std::string>& names) {
    names.clear();
    names.reserve(std::size(Switches));
    for (const settings::Option_Box_Entry& box : Switches) names.push_back(std::string("no-") + box.flag);
    std::vector<option> table = {
        {"help", no_argument, nullptr, Help},
        {"version", no_argument, nullptr, Version},
        {"run", no_argument, nullptr, Run},
        {"dry-run", no_argument, nullptr, Dry_Run},
        {"create-target", no_argument, nullptr, Create_Target},
        {"even-if-full", no_argument, nullptr, Even_If_Full},
        {"forget-sync-record", no_argument, nullptr, Forget_Sync_Record},
        {"no-newer-than", no_argument, nullptr, No_Newer_Than},
        {"on-error", required_argument, nullptr, On_Error_Code},
    };
    for (std::size_t i = 0; i < std::size(Text_Settings); ++i)
        table.push_back({Text_Settings[i].flag, required_argument, nullptr, static_cast<int>(First_Text + i)});
    for (std::size_t i = 0; i < std::size(Switches); ++i) {
        table.push_back({Switches[i].flag, no_argument, nullptr, static_cast<int>(First_Check + i)});
        table.push_back({names[i].c_str(), no_argument, nullptr, static_cast<int>(First_Uncheck + i)});
    }
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

}  // namespace

std::optional<Command_Line> Parse_Command_Line(int argc, char** argv, std::string& error) {
    Command_Line line;
    std::vector<std::string> names;
    const std::vector<option> table = option_table(names);
    // getopt_long keeps its place in globals: start afresh, and say nothing
    // of its own (the messages below are German and name the option once).
    optind = 0;
    opterr = 0;
    for (;;) {
        int index = -1;
        const int code = getopt_long(argc, argv, ":hV", table.data(), &index);
        if (code == -1) break;
        const std::string given = optind > 0 && optind <= argc ? argv[optind - 1] : "";
        if (code == '?') {
            // An unknown or ambiguous option; optopt holds a short one.
            error = optopt != 0 ? std::string("unbekannte Option '-") + static_cast<char>(optopt) + "'"
                                : "unbekannte oder mehrdeutige Option '" + given + "'";
            return std::nullopt;
        }
        if (code == ':') {
            error = "'" + given + "' braucht einen Wert";
            return std::nullopt;
        }
        switch (code) {
            case Help:
                line.help = true;
                continue;
            case Version:
                line.version = true;
                continue;
            case Run:
                continue;
            case Dry_Run:
                line.dry_run = true;
                continue;
            case Create_Target:
                line.create_target = true;
                continue;
            case Even_If_Full:
                line.even_if_full = true;
                continue;
            case Forget_Sync_Record:
                line.forget_sync_record = true;
                continue;
            case No_Newer_Than:
                line.texts.emplace_back(&Job_Options::Later_then, "");
                continue;
            case On_Error_Code: {
                const std::string value = optarg;
                if (value == "ignore") {
                    line.on_error = On_Error::Ignore;
                } else if (value == "abort") {
                    line.on_error = On_Error::Abort;
                } else {
                    error = "--on-error kennt nur ignore und abort, nicht '" + value + "'";
                    return std::nullopt;
                }
                continue;
            }
            default:
                break;
        }
        if (code >= First_Text && code < First_Check) {
            line.texts.emplace_back(Text_Settings[code - First_Text].member, optarg);
        } else if (code >= First_Check && code < First_Uncheck) {
            line.checks.emplace_back(Switches[code - First_Check].member, 1);
        } else if (code >= First_Uncheck && code < First_Uncheck + static_cast<int>(std::size(Switches))) {
            line.checks.emplace_back(Switches[code - First_Uncheck].member, 0);
        }
    }
    if (optind < argc) {
        error = std::string("unerwartetes Argument '") + argv[optind] + "'";
        return std::nullopt;
    }
    return line;
}

const char* Usage_Text() {
    return "Aufruf: zentrel --run [OPTIONEN]\n"
           "       zentrel [QUELLVERZEICHNIS]   (öffnet das Fenster, mit diesem Quellverzeichnis)\n"
           "Führt den gespeicherten Auftrag des Fensters ohne Fenster aus: Quell- und\n"
           "Zielverzeichnis, Filter und Optionen so, wie das Fenster sie beim Start liest.\n"
           "Die Optionen ändern einzelne Werte nur für diesen Lauf; gespeichert wird nichts.\n"
           "\n"
           "  --source VERZ          Quellverzeichnis\n"
           "  --target VERZ          Zielverzeichnis\n"
           "  --include MUSTER       nur Dateien, deren Name passt (z. B. \"*.doc;*.txt\")\n"
           "  --exclude MUSTER       Dateien, deren Name passt, auslassen; ein Muster mit\n"
           "                         \"/\" am Ende lässt Verzeichnisse dieses Namens aus\n"
           "                         (z. B. \".cache/;Downloads/\")\n"
           "  --subfolders           Unterverzeichnisse einschließen\n"
           "  --empty-folders        leere Verzeichnisse mitkopieren\n"
           "  --hidden               versteckte Dateien kopieren\n"
           "  --system               Systemdateien kopieren\n"
           "  --only-newer           nur neuere Dateien kopieren\n"
           "  --archive-only         nur Dateien mit Archivbit\n"
           "  --reset-archive        Archivbit zurücksetzen\n"
           "  --sync                 Verzeichnisse synchronisieren (in beide Richtungen)\n"
           "  --sync-deletions       beim Synchronisieren: eine seit der letzten\n"
           "                         Synchronisation auf einer Seite gelöschte Datei, die\n"
           "                         auf der anderen unverändert ist, dort in den\n"
           "                         Papierkorb verschieben (ohne: sie kommt zurück)\n"
           "  --no-subfolders, --no-empty-folders, ... --no-sync, --no-sync-deletions\n"
           "                         die jeweilige Option für diesen Lauf ausschalten\n"
           "  --newer-than DATUM     nur Dateien, die später als DATUM geändert wurden\n"
           "  --no-newer-than        ohne Datumsfilter\n"
           "  --create-target        ein fehlendes Zielverzeichnis anlegen\n"
           "                         (ohne diese Option ist es ein Fehler; nie auf einem\n"
           "                         leeren Einhängepunkt, dessen Datenträger fehlt)\n"
           "  --even-if-full         auch ausführen, wenn im Ziel weniger Platz frei ist,\n"
           "                         als die Dateien brauchen (ohne: Rückgabewert 2)\n"
           "  --on-error=ignore      bei Kopierfehlern weitermachen (Vorgabe)\n"
           "  --on-error=abort       beim ersten Kopierfehler aufhören, auch wenn das Ziel\n"
           "                         voll ist (sonst werden die übrigen Dateien aufgeführt)\n"
           "  --forget-sync-record   die Aufzeichnung der letzten Synchronisation der\n"
           "                         beiden Verzeichnisse vergessen; sonst nichts\n"
           "  --dry-run              nur auswerten und die Dateien, die kopiert würden,\n"
           "                         zeilenweise ausgeben, am Ende Anzahl und Bytes;\n"
           "                         nichts wird geschrieben\n"
           "  -h, --help             diese Hilfe\n"
           "  -V, --version          Versionsnummer\n"
           "\n"
           "Optionen dürfen eindeutig abgekürzt werden (--dry statt --dry-run).\n"
           "Fortschritt und Meldungen gehen auf die Standardfehlerausgabe. SIGINT, SIGTERM\n"
           "oder SIGHUP beenden den Lauf nach der Datei, die gerade kopiert wird.\n"
           "\n"
           "Rückgabewert: 0 alles erledigt; 1 Lauf beendet, aber mit Fehlern;\n"
           "2 Auftrag abgelehnt (Verzeichnisse, Optionen, Ziel in Benutzung, Datenträger\n"
           "nicht eingehängt, zu wenig Platz);\n"
           "130 durch ein Signal abgebrochen.\n";
}

}  // namespace zentrel::cli
