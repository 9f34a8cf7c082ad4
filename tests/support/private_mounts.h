// Small or read-only file systems that only a forked child of the test sees: for full disks and
// read-only folders without touching the machine's own.
//
// Windows has no mount namespaces: there every function answers why not, and the test skips.
#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32

namespace tavrin::testing_support {

inline constexpr const char* kNoPrivateMounts =
    "Windows has no private mounts (a small or read-only file system)";

inline std::string enterPrivateMounts()
{
    return kNoPrivateMounts;
}

inline std::string mountPrivateTmpfs(const std::filesystem::path& /*mountPoint*/,
                                     const char* /*size*/ = "256k")
{
    return kNoPrivateMounts;
}

inline std::string remountReadOnly(const std::filesystem::path& /*mountPoint*/)
{
    return kNoPrivateMounts;
}

} // namespace tavrin::testing_support

#else

#include <cerrno>
#include <cstring>
#include <fstream>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace tavrin::testing_support {

// Gives the calling process (a forked child: it must have a single thread) a user and mount
// namespace of its own, in which it may mount small or read-only file systems that nobody else
// sees. Empty when it worked, else why not.
inline std::string enterPrivateMounts()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
        // Files made inside need an owner that maps back to us.
        const auto put = [](const char* file, const std::string& line) {
            std::ofstream out(file);
            out << line;
            out.flush();
            return static_cast<bool>(out);
        };
        put("/proc/self/setgroups", "deny");
        if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return "cannot map the user into a user namespace";
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return std::string("no user or mount namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + std::strerror(errno);
    return {};
}

// In a forked child: a file system of `size` (tmpfs syntax; 256 KiB unless told) at `mountPoint`
// that only the child sees. Empty when it is mounted, else why not.
inline std::string mountPrivateTmpfs(const std::filesystem::path& mountPoint, const char* size = "256k")
{
    if (std::string why = enterPrivateMounts(); !why.empty())
        return why;
    if (::mount("tavrin-test", mountPoint.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) != 0)
        return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return {};
}

// In a forked child, after mountPrivateTmpfs: the file system at `mountPoint` becomes
// read-only. Empty when it is, else why not.
inline std::string remountReadOnly(const std::filesystem::path& mountPoint)
{
    if (::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return std::string("cannot remount read-only: ") + std::strerror(errno);
    return {};
}

} // namespace tavrin::testing_support

#endif
