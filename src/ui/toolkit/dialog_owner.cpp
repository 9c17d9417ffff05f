#include "dialog_owner.h"

#include <QApplication>
#include <QMainWindow>
#include <QWidget>
#include <QWindow>

void KeepTransientFor(QWidget& dialog, QWidget& owner)
{
    // The native windows are made now, so that the hint is there before the
    // dialog is first mapped.
    QWidget* ownerWindow = owner.window();
    ownerWindow->winId();
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle())
        handle->setTransientParent(ownerWindow->windowHandle());
}

QWidget* MessageOwner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && qobject_cast<QMainWindow*>(top))
            return top;
    }
    return nullptr;
}
