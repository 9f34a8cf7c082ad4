#include "app/window_look.h"

#include "app/program_icon.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QWidget>

namespace tavrin::app {

namespace {

constexpr int kFontPoints = 9;
constexpr int kListRowHeight = 17;

QFont fontOf(const QStringList& families, qreal points = kFontPoints)
{
    QFont font;
    // Fallbacks for desktops without the Windows fonts: the CJK fonts that Linux distributions ship.
    QStringList all = families;
    all << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("WenQuanYi Zen Hei")
        << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Droid Sans Fallback");
    font.setFamilies(all);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

QFont defaultGuiFont()
{
    return fontOf({QStringLiteral("SimSun"), QString::fromUtf8("宋体")});
}

QFont groupFont()
{
    return fontOf({QStringLiteral("NSimSun"), QString::fromUtf8("新宋体"), QStringLiteral("SimSun"),
                   QString::fromUtf8("宋体")});
}

QFont versionFont()
{
    return fontOf({QStringLiteral("SimSun"), QString::fromUtf8("宋体")});
}

QFont autoStartFont(bool bold)
{
    QFont font = fontOf({QStringLiteral("SimSun"), QString::fromUtf8("宋体")}, 10.5);
    font.setBold(bold);
    return font;
}

QIcon programIcon()
{
    // Drawn at each size a desktop asks for, rather than scaled down from one large picture.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 128})
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

void setUpListView(QTableView* view)
{
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->verticalHeader()->hide();
    // Fixed row heights keep scrolling and insertion cheap with 100,000 rows.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The minimum first: the font's default minimum would otherwise clamp the default size.
    view->verticalHeader()->setMinimumSectionSize(kListRowHeight);
    view->verticalHeader()->setDefaultSectionSize(kListRowHeight);
    QHeaderView* header = view->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setFixedHeight(kListRowHeight + 3);

    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    // The selection stays visible when the list loses the focus.
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(palette);
}

void applyXpStyle(QWidget* window)
{
    const QString sheet = QStringLiteral(
        "QPushButton { border: 1px solid rgb(164, 185, 127); border-radius: 3px; padding: 0px;"
        "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #E3E9CF); }"
        "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 "
        "#F1F5E4); }"
        "QPushButton:pressed { background: #D8E1BD; }"
        "QLineEdit { border: 1px solid rgb(164, 185, 127); padding: 0px 1px; background: white; }"
        "QGroupBox { border: 1px solid #D0D0BF; border-radius: 3px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px;"
        "  padding: 0px 1px; color: rgb(0, 70, 213); }"
        "QProgressBar { border: 1px solid rgb(164, 185, 127); background: white; }"
        "QProgressBar::chunk { background: rgb(143, 176, 71); }");
    // Set on the themed controls one by one rather than on the window, so the list view keeps
    // the plain style's fast painting.
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QPushButton*>(child) ||
            qobject_cast<QLineEdit*>(child) || qobject_cast<QProgressBar*>(child))
            child->setStyleSheet(sheet);
    }
}

void centreWindowOnScreen(QWidget* window, QSize outerSize)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QSize frame = window->frameGeometry().size();
    const QSize outer = window->isVisible() && frame.width() > window->width() ? frame : outerSize;
    const QRect area = screen->geometry();
    window->move(area.left() + (area.width() - outer.width()) / 2,
                 area.top() + (area.height() - outer.height()) / 2);
}

} // namespace tavrin::app
