#include "user_guide.h"

#include "message_boxes.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

constexpr const char* kGuideFile = "guide.html";

QStringList Candidates(const QString& programFolder)
{
    const QDir folder(programFolder);
    return {folder.filePath(QStringLiteral("../share/vok-tarnel/guide/%1").arg(QLatin1String(kGuideFile))),
            folder.filePath(QStringLiteral("guide/%1").arg(QLatin1String(kGuideFile)))};
}

} // namespace

std::string UserGuidePath(const std::string& programFolder)
{
    const QStringList candidates = Candidates(QString::fromStdString(programFolder));
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate).toStdString();
    }
    return QDir::cleanPath(candidates.front()).toStdString();
}

void OpenUserGuide()
{
    const QString path = QString::fromStdString(UserGuidePath(QCoreApplication::applicationDirPath().toStdString()));
    if (!QFileInfo(path).isFile()) {
        ShowErrorBox(QStringLiteral("Руководство пользователя не найдено: %1").arg(path));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowErrorBox(QStringLiteral("Не удалось открыть руководство пользователя: %1").arg(path));
}
