// The control interfaces over real Qt widgets.
//
// Loaders and workers call these from their own threads. Each control keeps the last value in a
// small cache under a lock, so a read gives back exactly the bytes written (or typed), and hands
// the widget update to the user-interface thread: a burst of writes from many threads results
// in one queued update that shows the latest value.
#pragma once

#include "platform/controls.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace tavrin::platform {

class QtTextControl final : public QObject, public TextControl
{
public:
    // `apply` shows a value on the widget; it runs on the user-interface thread only.
    QtTextControl(QWidget* widget, std::function<void(const Text&)> apply);

    static QtTextControl* forLineEdit(QLineEdit* edit);
    static QtTextControl* forButton(QAbstractButton* button);
    static QtTextControl* forLabel(QLabel* label);

    [[nodiscard]] Text text() const override;
    void setText(Text value) override;

    // The user changed the content; user-interface thread.
    void takeUserEdit(Text value);

private:
    void applyLatest();

    QPointer<QWidget> widget_;
    std::function<void(const Text&)> apply_;
    mutable std::mutex mutex_;
    Text value_;
    bool updatePosted_ = false;
};

class QtCheckControl final : public QObject, public CheckControl
{
public:
    explicit QtCheckControl(QCheckBox* box);
    [[nodiscard]] bool isChecked() const override { return checked_.load(); }
    void setChecked(bool checked) override;

private:
    QPointer<QCheckBox> box_;
    std::atomic<bool> checked_;
};

class QtProgressControl final : public QObject, public ProgressControl
{
public:
    explicit QtProgressControl(QProgressBar* bar);
    [[nodiscard]] int position() const override { return position_.load(); }
    void setPosition(int position) override;

private:
    QPointer<QProgressBar> bar_;
    std::atomic<int> position_{0};
    std::atomic<bool> updatePosted_{false};
};

} // namespace tavrin::platform
