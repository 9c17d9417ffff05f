#pragma once

#include <QApplication>

// The application: an exception that escapes an event handler is shown in
// an error box and the window goes on.
class TTarnelApplication : public QApplication {
    Q_OBJECT
public:
    TTarnelApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
