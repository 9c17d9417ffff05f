#pragma once
// The file dialogs open where the user last chose a file of the same kind
// (parameter files, data logs, traffic logs), also in the next run: the
// folders are kept in the INI file's section "Folders".

#include <QObject>
#include <QString>

#include <map>
#include <optional>
#include <string>

class QFileDialog;

class TDialogFolders : public QObject {
    Q_OBJECT
public:
    // The INI keys of the kinds.
    static constexpr const char* kParamFiles = "ParamFiles";
    static constexpr const char* kDataLog = "DataLog";
    static constexpr const char* kTrafficLog = "TrafficLog";

    // Reads the folders from `iniPath`.
    TDialogFolders(std::string iniPath, QObject* parent = nullptr);

    // `dialog` opens in the folder of `kind` and moves it to the folder of
    // each file the user chooses.
    void Follow(QFileDialog& dialog, const char* kind);

    QString Folder(const char* kind) const;

    // Writes the folders chosen in this run; the INI layer's message on failure.
    std::optional<std::string> Save() const;

private:
    void Chose(const char* kind, const QString& file);

    std::string iniPath_;
    std::map<std::string, QString> folders_;
    std::map<std::string, QFileDialog*> dialogs_; // by kind and dialog name ("kind\nname")
};
