#pragma once
// The value edit dialog: one line for the register's new value.

#include <QDialog>
#include <QLineEdit>

class QPushButton;

// Selects its whole text whenever it receives the focus, so that typing
// replaces the shown value. A typed decimal comma becomes the point that
// the values are written with.
class TSelectAllEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override;
    // Keeps the selection (and so its highlight) when the focus goes.
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class TModBusRegEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TModBusRegEditForm(QWidget* parent = nullptr);

    TSelectAllEdit* ERegValue;
    QPushButton* Button1; // "Записать": Accepted, also by Enter in ERegValue
    QPushButton* Button2; // "Отменить": Rejected, also by Enter while it has the focus

    // Escape and the window manager's close do not end the dialog; only
    // its two buttons do.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
};
