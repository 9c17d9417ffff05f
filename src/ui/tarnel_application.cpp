#include "tarnel_application.h"

#include "message_boxes.h"

TTarnelApplication::TTarnelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TTarnelApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowExceptionReport(std::current_exception());
        return false;
    }
}
