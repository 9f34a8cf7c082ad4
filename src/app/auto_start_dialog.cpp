#include "app/auto_start_dialog.h"

#include "app/window_look.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_text.h"
#include "text/messages.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tavrin::app {

using platform::toQString;
namespace texts = msg::autostart;
namespace box = platform::box;

namespace {

// A fixed frame with a caption and no menu: 3-pixel borders and a 19-pixel caption around a
// 280 x 136 client area make the outer size of 286 x 161.
constexpr int kClientWidth = 280;
constexpr int kClientHeight = 136;
constexpr QSize kOuterSize{286, 161};

template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

text::Text programFilter()
{
#ifdef _WIN32
    return texts::kProgramFilter;
#else
    // Programs here rarely end in .exe: offer every file as well.
    return texts::kProgramFilter + "|" + texts::kAllFilesFilter;
#endif
}

} // namespace

AutoStartDialog::AutoStartDialog(platform::Dialogs* dialogs, platform::AutoStartList* autoStart)
    : ownDialogs_(dialogs ? nullptr : std::make_unique<platform::QtDialogs>(this))
    , ownAutoStart_(autoStart ? nullptr : platform::currentUserAutoStartList())
    , dialogs_(dialogs ? dialogs : ownDialogs_.get())
    , autoStart_(autoStart ? autoStart : ownAutoStart_.get())
{
    setObjectName(QStringLiteral("AutoStartDialog"));
    setWindowTitle(toQString(texts::kWindowTitle));
    // A fixed frame with the system menu and the close button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    buildControls();
    connect(browseButton_, &QPushButton::clicked, this, &AutoStartDialog::onBrowseExe);
    connect(writeButton_, &QPushButton::clicked, this, &AutoStartDialog::onWriteRunValue);
    connect(deleteButton_, &QPushButton::clicked, this, &AutoStartDialog::onDeleteRunValue);
    onAutoStartCreated();
    centreWindowOnScreen(this, kOuterSize);
}

void AutoStartDialog::buildControls()
{
    // Every control belongs to the dialog; the group box only frames them.
    frameGroup_ = place(new QGroupBox(this), "分组框1", 8, 2, 264, 104);
    folderLabel_ = place(new QLabel(toQString(texts::kFolderLabel), this), "标签1", 16, 16, 48, 24);
    folderLabel_->setFont(autoStartFont(true));
    programPathEdit_ = place(new QLineEdit(this), "编辑框1", 65, 15, 143, 24);
    programPathEdit_->setFont(autoStartFont(false));
    browseButton_ = place(new QPushButton(toQString(texts::kBrowse), this), "按钮3", 216, 15, 40, 24);
    writeButton_ = place(new QPushButton(toQString(texts::kWrite), this), "按钮1", 65, 70, 70, 30);
    deleteButton_ = place(new QPushButton(toQString(texts::kDelete), this), "按钮2", 187, 70, 70, 30);
    hintLabel_ =
        place(new QLabel(toQString(texts::kSecuritySoftwareHint), this), "透明标签1", 10, 111, 262, 16);
    hintLabel_->setFont(autoStartFont(true));
    hintLabel_->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
    // Enter in the path box must not press a button.
    for (QPushButton* button : {browseButton_, writeButton_, deleteButton_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void AutoStartDialog::onAutoStartCreated()
{
    applyXpStyle(this);
}

void AutoStartDialog::onBrowseExe()
{
    const std::filesystem::path chosen = dialogs_->openFileName(programFilter());
    if (!chosen.empty())
        chosenProgram_ = chosen;
    // Whatever the user did: a cancel puts the file chosen before (or nothing) back into the box.
    programPathEdit_->setText(platform::pathToQString(chosenProgram_));
}

void AutoStartDialog::onWriteRunValue()
{
    if (programPathEdit_->text().isEmpty()) {
        dialogs_->messageBox(texts::kOpenFileFirst, texts::kErrorTitle, box::kOk | box::kIconError);
        return;
    }
    // Written exactly as it stands in the box, typed or chosen.
    const std::string failure = autoStart_->add(platform::pathFromQString(programPathEdit_->text()));
    if (!failure.empty()) {
        // Claiming success here would leave the user counting on an entry that is not there.
        dialogs_->messageBox(texts::kWriteFailed, texts::kErrorTitle, box::kOk | box::kIconError);
        return;
    }
    dialogs_->messageBox(texts::kAdded, texts::kAddedTitle, box::kOk | box::kIconInformation);
}

void AutoStartDialog::onDeleteRunValue()
{
    if (autoStart_->remove() == platform::AutoStartRemoval::Removed) {
        dialogs_->messageBox(texts::kRemoved, texts::kRemovedTitle, box::kOk | box::kIconInformation);
        return;
    }
    // A missing entry and one that could not be removed get the same answer.
    dialogs_->messageBox(texts::kNotAdded, texts::kNotAddedTitle, box::kOk | box::kIconError);
}

} // namespace tavrin::app
