#include "reg_edit_form.h"

#include "caption_room.h"
#include "form_font.h"
#include "title_bar.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

void TSelectAllEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    selectAll();
    // A mouse press that gave the focus would place the cursor afterwards.
    QTimer::singleShot(0, this, &QLineEdit::selectAll);
}

void TSelectAllEdit::focusOutEvent(QFocusEvent* event)
{
    const int start = selectionStart();
    const int length = selectionLength();
    QLineEdit::focusOutEvent(event);
    if (start >= 0 && length > 0)
        setSelection(start, length);
}

void TSelectAllEdit::keyPressEvent(QKeyEvent* event)
{
    // The comma key of a Russian keyboard (and its keypad's decimal key).
    if (event->text() == QStringLiteral(",")) {
        QKeyEvent point(event->type(), Qt::Key_Period, event->modifiers(), QStringLiteral("."), event->isAutoRepeat(),
                        static_cast<quint16>(event->count()));
        QLineEdit::keyPressEvent(&point);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

TModBusRegEditForm::TModBusRegEditForm(QWidget* parent) : QDialog(parent)
{
    new TTitleBar(*this, TitleBarButtons{});
    setObjectName(QStringLiteral("ModBusRegEditForm"));
    setWindowTitle(QStringLiteral("Изменение значения регистра"));
    setFont(FormFont());
    setFixedSize(228, 106);
    setModal(true);

    ERegValue = new TSelectAllEdit(QStringLiteral("ERegValue"), this);
    ERegValue->setObjectName(QStringLiteral("ERegValue"));
    ERegValue->setGeometry(16, 24, 195, 21);

    Button1 = new QPushButton(QStringLiteral("Записать"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 73, 81, 25);
    Button1->setDefault(true);

    Button2 = new QPushButton(QStringLiteral("Отменить"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(128, 73, 83, 25);
    // Enter presses the button that has the focus; in the edit box, the
    // default button "Записать".
    Button2->setAutoDefault(true);

    setTabOrder(ERegValue, Button1);
    setTabOrder(Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
    GiveCaptionRoom(*this);
}

void TModBusRegEditForm::reject() {}

void TModBusRegEditForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ERegValue->setFocus(Qt::OtherFocusReason);
    ERegValue->selectAll();
}
