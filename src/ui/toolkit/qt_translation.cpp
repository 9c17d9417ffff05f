#include "qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallQtTranslation(QCoreApplication& app)
{
    // Qt's own folder where Qt is installed (Linux); the folder translations
    // beside the program where Qt came with it (Windows).
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QStringLiteral("qtbase_ru"), folder) && QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}
