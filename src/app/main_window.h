// The main window: every control and menu of the program, and the window's own events (created,
// minimised into the notification area, restored, close query). The library and, later, the
// submission engine attach their handlers to the controls made here.
#pragma once

#include "base/list_store.h"
#include "platform/desktop.h"
#include "submit/row_check.h"

#include <QMainWindow>

#include <filesystem>
#include <memory>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace tavrin::library {
class UrlLibrary;
}

namespace tavrin::submit {
class SubmissionEngine;
}

namespace tavrin::update {
class UpdateChecker;
}

namespace tavrin::window {
class LibraryHandlers;
class SubmitHandlers;
} // namespace tavrin::window

namespace tavrin::history {
class HistoryRecorder;
} // namespace tavrin::history

namespace tavrin::platform {
class ListViewBinding;
class QtCheckControl;
class QtProgressControl;
class QtTextControl;
} // namespace tavrin::platform

namespace tavrin::app {

// Where the main window's dialogs, shell and notification icon come from. Any left null is the
// real desktop's; tests pass their own to answer dialogs and record what was opened.
struct DesktopServices
{
    platform::Dialogs* dialogs = nullptr;
    platform::Shell* shell = nullptr;
    platform::Tray* tray = nullptr;
    // How a pass checks a row; empty for the real HTTP check.
    submit::RowCheck rowCheck;
    // The update-notice page; left out, the build setting. Tests point it at a local server.
    // Empty: no update check.
    std::optional<text::Text> updateUrl;
    // The history database; left out, the user's default one; an empty path records nothing.
    std::optional<std::filesystem::path> historyDatabase;
    // The host of the maker's site and the guest-book page; left out, the build settings. Empty:
    // the window has none, and neither offers nor opens it.
    // (Initialised here so that callers that name the members above may leave these out.)
    std::optional<text::Text> makerHost = std::nullopt;
    std::optional<text::Text> guestbookUrl = std::nullopt;
};

// Lets the header name the update checker without its definition (main_window_update.cpp).
struct UpdateCheckerDeleter
{
    void operator()(update::UpdateChecker* checker) const;
};

class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    // `programDir` is the folder of the program file, where a newer version is downloaded when the
    // user may write there.
    // `libraryFile` is the library loaded at start; left empty, the url.txt in `programDir`.
    explicit MainWindow(std::filesystem::path programDir, DesktopServices desktop = {},
                        std::filesystem::path libraryFile = {});
    ~MainWindow() override;

    // Shows the window centred on the screen, as at start-up.
    void showCentred();

    // Window events, public so that the notification area (and tests) can raise them.
    void onTrayEvent(int operation);
    void onMenuMinimizeToTray();
    void onMenuExit();
    void onMenuSite();
    // Open a fresh modal window each (main_window_menus.cpp); the guest book only when there is
    // one.
    void onMenuAutoStart();
    void onMenuGuestbook();
    // 历史报告: the report of the last recorded pass, written to a private temporary folder and
    // opened in the browser (main_window_history.cpp).
    void onMenuHistoryReport();
    // The silent update check of start-up: returns at once, asks only when a newer version is
    // found (main_window_update.cpp).
    void checkForUpdate();
    // The check the user asked for (checkUpdateButton_, 检查升级): the same, and when nothing
    // newer is found, or the notice cannot be read, the status line says so.
    void checkForUpdateAsked();
    // The update checker, once a check has been started.
    [[nodiscard]] update::UpdateChecker* updateChecker() const { return updater_.get(); }

    [[nodiscard]] library::UrlLibrary& library() { return *library_; }
    [[nodiscard]] window::LibraryHandlers& libraryHandlers() { return *libraryHandlers_; }
    [[nodiscard]] submit::SubmissionEngine& engine() { return *engine_; }
    [[nodiscard]] base::ListStore& list() { return list_; }
    // The version this program is, as the version label shows it.
    [[nodiscard]] const text::Text& currentVersion() const { return currentVersion_; }
    // The list's pop-up menu (listMenu_).
    [[nodiscard]] QMenu* listMenu() const { return listMenu_; }
    // Brings the list view up to date with the store at once (screenshots, tests).
    void flushList();

signals:
    // The window has closed for good: the program should end.
    void closedForGood();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void bindHandlers();
    void onMainCreated();
    void onMainMoved();
    [[nodiscard]] bool onMayClose();
    void onAddressHover();
    // Starts recording passes into the history at `database`; none when empty.
    void startHistory(const std::optional<std::filesystem::path>& database);
    void onAddressFocus();
    void onAddBoxDoubleClick();
    void onListContextMenu(const QPoint& position);
    void onListDoubleClicked(int row);
    void onListHeaderClick(int column);
    void centreOnScreen();
    // Made on first use.
    [[nodiscard]] update::UpdateChecker& updater();
    [[nodiscard]] text::Text trayTip() const;

    std::filesystem::path programDir_;
    std::filesystem::path libraryFile_;
    text::Text currentVersion_;
    base::ListStore list_;

    // The desktop: either injected or owned here.
    std::unique_ptr<platform::Dialogs> ownDialogs_;
    std::unique_ptr<platform::Shell> ownShell_;
    platform::Dialogs* dialogs_;
    platform::Shell* shell_;
    platform::Tray* tray_ = nullptr;
    // The maker's web presence; each empty when there is none.
    text::Text updateUrl_;
    text::Text makerHost_;
    text::Text guestbookUrl_;

    // Controls, by role; their object names are the layout's (编辑框1, 按钮1 ...).
    QGroupBox* libraryGroup_ = nullptr;
    QLabel* addressLabel_ = nullptr;
    QLineEdit* siteAddressEdit_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QPushButton* startStopButton_ = nullptr;
    QGroupBox* listGroup_ = nullptr;
    QTableView* listView_ = nullptr;
    QGroupBox* settingsGroup_ = nullptr;
    QCheckBox* loopCheck_ = nullptr;
    QCheckBox* onlySuccessCheck_ = nullptr;
    QLabel* threadsLabel_ = nullptr;
    QLineEdit* threadCountEdit_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QLabel* addLabel_ = nullptr;
    QLineEdit* addEdit_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QGroupBox* versionGroup_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QPushButton* checkUpdateButton_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QTimer* loopTimer_ = nullptr;
    QMenu* listMenu_ = nullptr;

    // The controls as the logic sees them (thread-safe, GBK).
    platform::QtTextControl* siteAddress_ = nullptr;
    platform::QtTextControl* addBox_ = nullptr;
    platform::QtTextControl* threadCountBox_ = nullptr;
    platform::QtTextControl* statusLine_ = nullptr;
    platform::QtTextControl* submitButton_ = nullptr;
    platform::QtCheckControl* onlySuccess_ = nullptr;
    platform::QtCheckControl* loopSubmit_ = nullptr;
    platform::QtProgressControl* progress_ = nullptr;
    platform::ListViewBinding* listBinding_ = nullptr;

    // Hears the engine; outlives it. Its writer thread touches only the status line's
    // thread-safe control.
    std::unique_ptr<history::HistoryRecorder> recorder_;
    // Where 历史报告 writes its reports: made on first use, readable by the user only.
    std::filesystem::path reportFolder_;
    // Their threads write to the controls above; the destructor stops them first.
    std::unique_ptr<library::UrlLibrary> library_;
    std::unique_ptr<submit::SubmissionEngine> engine_;
    // The window's side of the library and of passes, over the controls above.
    std::unique_ptr<window::LibraryHandlers> libraryHandlers_;
    std::unique_ptr<window::SubmitHandlers> submitHandlers_;
    // Made on first use; its threads touch no control, only files and the network.
    std::unique_ptr<update::UpdateChecker, UpdateCheckerDeleter> updater_;
    bool exiting_ = false;
};

} // namespace tavrin::app
