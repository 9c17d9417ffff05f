#include "tarnel_application.h"

#include "message_boxes.h"

#include <stdexcept>

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
