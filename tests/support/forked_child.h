// A child process forked to run one short job, which reports back through a pipe.
//
// For what a test cannot do to itself: be killed in the middle of a save, run with a file-size
// limit, or enter namespaces of its own. The child only runs the job, writes its report and
// leaves with _exit, so forking from the multithreaded test process stays safe: no thread is
// started in the child and no exit handler of the parent runs twice.
//
// Windows cannot fork: there the child never starts, and a test that needs one skips with
// kNoForkReason (a test whose job already reports "skip\n…" gets that report from wait()).
#pragma once

#include <functional>
#include <string>

#ifdef _WIN32

namespace tavrin::testing_support {

inline constexpr const char* kNoForkReason =
    "Windows cannot fork the test process (a child that is killed, limited or in namespaces of its own)";

class ForkedChild
{
public:
    static constexpr bool kAvailable = false;

    struct Ending
    {
        bool killed = false;
        int exitCode = -1;
        std::string report;
    };

    explicit ForkedChild(const std::function<std::string()>& /*job*/) {}
    [[nodiscard]] bool started() const { return false; }
    void kill() const {}
    Ending wait() { return Ending{false, 0, std::string("skip\n") + kNoForkReason}; }
};

// The file-size limit of a forked child: nothing to limit where no child is forked.
inline std::string limitFileSize(long /*bytes*/)
{
    return kNoForkReason;
}

} // namespace tavrin::testing_support

#else

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrin::testing_support {

inline constexpr const char* kNoForkReason = "";

class ForkedChild
{
public:
    static constexpr bool kAvailable = true;

    struct Ending
    {
        // Ended by SIGKILL (from kill()) rather than by finishing its job.
        bool killed = false;
        // The exit code when it finished, else -1.
        int exitCode = -1;
        // What the job returned, as far as the child got to write it.
        std::string report;
    };

    explicit ForkedChild(const std::function<std::string()>& job)
    {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ends[0]);
            const std::string report = job();
            std::size_t written = 0;
            while (written < report.size()) {
                const ssize_t step = ::write(ends[1], report.data() + written, report.size() - written);
                if (step <= 0 && errno != EINTR)
                    ::_exit(3);
                if (step > 0)
                    written += static_cast<std::size_t>(step);
            }
            ::_exit(0);
        }
        ::close(ends[1]);
        if (pid_ < 0) {
            ::close(ends[0]);
            return;
        }
        reportEnd_ = ends[0];
    }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;
    // A child still running when the test ends (a failed assertion) is killed and reaped.
    ~ForkedChild()
    {
        if (pid_ > 0) {
            kill();
            wait();
        }
        if (reportEnd_ >= 0)
            ::close(reportEnd_);
    }

    [[nodiscard]] bool started() const { return pid_ > 0; }
    void kill() const
    {
        if (pid_ > 0)
            ::kill(pid_, SIGKILL);
    }
    // Reads the report to its end and reaps the child.
    Ending wait()
    {
        Ending ending;
        if (pid_ <= 0)
            return ending;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(reportEnd_, buffer, sizeof buffer);
            if (got > 0)
                ending.report.append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                break;
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        ending.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ending.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return ending;
    }

private:
    pid_t pid_ = -1;
    int reportEnd_ = -1;
};

// In a forked child: a write that would make a file larger than `bytes` fails (with "File too
// large") instead of ending the process, as a full disk fails it. Empty when set, else why not.
inline std::string limitFileSize(long bytes)
{
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return "cannot limit the file size";
    // Without this the first write past the limit would end the child instead of failing.
    ::signal(SIGXFSZ, SIG_IGN);
    return {};
}

} // namespace tavrin::testing_support

#endif
