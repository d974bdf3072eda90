#include "cli/command_line.h"

namespace zentrel::cli {

using settings::Job_Settings;

namespace {

struct Check_Flag {
    const char* name;  // without "--" and without "no-"
    settings::Option_Box box;
};

constexpr Check_Flag Check_Flags[] = {
    {"subfolders", &Job_Settings::Include_Subfolders}, {"empty-folders", &Job_Settings::Copy_Empty_Folders},
    {"hidden", &Job_Settings::Copy_HiddenFiles},       {"system", &Job_Settings::Copy_SysFiles},
    {"only-newer", &Job_Settings::Only_newer},         {"archive-only", &Job_Settings::Only_Archive},
    {"reset-archive", &Job_Settings::Reset_Archive},   {"sync", &Job_Settings::Synchronize},
};

struct Text_Option {
    const char* name;
    Text_Setting field;
};

constexpr Text_Option Text_Options[] = {
    {"source", &Job_Settings::Sourcefolder},    {"target", &Job_Settings::Targetfolder},
    {"include", &Job_Settings::Include_Filter}, {"exclude", &Job_Settings::Exclude_Filter},
    {"newer-than", &Job_Settings::Later_Then},
};

}  // namespace

std::optional<Command_Line> Parse_Command_Line(int argc, char** argv, std::string& error) {
    Command_Line line;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!argument.starts_with("--")) {
            error = "unerwartetes Argument '" + argument + "'";
            return std::nullopt;
        }
        std::string name = argument.substr(2);
        std::optional<std::string> value;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        // The value of an option that takes one: after "=" or as the next argument.
        auto take_value = [&]() -> bool {
            if (value) return true;
            if (i + 1 >= argc) {
                error = "--" + name + " braucht einen Wert";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto no_value = [&]() -> bool {
            if (value) error = "--" + name + " nimmt keinen Wert";
            return !value;
        };

        bool known = false;
        for (const Text_Option& option : Text_Options) {
            if (name != option.name) continue;
            if (!take_value()) return std::nullopt;
            line.texts.emplace_back(option.field, *value);
            known = true;
        }
        for (const Check_Flag& flag : Check_Flags) {
            const bool set = name == flag.name;
            if (!set && name != std::string("no-") + flag.name) continue;
            if (!no_value()) return std::nullopt;
            line.checks.emplace_back(flag.box, set ? 1 : 0);
            known = true;
        }
        if (known) continue;

        if (name == "no-newer-than") {
            if (!no_value()) return std::nullopt;
            line.texts.emplace_back(&Job_Settings::Later_Then, "");
        } else if (name == "on-error") {
            if (!take_value()) return std::nullopt;
            if (*value == "ignore")
                line.on_error = On_Error::Ignore;
            else if (*value == "abort")
                line.on_error = On_Error::Abort;
            else {
                error = "--on-error kennt nur ignore und abort, nicht '" + *value + "'";
                return std::nullopt;
            }
        } else if (name == "run" || name == "dry-run" || name == "create-target" || name == "even-if-full" ||
                   name == "help" || name == "version") {
            if (!no_value()) return std::nullopt;
            if (name == "dry-run") line.dry_run = true;
            if (name == "create-target") line.create_target = true;
            if (name == "even-if-full") line.even_if_full = true;
            if (name == "help") line.help = true;
            if (name == "version") line.version = true;
        } else {
            error = "unbekannte Option '" + argument + "'";
            return std::nullopt;
        }
    }
    return line;
}

const char* Usage_Text() {
    return "Aufruf: zentrel --run [OPTIONEN]\n"
           "       zentrel            (öffnet das Fenster)\n"
           "Führt den gespeicherten Auftrag des Fensters ohne Fenster aus: Quell- und\n"
           "Zielverzeichnis, Filter und Optionen so, wie das Fenster sie beim Start liest.\n"
           "Die Optionen ändern einzelne Werte nur für diesen Lauf; gespeichert wird nichts.\n"
           "\n"
           "  --source VERZ          Quellverzeichnis\n"
           "  --target VERZ          Zielverzeichnis\n"
           "  --include MUSTER       nur Dateien, deren Name passt (z. B. \"*.doc;*.txt\")\n"
           "  --exclude MUSTER       Dateien, deren Name passt, auslassen\n"
           "  --subfolders           Unterverzeichnisse einschließen\n"
           "  --empty-folders        leere Verzeichnisse mitkopieren\n"
           "  --hidden               versteckte Dateien kopieren\n"
           "  --system               Systemdateien kopieren\n"
           "  --only-newer           nur neuere Dateien kopieren\n"
           "  --archive-only         nur Dateien mit Archivbit\n"
           "  --reset-archive        Archivbit zurücksetzen\n"
           "  --sync                 Verzeichnisse synchronisieren (in beide Richtungen)\n"
           "  --no-subfolders, --no-empty-folders, ... --no-sync\n"
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
           "  --dry-run              nur auswerten und die Dateien, die kopiert würden,\n"
           "                         zeilenweise ausgeben; nichts wird geschrieben\n"
           "  --help                 diese Hilfe\n"
           "  --version              Versionsnummer\n"
           "\n"
           "Fortschritt und Meldungen gehen auf die Standardfehlerausgabe. SIGINT oder\n"
           "SIGTERM beenden den Lauf nach der Datei, die gerade kopiert wird.\n"
           "\n"
           "Rückgabewert: 0 alles erledigt; 1 Lauf beendet, aber mit Fehlern;\n"
           "2 Auftrag abgelehnt (Verzeichnisse, Optionen, Ziel in Benutzung, Datenträger\n"
           "nicht eingehängt, zu wenig Platz);\n"
           "130 durch ein Signal abgebrochen.\n";
}

}  // namespace zentrel::cli
