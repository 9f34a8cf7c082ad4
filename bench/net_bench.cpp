// Figures for the HTTP layer against a local server (127.0.0.1 only):
//   - throughput: T threads x N timedFetch calls (default 50 x 200), requests per second,
//     next to curl's own parallel mode (`curl --parallel --parallel-max T`) over the same URLs,
//     alternately, three rounds each;
//   - memory: peak resident memory of this process while T threads each fetch a 1 MiB
//     response at the same time.
// The server runs in a child process, so its threads and buffers are counted in neither the
// client's time nor its memory.
// Usage: tavrin_net_bench [threads] [requests-per-thread]   (default 50 200)
#include "net/network_init.h"
#include "net/timed_fetch.h"

#include <httplib.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargeBody = 1u << 20;
constexpr int kRounds = 3;

// cpp-httplib listens with a backlog of 5; dozens of simultaneous connects need more.
class BenchServer : public httplib::Server
{
public:
    void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

// Runs the server in a child process until the parent closes the pipe; returns its port.
int startServer(pid_t& child)
{
    int portPipe[2];
    int lifePipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(lifePipe) != 0)
        std::exit(1);
    child = ::fork();
    if (child == 0) {
        ::close(portPipe[0]);
        ::close(lifePipe[1]);
        static const std::string large(kLargeBody, 'm');
        BenchServer server;
        server.new_task_queue = [] { return new httplib::ThreadPool(160); };
        server.set_keep_alive_max_count(1000000);
        server.set_keep_alive_timeout(30);
        // Header and body go out in separate writes; without this, Nagle's algorithm and the
        // client's delayed acknowledgement add 40 ms to every response.
        server.set_tcp_nodelay(true);
        server.Get("/small", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>site information for example.com</body></html>", "text/html");
        });
        server.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(large.size(), "text/html",
                                     [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                         return sink.write(large.data() + offset,
                                                           std::min<std::size_t>(length, 65536));
                                     });
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        server.widenBacklog();
        std::thread listener([&] { server.listen_after_bind(); });
        (void)!::write(portPipe[1], &port, sizeof port);
        char byte;
        while (::read(lifePipe[0], &byte, 1) > 0) {
        }
        server.stop();
        listener.join();
        std::_Exit(0);
    }
    ::close(portPipe[1]);
    ::close(lifePipe[0]);
    int port = 0;
    if (::read(portPipe[0], &port, sizeof port) != sizeof port || port <= 0)
        std::exit(1);
    // lifePipe[1] stays open until this process ends; the child then stops too.
    return port;
}

long residentKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

struct Round
{
    double seconds = 0;
    int failures = 0;
};

Round timedFetchRound(const std::vector<std::string>& urls, int threads)
{
    const int perThread = static_cast<int>(urls.size()) / threads;
    std::atomic<int> failures{0};
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                tavrin::text::Text header;
                const std::string body = tavrin::net::timedFetch(
                    urls[static_cast<std::size_t>(t * perThread + i)], {}, {}, {}, {}, {}, {}, 0, &header);
                if (header.empty() || body.empty())
                    ++failures;
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    return {std::chrono::duration<double>(Clock::now() - start).count(), failures.load()};
}

Round curlRound(const std::string& configFile, int threads)
{
    const std::string parallel = std::to_string(threads);
    const char* argv[] = {"curl",     "--parallel", "--parallel-max", parallel.c_str(),   "--noproxy", "*",
                          "--silent", "--fail",     "--config",       configFile.c_str(), nullptr};
    // The parallel progress meter would flood the figures; failures show in the exit status.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned =
        ::posix_spawnp(&pid, "curl", &quiet, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return {0, -1};
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds, WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1};
}

} // namespace

int main(int argc, char** argv)
{
    const int threads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int perThread = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

    // The server is forked before this process starts any thread (libcurl's included).
    pid_t child = 0;
    const int port = startServer(child);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    tavrin::net::initNetwork();

    std::vector<std::string> urls;
    for (int i = 0; i < threads * perThread; ++i)
        urls.push_back(base + "/small?row=" + std::to_string(i));
    char configTemplate[] = "/tmp/tavrin-net-bench-XXXXXX";
    const int configFd = ::mkstemp(configTemplate);
    {
        std::ofstream config(configTemplate);
        for (const auto& url : urls)
            config << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    ::close(configFd);

    std::printf("Throughput: %d threads x %d requests = %zu requests to %s\n", threads, perThread,
                urls.size(), base.c_str());
    (void)timedFetchRound(std::vector<std::string>(urls.begin(), urls.begin() + threads), threads); // warm-up
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int round = 1; round <= kRounds; ++round) {
        const Round a = timedFetchRound(urls, threads);
        const Round b = curlRound(configTemplate, threads);
        ours.push_back(static_cast<double>(urls.size()) / a.seconds);
        theirs.push_back(b.failures < 0 ? 0 : static_cast<double>(urls.size()) / b.seconds);
        std::printf("  round %d: timedFetch %8.0f req/s (%.2f s, %d failed)   curl --parallel %8.0f req/s "
                    "(%.2f s%s)\n",
                    round, ours.back(), a.seconds, a.failures, theirs.back(), b.seconds,
                    b.failures < 0 ? ", FAILED" : "");
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    std::printf("  median:  timedFetch %8.0f req/s   curl --parallel %8.0f req/s   ratio %.2f\n",
                ours[kRounds / 2], theirs[kRounds / 2],
                theirs[kRounds / 2] > 0 ? ours[kRounds / 2] / theirs[kRounds / 2] : 0.0);
    ::unlink(configTemplate);

    // Memory: reset the high-water mark, then every thread fetches a 1 MiB body at once and
    // holds it until all have theirs.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = residentKiB("VmRSS:");
    std::barrier start(threads);
    std::barrier holding(threads);
    std::atomic<int> complete{0};
    std::vector<std::thread> workers;
    const auto memoryStart = Clock::now();
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            start.arrive_and_wait();
            const std::string body = tavrin::net::timedFetch(base + "/large");
            if (body.size() == kLargeBody)
                ++complete;
            holding.arrive_and_wait();
        });
    }
    for (auto& worker : workers)
        worker.join();
    const double memorySeconds = std::chrono::duration<double>(Clock::now() - memoryStart).count();
    const long peak = residentKiB("VmHWM:");
    std::printf("Memory: %d concurrent 1 MiB responses (%d complete, %.2f s): peak resident %.1f MB "
                "(%.1f MB before, %.1f MB of responses held)\n",
                threads, complete.load(), memorySeconds, static_cast<double>(peak) / 1024.0,
                static_cast<double>(before) / 1024.0,
                threads * static_cast<double>(kLargeBody) / (1024.0 * 1024.0));

    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    return 0;
}
