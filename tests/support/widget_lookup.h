// Finding the windows' controls and menu items the way a user does: by name and caption.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRect>
#include <QString>
#include <QTest>

namespace tavrin::testing_support {

// Captions are written in the tests as UTF-8 literals.
inline QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The caption a control shows: a group's title, or the text of a label, an edit or a button;
// empty for any other kind.
inline QString captionOf(QWidget* widget)
{
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        return box->title();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    return {};
}

// A layout table for a data-driven test: a control's object name, its geometry in its parent
// and its caption. Call addLayoutColumns() once, then addLayoutRow() per control.
inline void addLayoutColumns()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
}

inline void addLayoutRow(const char* name, QRect geometry, const char* caption)
{
    QTest::newRow(name) << u(name) << geometry << u(caption);
}

// The item `title` of the menu-bar menu `menu`, or of any menu when `menu` is null; null when
// there is none.
inline QAction* findMenuItem(QMenuBar* bar, const char* menu, const char* title)
{
    for (QAction* top : bar->actions()) {
        if (menu && top->text() != u(menu))
            continue;
        for (QAction* action : top->menu()->actions()) {
            if (action->text() == u(title))
                return action;
        }
    }
    return nullptr;
}

} // namespace tavrin::testing_support
