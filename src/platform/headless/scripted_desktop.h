// A desktop without a screen: dialogs answered from a script, and a record of everything the
// program showed or opened. Tests use it to drive the logic and check what the user would see.
#pragma once

#include "platform/desktop.h"

#include <deque>
#include <filesystem>
#include <mutex>
#include <vector>

namespace tavrin::platform {

class ScriptedDialogs final : public Dialogs
{
public:
    struct ShownBox
    {
        Text message;
        Text title;
        int flags = 0;
    };

    // Answers for the coming message boxes, in order; with none queued a box answers No (or
    // Ok for boxes without a choice).
    void queueAnswer(BoxAnswer answer);
    // File names for the coming file dialogs, in order; with none queued a dialog is cancelled.
    void queueFileName(std::filesystem::path name);
    // Answers for askText; std::nullopt means cancelled, and with none queued it is cancelled.
    void queueText(std::optional<Text> answer);

    BoxAnswer messageBox(const Text& message, const Text& title, int flags) override;
    [[nodiscard]] std::filesystem::path openFileName(const Text& filter) override;
    [[nodiscard]] std::filesystem::path saveFileName(const Text& filter) override;
    [[nodiscard]] std::optional<Text> askText(const Text& title, const Text& prompt,
                                              const Text& initial) override;

    [[nodiscard]] std::vector<ShownBox> shownBoxes() const;
    [[nodiscard]] std::vector<Text> fileFilters() const;

private:
    std::filesystem::path nextFileName(const Text& filter);

    mutable std::mutex mutex_;
    std::deque<BoxAnswer> answers_;
    std::deque<std::filesystem::path> fileNames_;
    std::deque<std::optional<Text>> texts_;
    std::vector<ShownBox> shown_;
    std::vector<Text> filters_;
};

class RecordingShell final : public Shell
{
public:
    void openUrl(const Text& url) override;
    [[nodiscard]] std::vector<Text> opened() const;

private:
    mutable std::mutex mutex_;
    std::vector<Text> opened_;
};

class MemoryTray final : public Tray
{
public:
    explicit MemoryTray(bool available = true)
        : available_(available)
    {}
    [[nodiscard]] bool isAvailable() const override { return available_; }
    void setIcon(bool visible, const Text& tooltip) override;
    [[nodiscard]] bool visible() const;
    [[nodiscard]] Text tooltip() const;

private:
    bool available_;
    mutable std::mutex mutex_;
    bool visible_ = false;
    Text tooltip_;
};

} // namespace tavrin::platform
