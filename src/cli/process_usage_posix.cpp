#include "cli/process_usage.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tavrin::cli {

namespace {

long numberAfter(const std::string& line, std::string_view key)
{
    try {
        return std::stol(line.substr(key.size()));
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

ProcessUsage readProcessUsage()
{
    ProcessUsage usage;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            usage.residentKiB = numberAfter(line, "VmRSS:");
        else if (line.starts_with("VmHWM:"))
            usage.peakResidentKiB = numberAfter(line, "VmHWM:");
        else if (line.starts_with("Threads:"))
            usage.threads = static_cast<int>(numberAfter(line, "Threads:"));
    }
    status.close();

    std::error_code error;
    int entries = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++entries;
    // The listing holds a descriptor of its own while it runs.
    usage.openFiles = entries > 0 ? entries - 1 : 0;
    return usage;
}

} // namespace tavrin::cli
