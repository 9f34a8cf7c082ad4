// How the program's windows look: fonts, colours, the icon, the list view's settings.
#pragma once

#include <QFont>
#include <QIcon>

class QTableView;
class QWidget;

namespace tavrin::app {

// The default GUI font: 9-point 宋体, or the closest installed CJK font.
[[nodiscard]] QFont defaultGuiFont();
// 新宋体 9 pt, the group boxes' font.
[[nodiscard]] QFont groupFont();
// 宋体 9 pt, the version label's font.
[[nodiscard]] QFont versionFont();
// 宋体 10.5 pt (14 pixels high at 96 dpi), regular or bold: the auto-start dialog's font.
[[nodiscard]] QFont autoStartFont(bool bold);
// The program's own icon (program_icon.h), at the sizes a desktop shows it.
[[nodiscard]] QIcon programIcon();
// A report-style list: single full-row selection kept without focus, grid lines, clickable and
// movable column headers, tooltips, black on white, uniform row heights for long lists.
void setUpListView(QTableView* view);
// Themed drawing of buttons, edit boxes and frames in the olive colour scheme, whose frame
// colour is RGB (164, 185, 127).
void applyXpStyle(QWidget* window);
// Moves a top-level window so that its outer frame is centred on its screen. Before the window
// is first shown its frame is not known yet; `outerSize` stands in for it then.
void centreWindowOnScreen(QWidget* window, QSize outerSize);

} // namespace tavrin::app
