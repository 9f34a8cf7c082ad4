// What tavrin-cli's main() needs of the console it runs in: its arguments as UTF-8, whether its
// output is a terminal, and a terminal that shows the UTF-8 it prints (Chinese marks and
// messages). The command itself (cli::run) only ever sees UTF-8 text and std::ostream.
#pragma once

#include <string>
#include <vector>

namespace tavrin::cli {

// The program's arguments as UTF-8: on POSIX the bytes of argv as they are; on Windows the
// process's UTF-16 command line converted, because argv there is in the "ANSI" code page, which
// cannot hold every character of a path.
[[nodiscard]] std::vector<std::string> utf8Arguments(int argc, char** argv);

// Standard output for the time the object lives. When it is a console on Windows, the console
// shows UTF-8 (the code page it had comes back when the object goes); redirected output gets the
// bytes unchanged, as on POSIX.
class ConsoleOutput
{
public:
    ConsoleOutput();
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Whether standard output is a terminal (a console on Windows).
    [[nodiscard]] bool isTerminal() const { return terminal_; }

private:
    bool terminal_ = false;
    // The console's output code page before this object set it; 0 when it set none.
    unsigned int previousCodePage_ = 0;
};

} // namespace tavrin::cli
