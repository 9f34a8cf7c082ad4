#include "platform/xdg_auto_start.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace tavrin::platform {
namespace {

using testing_support::TempDir;

// Sets (or, with nullptr, unsets) an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value)
        : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        set(value);
    }
    ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value)
    {
        if (value)
            ::setenv(name_, value, 1);
        else
            ::unsetenv(name_);
    }

    const char* name_;
    std::optional<std::string> old_;
};

std::string entryText(const std::string& exec)
{
    return "[Desktop Entry]\nType=Application\nName=qvmt_link.exe\nExec=" + exec + "\n";
}

TEST(XdgAutoStartList, FolderFollowsXdgConfigHome)
{
    TempDir dir;
    const ScopedEnv home("HOME", dir.path().c_str());
    const auto fallback = dir / ".config" / "autostart";
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(XdgAutoStartList::userFolder(), std::filesystem::path("/srv/config/autostart"));
    }
    // Unset, empty and relative values all mean the default.
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        SCOPED_TRACE(value ? value : "(unset)");
        const ScopedEnv config("XDG_CONFIG_HOME", value);
        EXPECT_EQ(XdgAutoStartList::userFolder(), fallback);
    }
}

TEST(XdgAutoStartList, WritingReplacesAndDeletingTwiceFindsNothing)
{
    TempDir dir;
    const ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    const std::unique_ptr<AutoStartList> list = currentUserAutoStartList();
    const auto entry = dir / "autostart" / "qvmt_link.exe.desktop";

    // The folder does not exist yet: writing creates it.
    EXPECT_EQ(list->add("/opt/tools/run.exe"), "");
    EXPECT_EQ(TempDir::read(entry), entryText("/opt/tools/run.exe"));

    EXPECT_EQ(list->add("/opt/My Tools/新 版.exe"), "");
    EXPECT_EQ(TempDir::read(entry), entryText("\"/opt/My Tools/新 版.exe\""));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "autostart"), {}), 1);

    EXPECT_EQ(list->remove(), AutoStartRemoval::Removed);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(list->remove(), AutoStartRemoval::NotFound);
}

TEST(XdgAutoStartList, FailedWritesAreReportedAndChangeNothing)
{
    TempDir dir;
    // Permission bits do not stop root, so the folders are made unusable by a file in the way.
    const auto blocker = dir.write("blocker", "x");
    std::filesystem::create_directories(dir / "taken" / "qvmt_link.exe.desktop");
    const struct
    {
        const char* name;
        std::filesystem::path folder;
        std::string program;
    } cases[] = {
        {"empty path", dir / "fresh", ""},
        {"folder is a file", blocker, "/opt/run.exe"},
        {"folder below a file", blocker / "autostart", "/opt/run.exe"},
        {"entry is a folder", dir / "taken", "/opt/run.exe"},
        {"not UTF-8", dir / "fresh", "/opt/\xff.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XdgAutoStartList list(c.folder);
        EXPECT_NE(list.add(c.program), "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "fresh"));
    EXPECT_EQ(TempDir::read(blocker), "x");

    EXPECT_EQ(XdgAutoStartList(blocker).remove(), AutoStartRemoval::NotFound);
    EXPECT_EQ(XdgAutoStartList(dir / "taken").remove(), AutoStartRemoval::Failed);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken" / "qvmt_link.exe.desktop"));
}

// What /bin/sh makes of one argument: its double-quote rules are the ones desktop entries use.
std::string shellWord(const std::string& argument)
{
    const std::string command = "printf '%s' " + argument;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return "(popen failed)";
    std::string out;
    char buffer[256];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    ::pclose(pipe);
    return out;
}

// Undoes the string escapes of a desktop-entry value and the "%%" field code.
std::string unescapeValue(const std::string& value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 1 < value.size() && value[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next == 's' ? ' ' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

TEST(DesktopExecValue, QuotesEscapesAndRoundTripsThroughAShell)
{
    const struct
    {
        std::string program;
        std::string exec;
    } cases[] = {
        {"/usr/bin/tool", "/usr/bin/tool"},
        {"/opt/中文/工具.exe", "/opt/中文/工具.exe"},
        {"/opt/100%/run", "/opt/100%%/run"},
        {"/opt/my tools/run.exe", "\"/opt/my tools/run.exe\""},
        {"/opt/a$HOME", "\"/opt/a\\\\$HOME\""},
        {"/opt/say \"hi\"", "\"/opt/say \\\\\"hi\\\\\"\""},
        {"/opt/`id`;x", "\"/opt/\\\\`id\\\\`;x\""},
        {"C:\\Tools\\run.exe", "\"C:\\\\\\\\Tools\\\\\\\\run.exe\""},
        {"/opt/it's (1) & <2> | ~*?#", "\"/opt/it's (1) & <2> | ~*?#\""},
        {"/opt/tab\there\nline", "\"/opt/tab\\there\\nline\""},
        {"/opt/50% off/x", "\"/opt/50%% off/x\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const std::optional<std::string> exec = desktopExecValue(c.program);
        ASSERT_TRUE(exec.has_value());
        EXPECT_EQ(*exec, c.exec);
        EXPECT_EQ(shellWord(unescapeValue(*exec)), c.program);
    }
    for (const char* unusable : {"", "/opt/\xc3", "/opt/a\x01z", "/opt/\x7f"})
        EXPECT_EQ(desktopExecValue(unusable), std::nullopt) << unusable;
}

} // namespace
} // namespace tavrin::platform
