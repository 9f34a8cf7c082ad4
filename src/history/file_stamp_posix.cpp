#include "history/file_stamp.h"

#include <sys/stat.h>

namespace tavrin::history {

std::string fileStampLine(const std::filesystem::path& file)
{
    struct stat about
    {
    };
    if (::stat(file.c_str(), &about) != 0)
        return "-\n";
    return std::to_string(about.st_dev) + " " + std::to_string(about.st_ino) + " " +
           std::to_string(about.st_size) + " " + std::to_string(about.st_mtim.tv_sec) + "." +
           std::to_string(about.st_mtim.tv_nsec) + "\n";
}

} // namespace tavrin::history
