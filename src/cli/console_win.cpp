#include "cli/console.h"

#include "base/wide_text.h"

#include <memory>

#include <windows.h>

#include <shellapi.h>

namespace tavrin::cli {

namespace {

struct LocalMemoryDeleter
{
    void operator()(wchar_t** memory) const noexcept { ::LocalFree(memory); }
};

} // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    int count = 0;
    const std::unique_ptr<wchar_t*, LocalMemoryDeleter> wide(
        ::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!wide || count <= 0)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back(base::utf8FromWide(wide.get()[i]));
    return arguments;
}

ConsoleOutput::ConsoleOutput()
{
    // GetConsoleMode succeeds only for a console: a file, a pipe and NUL fail it.
    DWORD mode = 0;
    terminal_ = ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    if (!terminal_)
        return;
    const UINT previous = ::GetConsoleOutputCP();
    if (previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        previousCodePage_ = previous;
}

ConsoleOutput::~ConsoleOutput()
{
    // The code page belongs to the console, which outlives the program (cmd.exe goes on in it).
    if (previousCodePage_ != 0)
        ::SetConsoleOutputCP(previousCodePage_);
}

} // namespace tavrin::cli
