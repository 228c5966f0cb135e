// Qt's Russian translations, loaded from Qt's own translations folder.
#include "toolkit/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vendrix {

bool InstallRussianTranslations()
{
    static QTranslator* translator = nullptr;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    if (translator)
        return true;
    auto* loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(
            QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete loaded;
        return false;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
    return true;
}

} // namespace vendrix
