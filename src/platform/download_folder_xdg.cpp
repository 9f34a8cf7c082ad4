#include "platform/download_folder.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavrin::platform {

namespace {

// xdg-user-dir is a small shell script; one that has not answered by then is not going to.
constexpr std::chrono::seconds kCommandTimeLimit{5};
// A path is far shorter; more is no answer.
constexpr std::size_t kMostAnswerBytes = 4096;

class OwnedFd
{
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd)
        : fd_(fd)
    {}
    ~OwnedFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_ = -1;
};

class SpawnActions
{
public:
    SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions()
    {
        if (ok_)
            ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

// Reads what the child writes until it closes its end, the answer grows too long or the time is
// up; false in the last two cases.
bool readAnswer(int fd, std::string& answer)
{
    const auto deadline = std::chrono::steady_clock::now() + kCommandTimeLimit;
    char buffer[512];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        answer.append(buffer, static_cast<std::size_t>(got));
        if (answer.size() > kMostAnswerBytes)
            return false;
    }
}

// The first line `command DOWNLOAD` prints, when it runs and exits with 0.
std::optional<std::string> askUserDirCommand(const std::string& command)
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    const OwnedFd readEnd(ends[0]);
    std::optional<OwnedFd> writeEnd(std::in_place, ends[1]);

    SpawnActions actions;
    if (!actions.ok() ||
        ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd->get(), 1) != 0 ||
        ::posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0) != 0)
        return std::nullopt;
    std::string program = command;
    std::string which = "DOWNLOAD";
    char* argv[] = {program.data(), which.data(), nullptr};
    pid_t child = -1;
    // A missing command is an error here: posix_spawnp reports a failed exec.
    if (::posix_spawnp(&child, program.c_str(), actions.get(), nullptr, argv, environ) != 0)
        return std::nullopt;
    // Only the child holds the write end now, so the read below ends when the child does.
    writeEnd.reset();

    std::string answer;
    const bool answered = readAnswer(readEnd.get(), answer);
    if (!answered)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return answer.substr(0, answer.find('\n'));
}

} // namespace

std::filesystem::path userDownloadFolder(const std::string& userDirCommand, const char* home)
{
    std::filesystem::path folder;
    if (const std::optional<std::string> answer = askUserDirCommand(userDirCommand)) {
        const std::filesystem::path named(*answer);
        if (named.is_absolute())
            folder = named;
    }
    if (folder.empty() && home && *home)
        folder = std::filesystem::path(home) / "Downloads";
    if (folder.empty())
        return {};
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error))
        return {};
    return folder;
}

std::filesystem::path userDownloadFolder()
{
    return userDownloadFolder("xdg-user-dir", std::getenv("HOME"));
}

bool mayWriteInFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    // access() asks the kernel with this process's own rights, a read-only mount included.
    return std::filesystem::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace tavrin::platform
