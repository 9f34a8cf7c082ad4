#include "platform/qt/qt_controls.h"

#include "platform/qt/qt_text.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>

namespace tavrin::platform {

QtTextControl::QtTextControl(QWidget* widget, std::function<void(const Text&)> apply)
    : QObject(widget)
    , widget_(widget)
    , apply_(std::move(apply))
{}

QtTextControl* QtTextControl::forLineEdit(QLineEdit* edit)
{
    auto* control = new QtTextControl(edit, [edit](const Text& value) { edit->setText(toQString(value)); });
    control->value_ = fromQString(edit->text());
    QObject::connect(edit, &QLineEdit::textEdited, control,
                     [control](const QString& typed) { control->takeUserEdit(fromQString(typed)); });
    return control;
}

QtTextControl* QtTextControl::forButton(QAbstractButton* button)
{
    auto* control =
        new QtTextControl(button, [button](const Text& value) { button->setText(toQString(value)); });
    control->value_ = fromQString(button->text());
    return control;
}

QtTextControl* QtTextControl::forLabel(QLabel* label)
{
    auto* control =
        new QtTextControl(label, [label](const Text& value) { label->setText(toQString(value)); });
    control->value_ = fromQString(label->text());
    return control;
}

Text QtTextControl::text() const
{
    std::lock_guard lock(mutex_);
    return value_;
}

void QtTextControl::setText(Text value)
{
    {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        if (updatePosted_)
            return;
        updatePosted_ = true;
    }
    // Queued even on the user-interface thread, so a handler that writes the status line many
    // times repaints it once.
    QMetaObject::invokeMethod(
        this, [this] { applyLatest(); }, Qt::QueuedConnection);
}

void QtTextControl::takeUserEdit(Text value)
{
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
}

void QtTextControl::applyLatest()
{
    Text latest;
    {
        std::lock_guard lock(mutex_);
        updatePosted_ = false;
        latest = value_;
    }
    if (widget_)
        apply_(latest);
}

QtCheckControl::QtCheckControl(QCheckBox* box)
    : QObject(box)
    , box_(box)
    , checked_(box->isChecked())
{
    QObject::connect(box, &QCheckBox::toggled, this, [this](bool checked) { checked_.store(checked); });
}

void QtCheckControl::setChecked(bool checked)
{
    checked_.store(checked);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (box_)
                box_->setChecked(checked_.load());
        },
        Qt::QueuedConnection);
}

QtProgressControl::QtProgressControl(QProgressBar* bar)
    : QObject(bar)
    , bar_(bar)
    , position_(bar->value())
{}

void QtProgressControl::setPosition(int position)
{
    position_.store(std::clamp(position, 0, 100));
    if (updatePosted_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updatePosted_.store(false);
            if (bar_)
                bar_->setValue(position_.load());
        },
        Qt::QueuedConnection);
}

} // namespace tavrin::platform
