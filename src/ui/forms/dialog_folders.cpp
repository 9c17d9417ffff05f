#include "dialog_folders.h"

#include "ini_file.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {
constexpr const char* kSection = "Folders";
} // namespace

TDialogFolders::TDialogFolders(std::string iniPath, QObject* parent) : QObject(parent), iniPath_(std::move(iniPath))
{
    const IniFile ini = IniFile::Load(iniPath_);
    for (const char* kind : {kParamFiles, kDataLog, kTrafficLog}) {
        const std::string folder = ini.Read(kSection, kind, "");
        if (!folder.empty())
            folders_[kind] = QString::fromStdString(folder);
    }
}

QString TDialogFolders::Folder(const char* kind) const
{
    const auto found = folders_.find(kind);
    return found == folders_.end() ? QString() : found->second;
}

void TDialogFolders::Follow(QFileDialog& dialog, const char* kind)
{
    if (const QString folder = Folder(kind); !folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    dialogs_.emplace(std::string(kind) + "\n" + dialog.objectName().toStdString(), &dialog);
    const std::string key = kind;
    connect(&dialog, &QFileDialog::filesSelected, this, [this, key](const QStringList& files) {
        if (!files.isEmpty())
            Chose(key.c_str(), files.front());
    });
}

void TDialogFolders::Chose(const char* kind, const QString& file)
{
    const QString folder = QFileInfo(file).absolutePath();
    folders_[kind] = folder;
    // The other dialogs of the kind open there too from now on.
    const std::string prefix = std::string(kind) + "\n";
    for (const auto& [name, dialog] : dialogs_) {
        if (name.rfind(prefix, 0) == 0)
            dialog->setDirectory(folder);
    }
}

std::optional<std::string> TDialogFolders::Save() const
{
    if (folders_.empty())
        return std::nullopt;
    IniFile ini = IniFile::Load(iniPath_);
    for (const auto& [kind, folder] : folders_)
        ini.Write(kSection, kind, folder.toStdString());
    return ini.Save(iniPath_);
}
