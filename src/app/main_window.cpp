#include "app/main_window.h"

#include "app/window_look.h"
#include "build_config.h"
#include "library/list_sort.h"
#include "library/url_library.h"
#include "platform/qt/list_view_binding.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_text.h"
#include "submit/http_row_check.h"
#include "submit/submission_engine.h"
#include "text/messages.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTableView>
#include <QTimer>

namespace tavrin::app {

using platform::toQString;
namespace caption = msg::caption;

namespace {

// The client area below the menu bar. The window's outer size of 445 x 465 is that of a fixed
// frame with a caption and a menu bar on the classic desktop: 3-pixel borders, a 19-pixel caption
// and a 19-pixel menu bar, which leaves 439 x 421 for the controls.
constexpr int kClientWidth = 439;
constexpr int kClientHeight = 421;
constexpr int kOuterWidth = 445;
constexpr int kOuterHeight = 465;
constexpr int kTimerPeriodMs = 2000;

template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

} // namespace

MainWindow::MainWindow(std::filesystem::path programDir, DesktopServices desktop)
    : programDir_(std::move(programDir))
    , ownDialogs_(desktop.dialogs ? nullptr : std::make_unique<platform::QtDialogs>(this))
    , ownShell_(desktop.shell ? nullptr : std::make_unique<platform::QtShell>())
    , dialogs_(desktop.dialogs ? desktop.dialogs : ownDialogs_.get())
    , shell_(desktop.shell ? desktop.shell : ownShell_.get())
    , tray_(desktop.tray)
    , updateUrl_(desktop.updateUrl ? *desktop.updateUrl : text::Text(build::kUpdateUrl))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(toQString(msg::kProgramTitle));
    setWindowIcon(programIcon());
    // A fixed frame with minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    if (!tray_)
        tray_ = new platform::QtTray(
            programIcon(), [this](int operation) { onTrayEvent(operation); }, this);

    buildControls();
    buildMenus();
    setFixedSize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);

    library_ = std::make_unique<library::UrlLibrary>(library::LibraryControls{list_, *siteAddress_, *addBox_,
                                                                              *statusLine_, *onlySuccess_,
                                                                              *dialogs_, *shell_},
                                                     state_);
    engine_ = std::make_unique<submit::SubmissionEngine>(
        submit::SubmitControls{list_, *submitButton_, *threadCountBox_, *loopSubmit_, *statusLine_,
                               *progress_},
        state_, desktop.rowCheck ? std::move(desktop.rowCheck) : submit::httpRowCheck());
    engine_->setPrepareRows([this] { return library_->syncSiteHost(); });
    bindHandlers();
    onMainCreated();
}

MainWindow::~MainWindow()
{
    // Workers and loaders write to the controls and the list: stop them first, then detach the
    // view from the store before either goes away.
    engine_.reset();
    library_.reset();
    delete listBinding_;
}

void MainWindow::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    分组框3 = place(new QGroupBox(toQString(caption::kGroupLibrary), client), "分组框3", 8, 3, 426, 45);
    分组框3->setFont(groupFont());
    标签1 = place(new QLabel(toQString(caption::kAddressLabel), 分组框3), "标签1", 8, 13, 96, 24);
    编辑框1 = place(new QLineEdit(QStringLiteral("http://") + QString::fromUtf8(build::kMakerHost), 分组框3),
                    "编辑框1", 48, 15, 190, 20);
    编辑框1->setMouseTracking(true);
    按钮2 = place(new QPushButton(toQString(caption::kImport), 分组框3), "按钮2", 257, 15, 60, 20);
    按钮1 = place(new QPushButton(toQString(caption::kStartSubmit), 分组框3), "按钮1", 329, 15, 60, 20);

    分组框2 = place(new QGroupBox(toQString(caption::kGroupList), client), "分组框2", 6, 51, 426, 221);
    分组框2->setFont(groupFont());
    // Placed on the window, not inside the group box: it only lies over it.
    超级列表框1 = place(new QTableView(client), "超级列表框1", 16, 69, 404, 192);

    分组框1 = place(new QGroupBox(toQString(caption::kGroupSettings), client), "分组框1", 7, 275, 427, 101);
    分组框1->setFont(groupFont());
    选择框2 = place(new QCheckBox(toQString(caption::kLoopSubmit), 分组框1), "选择框2", 12, 18, 96, 16);
    选择框1 = place(new QCheckBox(toQString(caption::kOnlySuccess), 分组框1), "选择框1", 12, 41, 96, 16);
    透明标签1 = place(new QLabel(toQString(caption::kThreadsLabel), 分组框1), "透明标签1", 119, 16, 48, 16);
    编辑框3 = place(new QLineEdit(toQString(caption::kDefaultThreads), 分组框1), "编辑框3", 168, 15, 24, 16);
    编辑框3->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), 编辑框3));
    按钮3 = place(new QPushButton(toQString(caption::kSave), 分组框1), "按钮3", 136, 40, 60, 20);
    标签2 = place(new QLabel(toQString(caption::kAddLabel), 分组框1), "标签2", 14, 64, 80, 24);
    编辑框2 = place(new QLineEdit(分组框1), "编辑框2", 94, 67, 190, 20);
    按钮4 = place(new QPushButton(toQString(caption::kAdd), 分组框1), "按钮4", 291, 67, 60, 20);
    分组框4 = place(new QGroupBox(toQString(caption::kGroupVersion), 分组框1), "分组框4", 285, 9, 134, 42);
    标签3 = place(new QLabel(分组框4), "标签3", 4, 13, 120, 24);
    标签3->setFont(versionFont());
    标签3->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));

    // Belongs to the window although it lies over the settings group.
    按钮5 = place(new QPushButton(toQString(caption::kCheckUpdate), client), "按钮5", 365, 342, 60, 20);
    透明标签2 = place(new QLabel(toQString(msg::kStatusInitial), client), "透明标签2", 8, 378, 424, 16);
    进度条1 = place(new QProgressBar(client), "进度条1", 1, 396, 433, 14);
    进度条1->setRange(0, 100);
    进度条1->setValue(0);
    进度条1->setTextVisible(false);
    按钮5->raise();

    时钟1 = new QTimer(this);
    时钟1->setObjectName(QStringLiteral("时钟1"));
    时钟1->setInterval(kTimerPeriodMs);

    siteAddress_ = platform::QtTextControl::forLineEdit(编辑框1);
    addBox_ = platform::QtTextControl::forLineEdit(编辑框2);
    threadCountBox_ = platform::QtTextControl::forLineEdit(编辑框3);
    statusLine_ = platform::QtTextControl::forLabel(透明标签2);
    submitButton_ = platform::QtTextControl::forButton(按钮1);
    onlySuccess_ = new platform::QtCheckControl(选择框1);
    loopSubmit_ = new platform::QtCheckControl(选择框2);
    progress_ = new platform::QtProgressControl(进度条1);
    listBinding_ = new platform::ListViewBinding(
        list_, 超级列表框1,
        {toQString(caption::kColumnNumber), toQString(caption::kColumnUrl), toQString(caption::kColumnMark)});
    // After the model is set: setting a model resets the header's section sizes.
    setUpListView(超级列表框1);
    超级列表框1->setColumnWidth(0, 50);
    超级列表框1->setColumnWidth(1, 300);
    超级列表框1->setColumnWidth(2, 50);
}

void MainWindow::buildMenus()
{
    const auto item = [](QMenu* menu, const text::Text& title) { return menu->addAction(toQString(title)); };

    // The list's pop-up menu: not on the menu bar, opened only by a right-click on a row.
    右键菜单 = new QMenu(this);
    右键菜单->setObjectName(QStringLiteral("右键菜单"));
    QAction* editUrl = item(右键菜单, caption::kMenuEditUrl);
    QAction* submitUrl = item(右键菜单, caption::kMenuSubmitUrl);
    QAction* openUrl = item(右键菜单, caption::kMenuOpenUrl);
    QAction* deleteUrl = item(右键菜单, caption::kMenuDeleteUrl);
    QAction* deleteAll = item(右键菜单, caption::kMenuDeleteAll);
    connect(editUrl, &QAction::triggered, this, [this] { library_->onMenuEditUrl(); });
    connect(submitUrl, &QAction::triggered, this, [this] { engine_->submitSelected(); });
    connect(openUrl, &QAction::triggered, this, [this] { library_->onMenuOpenUrl(); });
    connect(deleteUrl, &QAction::triggered, this, [this] { library_->onMenuDeleteUrl(); });
    connect(deleteAll, &QAction::triggered, this, [this] { library_->onMenuDeleteAll(); });

    QMenu* program = menuBar()->addMenu(toQString(caption::kMenuProgram));
    connect(item(program, caption::kMenuMinimizeToTray), &QAction::triggered, this,
            &MainWindow::onMenuMinimizeToTray);
    program->addSeparator();
    connect(item(program, caption::kMenuAutoStart), &QAction::triggered, this, &MainWindow::onMenuAutoStart);
    program->addSeparator();
    connect(item(program, caption::kMenuExit), &QAction::triggered, this, &MainWindow::onMenuExit);

    QMenu* help = menuBar()->addMenu(toQString(caption::kMenuHelp));
    connect(item(help, caption::kMenuSite), &QAction::triggered, this, &MainWindow::onMenuSite);
    connect(item(help, caption::kMenuCheckUpgrade), &QAction::triggered, this, &MainWindow::checkForUpdate);
    help->addSeparator();
    connect(item(help, caption::kMenuGuestbook), &QAction::triggered, this, &MainWindow::onMenuGuestbook);
}

void MainWindow::bindHandlers()
{
    connect(按钮1, &QPushButton::clicked, this, [this] { engine_->toggleSubmit(); });
    connect(时钟1, &QTimer::timeout, this, [this] { engine_->onLoopTick(); });
    connect(按钮2, &QPushButton::clicked, this, [this] { library_->onImportClick(); });
    connect(按钮3, &QPushButton::clicked, this, [this] { library_->onSaveClick(); });
    connect(按钮4, &QPushButton::clicked, this, [this] { library_->onAddClick(); });
    connect(按钮5, &QPushButton::clicked, this, &MainWindow::checkForUpdate);
    // A new site address takes effect when its editing ends (Enter, or the focus leaving).
    connect(编辑框1, &QLineEdit::editingFinished, this, [this] { library_->syncSiteHost(); });
    connect(超级列表框1, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { onListDoubleClicked(index.row()); });
    connect(超级列表框1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &MainWindow::onListHeaderClick);
    超级列表框1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(超级列表框1, &QTableView::customContextMenuRequested, this, &MainWindow::onListContextMenu);
    编辑框1->installEventFilter(this);
    编辑框2->installEventFilter(this);
}

void MainWindow::onMainCreated()
{
    state_.rowCounter = 0;
    state_.startedCount = 0;
    state_.urlTotal = 0;
    state_.passEnded = 0;
    applyXpStyle(this);
    state_.currentVersion = msg::kVersion;
    标签3->setText(toQString(msg::kVersionLabelPrefix + state_.currentVersion));
    // A missing or unreadable url.txt simply leaves the list empty.
    library_->loadFile(programDir_ / msg::kLibraryFileName, library::UrlLibrary::LoadKind::Startup);
    时钟1->start();
    // Off this thread: the window shows at once, and a newer version is offered when found.
    checkForUpdate();
}

void MainWindow::showCentred()
{
    show();
    centreOnScreen();
}

void MainWindow::centreOnScreen()
{
    const QScreen* current = screen();
    if (!current)
        return;
    const QRect available = current->geometry();
    const QSize outer = frameGeometry().size().isValid() && frameGeometry().width() > width()
                            ? frameGeometry().size()
                            : QSize(kOuterWidth, kOuterHeight);
    move(available.left() + (available.width() - outer.width()) / 2,
         available.top() + (available.height() - outer.height()) / 2);
}

text::Text MainWindow::trayTip() const
{
    return msg::kVersionLabelPrefix + msg::kVersion + "\r\n\r\n" + msg::kTrayTipContact + build::kMakerHost;
}

void MainWindow::onMenuMinimizeToTray()
{
    showMinimized();
}

void MainWindow::onMainMoved()
{
    if (!isMinimized())
        return;
    // Without a notification area a hidden window could never come back: stay minimised.
    if (!tray_->isAvailable())
        return;
    tray_->setIcon(true, trayTip());
    hide();
}

void MainWindow::onTrayEvent(int operation)
{
    if (operation != 1)
        return;
    tray_->setIcon(false, {});
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    show();
    centreOnScreen();
    raise();
    activateWindow();
}

bool MainWindow::onMayClose()
{
    const platform::BoxAnswer answer =
        dialogs_->messageBox(msg::kAskKeepRunning, msg::kQuestionTitle, platform::box::kAskYesNoDefaultNo);
    if (answer == platform::BoxAnswer::Yes)
        return false;
    tray_->setIcon(false, {});
    shell_->openUrl(text::Text(build::kMakerHost) + msg::kSiteQuery);
    return true;
}

void MainWindow::onMenuExit()
{
    exiting_ = true;
    tray_->setIcon(false, {});
    close();
}

void MainWindow::onMenuSite()
{
    shell_->openUrl("http://" + text::Text(build::kMakerHost) + msg::kSiteQuery);
}

void MainWindow::onAddressHover()
{
    // Taking the focus selects the whole address (onAddressFocus), so pointing at the box and
    // typing replaces it; once the box has the focus, moving over it changes nothing.
    if (!编辑框1->hasFocus())
        编辑框1->setFocus(Qt::MouseFocusReason);
}

void MainWindow::onAddressFocus()
{
    // After the focus event the click that caused it would place the caret and drop the
    // selection; select once that has happened.
    QTimer::singleShot(0, 编辑框1, [edit = 编辑框1] { edit->selectAll(); });
}

void MainWindow::onAddBoxDoubleClick()
{
    QTimer::singleShot(0, 编辑框2, [edit = 编辑框2] { edit->selectAll(); });
}

void MainWindow::onListContextMenu(const QPoint& position)
{
    const QModelIndex index = 超级列表框1->indexAt(position);
    if (!index.isValid())
        return;
    // A right-click selects its row first.
    超级列表框1->selectRow(index.row());
    list_.setSelection(index.row());
    if (!library_->onListRightClick())
        return;
    右键菜单->popup(超级列表框1->viewport()->mapToGlobal(position));
}

void MainWindow::onListDoubleClicked(int row)
{
    list_.setSelection(row);
    library_->onListDoubleClick();
}

void MainWindow::onListHeaderClick(int column)
{
    // Always text keys, ignoring letter case, ascending: a second click leaves the order as it is.
    library::sortListView(list_, column, static_cast<int>(library::SortKeyType::Text), false);
}

void MainWindow::flushList()
{
    listBinding_->flush();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!exiting_ && !onMayClose()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closedForGood();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        // Hiding from inside the state change confuses some window managers; do it right after.
        QTimer::singleShot(0, this, &MainWindow::onMainMoved);
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == 编辑框1) {
        if (event->type() == QEvent::MouseMove)
            onAddressHover();
        else if (event->type() == QEvent::FocusIn)
            onAddressFocus();
    } else if (watched == 编辑框2 && event->type() == QEvent::MouseButtonDblClick) {
        onAddBoxDoubleClick();
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tavrin::app
