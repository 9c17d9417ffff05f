#include "message_boxes.h"

#include "dialog_owner.h"
#include "form_font.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

void ShowErrorBox(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    MessageOwner());
    box.setFont(FormFont());
    box.exec();
}

bool ShowPortLostBox(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    MessageOwner());
    box.setFont(FormFont());
    QPushButton* wait = box.addButton(QStringLiteral("Ждать порт"), QMessageBox::AcceptRole);
    wait->setObjectName(QStringLiteral("WaitForPortButton"));
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == wait;
}

bool Confirm(const QString& text)
{
    // A blank, not an empty caption: for an empty one Qt shows the program's
    // name.
    QMessageBox box(QMessageBox::Question, QStringLiteral(" "), text, QMessageBox::Yes | QMessageBox::No,
                    MessageOwner());
    box.setFont(FormFont());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void ShowExceptionReport(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(QString());
    }
}
