// Controls that live in memory only: the headless backend for tests and the command line.
#pragma once

#include "platform/controls.h"

#include <atomic>
#include <mutex>

namespace tavrin::platform {

class MemoryTextControl final : public TextControl
{
public:
    explicit MemoryTextControl(Text initial = {})
        : value_(std::move(initial))
    {}
    [[nodiscard]] Text text() const override
    {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void setText(Text value) override
    {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    Text value_;
};

class MemoryCheckControl final : public CheckControl
{
public:
    explicit MemoryCheckControl(bool checked = false)
        : checked_(checked)
    {}
    [[nodiscard]] bool isChecked() const override { return checked_.load(); }
    void setChecked(bool checked) override { checked_.store(checked); }

private:
    std::atomic<bool> checked_;
};

class MemoryProgressControl final : public ProgressControl
{
public:
    [[nodiscard]] int position() const override { return position_.load(); }
    void setPosition(int position) override { position_.store(position); }

private:
    std::atomic<int> position_{0};
};

} // namespace tavrin::platform
