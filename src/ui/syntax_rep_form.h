#pragma once
// The report window of a parameter file run.

#include <QDialog>

#include <string>
#include <vector>

class QPlainTextEdit;

class TFSSyntaxRep : public QDialog {
    Q_OBJECT
public:
    explicit TFSSyntaxRep(QWidget* parent = nullptr);

    QPlainTextEdit* Memo;

    // Replaces the text with `lines` (UTF-8), one paragraph each.
    void Fill(const std::vector<std::string>& lines);
};
