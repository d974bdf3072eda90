// SIGINT, SIGTERM and SIGHUP ask the run to stop after the file in progress, as the
// window's cancel button does. SIGPIPE is ignored: a write to a reader
// that has gone away fails and is reported.
#pragma once

namespace zentrel::cli {

// From now on the first of them only sets the flag; a second one
// ends the program at once (a copy in progress never leaves a partial file).
void Catch_Interrupts();
bool Interrupted();

}  // namespace zentrel::cli
