#include "app/qt_translation.h"

#include "platform/qt/qt_text.h"
#include "text/messages.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace tavrin::app {

namespace {

// What qtbase_zh_CN lacks. Consulted after it (translators installed later are asked first), so
// a newer translation that has these words wins.
class MissingQtWords final : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override
    {
        if (!context || !sourceText || std::strcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        const struct
        {
            const char* english;
            const text::Text& chinese;
        } words[] = {{"Folder", msg::qtwords::kFolder},
                     {"Drive", msg::qtwords::kDrive},
                     {"Shortcut", msg::qtwords::kShortcut},
                     {"Unknown", msg::qtwords::kUnknown}};
        for (const auto& word : words) {
            if (std::strcmp(sourceText, word.english) == 0)
                return platform::toQString(word.chinese);
        }
        return {};
    }

    [[nodiscard]] bool isEmpty() const override { return false; }
};

} // namespace

QString qtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installQtChinese(QCoreApplication& application, const QString& folder)
{
    // Named in full rather than found through QLocale::system(): the program's texts are
    // Chinese on any desktop, so Qt's must be too.
    auto* translation = new QTranslator(&application);
    if (!translation->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        delete translation;
        return false;
    }
    // What Qt words through the locale rather than a translation follows too: a file dialog
    // names file types by the MIME database's comments in the default locale's language.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QCoreApplication::installTranslator(new MissingQtWords(&application));
    QCoreApplication::installTranslator(translation);
    return true;
}

} // namespace tavrin::app
