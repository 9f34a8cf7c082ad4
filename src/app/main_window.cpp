#include "app/main_window.h"

#include "app/window_look.h"
#include "build_config.h"
#include "history/history_recorder.h"
#include "library/list_sort.h"
#include "library/url_library.h"
#include "platform/qt/list_view_binding.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_text.h"
#include "submit/http_row_check.h"
#include "submit/submission_engine.h"
#include "text/messages.h"
#include "window/library_handlers.h"
#include "window/submit_handlers.h"

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

MainWindow::MainWindow(std::filesystem::path programDir, DesktopServices desktop,
                       std::filesystem::path libraryFile)
    : programDir_(std::move(programDir))
    , libraryFile_(libraryFile.empty() ? programDir_ / msg::kLibraryFileName : std::move(libraryFile))
    , ownDialogs_(desktop.dialogs ? nullptr : std::make_unique<platform::QtDialogs>(this))
    , ownShell_(desktop.shell ? nullptr : std::make_unique<platform::QtShell>())
    , dialogs_(desktop.dialogs ? desktop.dialogs : ownDialogs_.get())
    , shell_(desktop.shell ? desktop.shell : ownShell_.get())
    , tray_(desktop.tray)
    // The build settings are UTF-8; texts inside are GBK.
    , updateUrl_(desktop.updateUrl.value_or(text::utf8ToGbk(build::kUpdateUrl)))
    , makerHost_(desktop.makerHost.value_or(text::utf8ToGbk(build::kMakerHost)))
    , guestbookUrl_(desktop.guestbookUrl.value_or(text::utf8ToGbk(build::kGuestbookUrl)))
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

    library_ = std::make_unique<library::UrlLibrary>(list_, siteAddress_->text());
    engine_ = std::make_unique<submit::SubmissionEngine>(list_, desktop.rowCheck ? std::move(desktop.rowCheck)
                                                                                 : submit::httpRowCheck());
    libraryHandlers_ = std::make_unique<window::LibraryHandlers>(
        window::LibraryControls{list_, *siteAddress_, *addBox_, *statusLine_, *onlySuccess_, *dialogs_,
                                *shell_},
        *library_);
    submitHandlers_ = std::make_unique<window::SubmitHandlers>(
        window::SubmitControls{*submitButton_, *threadCountBox_, *loopSubmit_, *statusLine_, *progress_},
        *engine_);
    // A pass or a single submit takes the address as it stands, typed over or not, and does not
    // start without a host in it.
    engine_->setPrepareRows([this] { return libraryHandlers_->onSiteAddressEdited(); });
    submitHandlers_->setSiteHost([this] { return libraryHandlers_->onSiteAddressEdited(); });
    startHistory(desktop.historyDatabase);
    // Clearing the list forgets the rows the running pass has started.
    libraryHandlers_->setOnCleared([this] { engine_->forgetStartedRows(); });
    bindHandlers();
    onMainCreated();
}

MainWindow::~MainWindow()
{
    // The widgets outlive the handlers: the base class hides the window after them, and the
    // address box losing the focus then would tell handlers that are gone.
    QObject::disconnect(siteAddressEdit_, nullptr, this, nullptr);
    // Workers and loaders write to the controls and the list: stop them first, then detach the
    // view from the store before either goes away. The submission handlers stop listening before
    // the engine goes; the loaders end before the library handlers they report to.
    submitHandlers_.reset();
    engine_.reset();
    recorder_.reset();
    library_.reset();
    libraryHandlers_.reset();
    delete listBinding_;
}

void MainWindow::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    libraryGroup_ = place(new QGroupBox(toQString(caption::kGroupLibrary), client), "分组框3", 8, 3, 426, 45);
    libraryGroup_->setFont(groupFont());
    addressLabel_ =
        place(new QLabel(toQString(caption::kAddressLabel), libraryGroup_), "标签1", 8, 13, 96, 24);
    siteAddressEdit_ = place(new QLineEdit(QStringLiteral("http://") + toQString(makerHost_), libraryGroup_),
                             "编辑框1", 48, 15, 190, 20);
    siteAddressEdit_->setMouseTracking(true);
    importButton_ =
        place(new QPushButton(toQString(caption::kImport), libraryGroup_), "按钮2", 257, 15, 60, 20);
    startStopButton_ =
        place(new QPushButton(toQString(caption::kStartSubmit), libraryGroup_), "按钮1", 329, 15, 60, 20);

    listGroup_ = place(new QGroupBox(toQString(caption::kGroupList), client), "分组框2", 6, 51, 426, 221);
    listGroup_->setFont(groupFont());
    // Placed on the window, not inside the group box: it only lies over it.
    listView_ = place(new QTableView(client), "超级列表框1", 16, 69, 404, 192);

    settingsGroup_ =
        place(new QGroupBox(toQString(caption::kGroupSettings), client), "分组框1", 7, 275, 427, 101);
    settingsGroup_->setFont(groupFont());
    loopCheck_ =
        place(new QCheckBox(toQString(caption::kLoopSubmit), settingsGroup_), "选择框2", 12, 18, 96, 16);
    onlySuccessCheck_ =
        place(new QCheckBox(toQString(caption::kOnlySuccess), settingsGroup_), "选择框1", 12, 41, 96, 16);
    threadsLabel_ =
        place(new QLabel(toQString(caption::kThreadsLabel), settingsGroup_), "透明标签1", 119, 16, 48, 16);
    threadCountEdit_ =
        place(new QLineEdit(toQString(caption::kDefaultThreads), settingsGroup_), "编辑框3", 168, 15, 24, 16);
    threadCountEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), threadCountEdit_));
    saveButton_ = place(new QPushButton(toQString(caption::kSave), settingsGroup_), "按钮3", 136, 40, 60, 20);
    addLabel_ = place(new QLabel(toQString(caption::kAddLabel), settingsGroup_), "标签2", 14, 64, 80, 24);
    addEdit_ = place(new QLineEdit(settingsGroup_), "编辑框2", 94, 67, 190, 20);
    addButton_ = place(new QPushButton(toQString(caption::kAdd), settingsGroup_), "按钮4", 291, 67, 60, 20);
    versionGroup_ =
        place(new QGroupBox(toQString(caption::kGroupVersion), settingsGroup_), "分组框4", 285, 9, 134, 42);
    versionLabel_ = place(new QLabel(versionGroup_), "标签3", 4, 13, 120, 24);
    versionLabel_->setFont(versionFont());
    versionLabel_->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));

    // Belongs to the window although it lies over the settings group.
    checkUpdateButton_ =
        place(new QPushButton(toQString(caption::kCheckUpdate), client), "按钮5", 365, 342, 60, 20);
    statusLabel_ = place(new QLabel(toQString(msg::kStatusInitial), client), "透明标签2", 8, 378, 424, 16);
    progressBar_ = place(new QProgressBar(client), "进度条1", 1, 396, 433, 14);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    checkUpdateButton_->raise();

    loopTimer_ = new QTimer(this);
    loopTimer_->setObjectName(QStringLiteral("时钟1"));
    loopTimer_->setInterval(kTimerPeriodMs);

    siteAddress_ = platform::QtTextControl::forLineEdit(siteAddressEdit_);
    addBox_ = platform::QtTextControl::forLineEdit(addEdit_);
    threadCountBox_ = platform::QtTextControl::forLineEdit(threadCountEdit_);
    statusLine_ = platform::QtTextControl::forLabel(statusLabel_);
    submitButton_ = platform::QtTextControl::forButton(startStopButton_);
    onlySuccess_ = new platform::QtCheckControl(onlySuccessCheck_);
    loopSubmit_ = new platform::QtCheckControl(loopCheck_);
    progress_ = new platform::QtProgressControl(progressBar_);
    listBinding_ = new platform::ListViewBinding(
        list_, listView_,
        {toQString(caption::kColumnNumber), toQString(caption::kColumnUrl), toQString(caption::kColumnMark)});
    // After the model is set: setting a model resets the header's section sizes.
    setUpListView(listView_);
    listView_->setColumnWidth(0, 50);
    listView_->setColumnWidth(1, 300);
    listView_->setColumnWidth(2, 50);
}

void MainWindow::buildMenus()
{
    const auto item = [](QMenu* menu, const text::Text& title) { return menu->addAction(toQString(title)); };

    // The list's pop-up menu: not on the menu bar, opened only by a right-click on a row.
    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("右键菜单"));
    QAction* editUrl = item(listMenu_, caption::kMenuEditUrl);
    QAction* submitUrl = item(listMenu_, caption::kMenuSubmitUrl);
    QAction* openUrl = item(listMenu_, caption::kMenuOpenUrl);
    QAction* deleteUrl = item(listMenu_, caption::kMenuDeleteUrl);
    QAction* deleteAll = item(listMenu_, caption::kMenuDeleteAll);
    connect(editUrl, &QAction::triggered, this, [this] { libraryHandlers_->onMenuEditUrl(); });
    connect(submitUrl, &QAction::triggered, this,
            [this] { submitHandlers_->submitSelected(list_.selection()); });
    connect(openUrl, &QAction::triggered, this, [this] { libraryHandlers_->onMenuOpenUrl(); });
    connect(deleteUrl, &QAction::triggered, this, [this] { libraryHandlers_->onMenuDeleteUrl(); });
    connect(deleteAll, &QAction::triggered, this, [this] { libraryHandlers_->onMenuDeleteAll(); });

    QMenu* program = menuBar()->addMenu(toQString(caption::kMenuProgram));
    connect(item(program, caption::kMenuMinimizeToTray), &QAction::triggered, this,
            &MainWindow::onMenuMinimizeToTray);
    program->addSeparator();
    connect(item(program, caption::kMenuAutoStart), &QAction::triggered, this, &MainWindow::onMenuAutoStart);
    connect(item(program, caption::kMenuHistoryReport), &QAction::triggered, this,
            &MainWindow::onMenuHistoryReport);
    program->addSeparator();
    connect(item(program, caption::kMenuExit), &QAction::triggered, this, &MainWindow::onMenuExit);

    // The maker's site and its guest book are offered only where the build names them; a
    // separator left without an item below it is not drawn.
    QMenu* help = menuBar()->addMenu(toQString(caption::kMenuHelp));
    QAction* site = item(help, caption::kMenuSite);
    site->setVisible(!makerHost_.empty());
    connect(site, &QAction::triggered, this, &MainWindow::onMenuSite);
    connect(item(help, caption::kMenuCheckUpgrade), &QAction::triggered, this,
            &MainWindow::checkForUpdateAsked);
    help->addSeparator();
    QAction* guestbook = item(help, caption::kMenuGuestbook);
    guestbook->setVisible(!guestbookUrl_.empty());
    connect(guestbook, &QAction::triggered, this, &MainWindow::onMenuGuestbook);
}

void MainWindow::bindHandlers()
{
    connect(startStopButton_, &QPushButton::clicked, this, [this] { submitHandlers_->toggleSubmit(); });
    connect(loopTimer_, &QTimer::timeout, this, [this] { submitHandlers_->onLoopTick(); });
    connect(importButton_, &QPushButton::clicked, this, [this] { libraryHandlers_->onImportClick(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { libraryHandlers_->onSaveClick(); });
    connect(addButton_, &QPushButton::clicked, this, [this] { libraryHandlers_->onAddClick(); });
    connect(checkUpdateButton_, &QPushButton::clicked, this, &MainWindow::checkForUpdateAsked);
    // A new site address takes effect when its editing ends (Enter, or the focus leaving).
    connect(siteAddressEdit_, &QLineEdit::editingFinished, this,
            [this] { libraryHandlers_->onSiteAddressEdited(); });
    connect(listView_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { onListDoubleClicked(index.row()); });
    connect(listView_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &MainWindow::onListHeaderClick);
    listView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listView_, &QTableView::customContextMenuRequested, this, &MainWindow::onListContextMenu);
    siteAddressEdit_->installEventFilter(this);
    addEdit_->installEventFilter(this);
}

void MainWindow::onMainCreated()
{
    applyXpStyle(this);
    currentVersion_ = msg::kVersion;
    versionLabel_->setText(toQString(msg::kVersionLabelPrefix + currentVersion_));
    // A missing or unreadable url.txt simply leaves the list empty.
    libraryHandlers_->loadFile(libraryFile_, window::LibraryHandlers::LoadKind::Startup);
    loopTimer_->start();
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
    const text::Text version = msg::kVersionLabelPrefix + msg::kVersion;
    if (makerHost_.empty())
        return version;
    return version + "\r\n\r\n" + msg::kTrayTipContact + makerHost_;
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
    if (!makerHost_.empty())
        shell_->openUrl(makerHost_ + msg::kSiteQuery);
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
    if (!makerHost_.empty())
        shell_->openUrl("http://" + makerHost_ + msg::kSiteQuery);
}

void MainWindow::onAddressHover()
{
    // Taking the focus selects the whole address (onAddressFocus), so pointing at the box and
    // typing replaces it; once the box has the focus, moving over it changes nothing. While
    // another text box of the window has the focus the user is typing there: the pointer passing
    // over the address must not take those keys (and the address with them).
    // (The window's text boxes are all line edits, the address box among them.)
    if (qobject_cast<const QLineEdit*>(focusWidget()))
        return;
    siteAddressEdit_->setFocus(Qt::MouseFocusReason);
}

void MainWindow::onAddressFocus()
{
    // After the focus event the click that caused it would place the caret and drop the
    // selection; select once that has happened.
    QTimer::singleShot(0, siteAddressEdit_, [edit = siteAddressEdit_] { edit->selectAll(); });
}

void MainWindow::onAddBoxDoubleClick()
{
    QTimer::singleShot(0, addEdit_, [edit = addEdit_] { edit->selectAll(); });
}

void MainWindow::onListContextMenu(const QPoint& position)
{
    const QModelIndex index = listView_->indexAt(position);
    if (!index.isValid())
        return;
    // A right-click selects its row first.
    listView_->selectRow(index.row());
    list_.setSelection(index.row());
    if (!libraryHandlers_->onListRightClick())
        return;
    listMenu_->popup(listView_->viewport()->mapToGlobal(position));
}

void MainWindow::onListDoubleClicked(int row)
{
    list_.setSelection(row);
    libraryHandlers_->onListDoubleClick();
}

void MainWindow::onListHeaderClick(int column)
{
    // Always text keys, ignoring letter case, ascending: a second click leaves the order as it is.
    library::sortListView(list_, column, library::SortKeyType::Text, library::LetterCase::Ignored);
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
    if (watched == siteAddressEdit_) {
        if (event->type() == QEvent::MouseMove)
            onAddressHover();
        else if (event->type() == QEvent::FocusIn)
            onAddressFocus();
    } else if (watched == addEdit_ && event->type() == QEvent::MouseButtonDblClick) {
        onAddBoxDoubleClick();
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tavrin::app
