#include "tarnel_application.h"

#include "message_boxes.h"

#include <QIcon>

TTarnelApplication::TTarnelApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The installed desktop entry and icon name the window to the desktop.
    setDesktopFileName(QStringLiteral("vok-tarnel"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("vok-tarnel")));
}

bool TTarnelApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowExceptionReport(std::current_exception());
        return false;
    }
}
