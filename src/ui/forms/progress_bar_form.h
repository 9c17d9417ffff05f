#pragma once
// The progress dialog that stands modal while a long command runs; only the
// command closes it.

#include <QDialog>

class QProgressBar;

class TProgressBarForm : public QDialog {
    Q_OBJECT
public:
    explicit TProgressBarForm(QWidget* parent = nullptr);

    QProgressBar* ProgressBar; // 0..1000; keeps its position between uses

    // Sets the position, within the range, and paints it at once.
    void SetPosition(int position);
    // Ends the modal loop.
    void CloseProgress();

    // The user cannot end the dialog (Escape, window manager close).
    void reject() override;
};
