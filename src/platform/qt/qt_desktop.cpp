#include "platform/qt/qt_desktop.h"

#include "platform/qt/qt_text.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QUrl>

namespace tavrin::platform {

namespace {

QMessageBox::Icon iconOf(int flags)
{
    switch (flags & 0xF0) {
    case box::kIconError:
        return QMessageBox::Critical;
    case box::kIconQuestion:
        return QMessageBox::Question;
    case box::kIconWarning:
        return QMessageBox::Warning;
    case box::kIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

std::filesystem::path toPath(const QString& fileName)
{
    // File names are not GBK texts (qt_text.h).
    return pathFromQString(fileName);
}

} // namespace

QString qtFileFilter(const Text& filter)
{
    const QStringList parts = toQString(filter).split(QLatin1Char('|'));
    if (parts.size() < 2)
        return parts.join(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype at = 0; at + 1 < parts.size(); at += 2)
        entries << parts[at] + QLatin1String(" (") + parts[at + 1] + QLatin1Char(')');
    return entries.join(QLatin1String(";;"));
}

BoxAnswer QtDialogs::messageBox(const Text& message, const Text& title, int flags)
{
    // Without a parent the box is modal to the whole application, like a task-modal box.
    QWidget* const parent = (flags & box::kTaskModal) ? nullptr : owner_.data();
    QMessageBox box(iconOf(flags), toQString(title), toQString(message), QMessageBox::NoButton, parent);
    if ((flags & 0xF) == box::kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        const bool noFirst = (flags & 0xF00) == box::kDefaultSecond;
        box.setDefaultButton(noFirst ? QMessageBox::No : QMessageBox::Yes);
        // Closing the box with Esc or its close button answers No.
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return BoxAnswer::Ok;
}

std::filesystem::path QtDialogs::openFileName(const Text& filter)
{
    return toPath(QFileDialog::getOpenFileName(owner_, {}, {}, qtFileFilter(filter)));
}

std::filesystem::path QtDialogs::saveFileName(const Text& filter)
{
    // Qt's save dialog asks before replacing an existing file.
    return toPath(QFileDialog::getSaveFileName(owner_, {}, {}, qtFileFilter(filter)));
}

std::optional<Text> QtDialogs::askText(const Text& title, const Text& prompt, const Text& initial)
{
    bool accepted = false;
    const QString answer = QInputDialog::getText(owner_, toQString(title), toQString(prompt),
                                                 QLineEdit::Normal, toQString(initial), &accepted);
    if (!accepted)
        return std::nullopt;
    return fromQString(answer);
}

void QtShell::openUrl(const Text& url)
{
    if (url.empty())
        return;
    QUrl target = QUrl::fromUserInput(toQString(url));
    if (target.isValid())
        QDesktopServices::openUrl(target);
}

QtTray::QtTray(const QIcon& icon, const std::function<void(int)>& onEvent, QObject* parent)
    : QObject(parent)
    , icon_(new QSystemTrayIcon(icon, this))
{
    connect(icon_, &QSystemTrayIcon::activated, this, [onEvent](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            onEvent(1);
            break;
        case QSystemTrayIcon::DoubleClick:
            onEvent(2);
            break;
        case QSystemTrayIcon::Context:
            onEvent(3);
            break;
        default:
            break;
        }
    });
}

bool QtTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::setIcon(bool visible, const Text& tooltip)
{
    icon_->setToolTip(visible ? toQString(text::leftBytes(tooltip, kTrayTipLimit)) : QString());
    icon_->setVisible(visible);
}

} // namespace tavrin::platform
