// The support routines every other layer uses: busy pointer, message boxes,
// error report, template filler, file-system look-ups and path helpers.
#pragma once

#include "platform/file_objects.h"
#include "platform/regional.h"
#include "support/ui_host.h"

#include <functional>
#include <optional>
#include <string>

namespace zentrel::support {

class Support_Routines {
public:
    Support_Routines(Ui_Host& host, platform::File_System& fs, platform::Regional_Settings regional);

    Ui_Host& host() const { return *host_; }
    platform::File_System& file_system() const { return *fs_; }
    const platform::File_System_Objects& File_System() const { return objects_; }
    const platform::Regional_Settings& regional() const { return regional_; }

    // Pointer shape, then pending events once.
    void Show_Busy(bool Busy);
    // Brings the program to the front, restores the normal pointer, asks.
    // An empty title shows the application's title.
    int Message_Box(const std::string& Prompt, int Buttons, const std::string& Title = "");
    // "Prozedurfehler in '<name>':" with the description, Abort/Retry/Ignore
    // with the stop icon, title "Quadrel Fehler..." (with "-Zeile: n" for a
    // line number other than 0).
    int Procedure_Error(const std::string& Procedure, const std::string& Description, int Line);
    // Fills "$n1", "$n2", "$n3" and "$cr", in that order.
    std::string LT3(const std::string& Template, const std::string& Value1, const std::string& Value2,
                    const std::string& Value3);

    // Look-ups: the object, or nothing; they never throw.
    std::optional<platform::Folder> Find_Folder(const std::string& Path) const;
    std::optional<platform::File> Find_File(const std::string& Path) const;
    // Creates a folder with all missing parents; true when it exists at the
    // end. Failures of the creation itself throw File_System_Error.
    bool Make_Folder(std::string Path);
    // An OK box with the application title; an empty text shows nothing.
    void Show_Message(const std::string& Text);

    // Runs work on a worker thread while this thread keeps handling the
    // window's events, and rethrows what work threw. Short work may run
    // inline: bytes tells how large the work is. Between the turns of
    // events, progress learns how many bytes the copies of work have written.
    // A host without a window gets the work on this thread, with progress
    // and the event turns after each piece the copies write.
    void Run_Keeping_Window_Alive(const std::function<void()>& work, std::uint64_t bytes,
                                  const std::function<void(std::uint64_t)>& progress = {});

private:
    void Run_Between_Event_Turns(const std::function<void()>& work, const std::function<void(std::uint64_t)>& progress);

    Ui_Host* host_;
    platform::File_System* fs_;
    platform::File_System_Objects objects_;
    platform::Regional_Settings regional_;
};

// The folder part of Path: up to its last separator, with one appended when
// Add_Backslash; empty when there is no separator.
std::string Filepath(const std::string& Path, bool Add_Backslash);
// Path with its trailing separator added (Remove false) or removed.
std::string Trailing_Backslash(const std::string& Path, bool Remove);
// A stored or typed number, "." read as the decimal comma; 0 for no number.
double Num_Value(const std::string& Value, const platform::Regional_Settings& regional);

inline constexpr char Separator = '/';

}  // namespace zentrel::support
