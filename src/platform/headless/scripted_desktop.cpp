#include "platform/headless/scripted_desktop.h"

namespace tavrin::platform {

void ScriptedDialogs::queueAnswer(BoxAnswer answer)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void ScriptedDialogs::queueFileName(std::filesystem::path name)
{
    std::lock_guard lock(mutex_);
    fileNames_.push_back(std::move(name));
}

void ScriptedDialogs::queueText(std::optional<Text> answer)
{
    std::lock_guard lock(mutex_);
    texts_.push_back(std::move(answer));
}

BoxAnswer ScriptedDialogs::messageBox(const Text& message, const Text& title, int flags)
{
    std::lock_guard lock(mutex_);
    shown_.push_back(ShownBox{message, title, flags});
    const bool hasChoice = (flags & 0xF) == box::kYesNo;
    if (answers_.empty())
        return hasChoice ? BoxAnswer::No : BoxAnswer::Ok;
    const BoxAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

std::filesystem::path ScriptedDialogs::nextFileName(const Text& filter)
{
    std::lock_guard lock(mutex_);
    filters_.push_back(filter);
    if (fileNames_.empty())
        return {};
    std::filesystem::path name = std::move(fileNames_.front());
    fileNames_.pop_front();
    return name;
}

std::filesystem::path ScriptedDialogs::openFileName(const Text& filter)
{
    return nextFileName(filter);
}

std::filesystem::path ScriptedDialogs::saveFileName(const Text& filter)
{
    return nextFileName(filter);
}

std::optional<Text> ScriptedDialogs::askText(const Text& /*title*/, const Text& /*prompt*/,
                                             const Text& /*initial*/)
{
    std::lock_guard lock(mutex_);
    if (texts_.empty())
        return std::nullopt;
    std::optional<Text> answer = std::move(texts_.front());
    texts_.pop_front();
    return answer;
}

std::vector<ScriptedDialogs::ShownBox> ScriptedDialogs::shownBoxes() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<Text> ScriptedDialogs::fileFilters() const
{
    std::lock_guard lock(mutex_);
    return filters_;
}

void RecordingShell::openUrl(const Text& url)
{
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
}

std::vector<Text> RecordingShell::opened() const
{
    std::lock_guard lock(mutex_);
    return opened_;
}

void MemoryTray::setIcon(bool visible, const Text& tooltip)
{
    std::lock_guard lock(mutex_);
    visible_ = visible;
    tooltip_ = visible ? text::leftBytes(tooltip, kTrayTipLimit) : Text{};
}

bool MemoryTray::visible() const
{
    std::lock_guard lock(mutex_);
    return visible_;
}

Text MemoryTray::tooltip() const
{
    std::lock_guard lock(mutex_);
    return tooltip_;
}

} // namespace tavrin::platform
