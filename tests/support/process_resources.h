// What this process holds right now, read from /proc/self: its threads, its sockets and its
// resident memory. For tests that check that work leaves nothing behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tavrin::testing_support {

[[nodiscard]] inline int threadCount()
{
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

// Open descriptors that are sockets (their link reads "socket:[inode]").
[[nodiscard]] inline int socketCount()
{
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code linkError;
        // The descriptor of the directory listing itself may be gone by the time it is read.
        const std::string target = std::filesystem::read_symlink(it->path(), linkError).string();
        if (!linkError && target.starts_with("socket:"))
            ++count;
    }
    return count;
}

// The descriptors of this process's IPv4 sockets connected to port `port` of their peer.
[[nodiscard]] inline std::vector<int> socketsConnectedTo(int port)
{
    std::vector<int> found;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int fd = std::stoi(name);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == port)
            found.push_back(fd);
    }
    return found;
}

// VmRSS in KiB; 0 when it cannot be read.
[[nodiscard]] inline long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    }
    return 0;
}

// Threads finish and sockets close a little after the work that used them has returned: asks
// `count` again until it is at most `wanted` or `patience` has passed, and gives the last answer.
[[nodiscard]] inline int settledAtMost(const std::function<int()>& count, int wanted,
                                       std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    int now = count();
    while (now > wanted && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = count();
    }
    return now;
}

} // namespace tavrin::testing_support
