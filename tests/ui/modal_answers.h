#pragma once
// Answers the modal dialogs of a test: a timer on the event loop looks at
// the active modal widget and, when it matches the next expected dialog,
// runs that step's action. Every modal seen is logged with its text.

#include "wait_until.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Runs the event loop for `ms`.
inline void Pump(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

inline QString ModalText(QWidget* widget)
{
    if (auto* box = qobject_cast<QMessageBox*>(widget))
        return box->text();
    return widget->objectName();
}

class ModalAnswers : public QObject {
public:
    using Match = std::function<bool(QWidget*)>;
    using Action = std::function<void(QWidget*)>;

    ModalAnswers()
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_.start();
    }

    void Expect(Match match, Action action) { steps_.push_back({std::move(match), std::move(action)}); }

    // A message box with `text`, answered with `button`.
    void ExpectBox(const QString& text, QMessageBox::StandardButton button)
    {
        Expect([text](QWidget* w) {
                   auto* box = qobject_cast<QMessageBox*>(w);
                   return box && box->text() == text;
               },
               [button](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(button)->click(); });
    }

    // Types the file's name into a file dialog, as a user does, and accepts.
    static Action ChooseFile(const std::string& path)
    {
        return [path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            const QFileInfo info(QString::fromStdString(path));
            dialog->setDirectory(info.absolutePath());
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            edit->setText(info.fileName());
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        };
    }

    bool Done() const { return steps_.empty(); }
    // Object names of dialogs and texts of message boxes, in the order seen.
    const std::vector<QString>& Seen() const { return seen_; }

private:
    struct Step {
        Match match;
        Action action;
    };

    void Tick()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || busy_)
            return;
        if (modal != last_) {
            last_ = modal;
            seen_.push_back(ModalText(modal));
        }
        if (steps_.empty() || !steps_.front().match(modal)) {
            // A message box nobody expects would hold the test in its modal
            // loop until CTest's limit; it is logged and dismissed instead,
            // so that the test fails at its assertions at once.
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                last_ = nullptr;
                box->done(QMessageBox::Cancel);
            }
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        last_ = nullptr;
        busy_ = true;
        step.action(modal);
        busy_ = false;
    }

    QTimer timer_;
    std::deque<Step> steps_;
    std::vector<QString> seen_;
    QWidget* last_ = nullptr;
    bool busy_ = false;
};

inline bool IsFileDialog(QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; }
