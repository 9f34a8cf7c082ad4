// Qt's own texts in Chinese: the standard buttons of message boxes (是, 否, 确定), the file
// dialogs and the input dialog come from Qt in English unless its translation is loaded, and
// every other text of the program is Chinese.
#pragma once

#include <QString>

class QCoreApplication;

namespace tavrin::app {

// Where Qt keeps its translations (qt6-translations-l10n installs qtbase_zh_CN.qm there).
[[nodiscard]] QString qtTranslationsFolder();

// Installs Qt's Chinese translation from `folder` into the application, whatever the system's
// language and whichever platform plugin runs, with the few words it lacks, and makes Chinese
// the default locale (file types in the file dialogs). Returns false, changing nothing, when the
// translation is not there: the program then shows Qt's English texts and works as before.
bool installQtChinese(QCoreApplication& application, const QString& folder = qtTranslationsFolder());

} // namespace tavrin::app
