// Start-up of the desktop program.
#pragma once

namespace tavrin::app {

// Runs the program: the main window until it is closed for good. Returns the exit code.
int run(int argc, char** argv);

} // namespace tavrin::app
