// The auto-start dialog: the user picks or types a program file and makes it start at log-on,
// or removes that entry again.
#pragma once

#include "platform/auto_start.h"
#include "platform/desktop.h"

#include <QDialog>

#include <filesystem>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavrin::app {

class AutoStartDialog final : public QDialog
{
    Q_OBJECT

public:
    // `dialogs` shows the file dialog and the message boxes, `autoStart` is the list that is
    // written; either left null is the real desktop's (the dialogs then belong to this window).
    explicit AutoStartDialog(platform::Dialogs* dialogs = nullptr,
                             platform::AutoStartList* autoStart = nullptr);

    // Handlers of the buttons.
    void onBrowseExe();
    void onWriteRunValue();
    void onDeleteRunValue();

private:
    void buildControls();
    void onAutoStartCreated();

    std::unique_ptr<platform::Dialogs> ownDialogs_;
    std::unique_ptr<platform::AutoStartList> ownAutoStart_;
    platform::Dialogs* dialogs_;
    platform::AutoStartList* autoStart_;
    // The file last chosen in this dialog's file dialog; a cancelled file dialog leaves it.
    std::filesystem::path chosenProgram_;

    // Controls, named as the layout names them.
    QGroupBox* frameGroup_ = nullptr;
    QLabel* folderLabel_ = nullptr;
    QLineEdit* programPathEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* writeButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QLabel* hintLabel_ = nullptr;
};

} // namespace tavrin::app
