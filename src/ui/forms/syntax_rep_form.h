#pragma once
// The report window of a parameter file run.

#include <QDialog>

#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;

class TFSSyntaxRep : public QDialog {
    Q_OBJECT
public:
    explicit TFSSyntaxRep(QWidget* parent = nullptr);

    QPlainTextEdit* Memo;
    // "Проверить", below the text; shown only for the report of a load that
    // wrote to the meter.
    QPushButton* VerifyButton;

    // Replaces the text with `lines` (UTF-8), one paragraph each.
    void Fill(const std::vector<std::string>& lines);
    // Adds `lines` below the text.
    void Append(const std::vector<std::string>& lines);

    // Without `offerVerify`: shows the window modally until it is closed
    // (false). With it: shows it with "Проверить" and returns true when the
    // button is pressed, leaving the window shown with the button disabled
    // until the next call; false when the window is closed, also when it was
    // closed while the verification ran.
    bool ExecOfferingVerify(bool offerVerify);

private:
    QWidget* buttonBar_;
    bool verifying_ = false;
};
