#pragma once
// Whether the values of the register list come from the meter's last
// answer. Values that no poll has confirmed (before the first poll, after a
// failed poll, after "Закрыть") are drawn grey, in the list's value column
// and in the parameter value box, until a poll succeeds; after a failed
// poll a status line beside the value box says why: the meter did not
// answer, or it refused the poll. The same line says, while a poll still
// repeats an unanswered request, that the meter is not answering, and
// shows short notes such as a confirmed NVRAM commit. A selected row shows
// its stale value grey too.

#include <QPalette>
#include <QString>

class QLabel;
class QLineEdit;
class QTableWidget;

class TValueFreshness {
public:
    enum class Reason {
        Closed,   // the link was closed: nothing to report
        NoAnswer, // a poll got no valid answer
        Refused,  // the meter answered a poll with an exception
    };
    // The status line's text for a failed poll.
    static QString StatusText(Reason reason);

    // Starts stale: nothing has come from the meter yet.
    TValueFreshness(QTableWidget& list, int valueColumn, QLineEdit& valueBox, QLabel& status);

    // A poll has just rewritten the values.
    void Fresh();
    // The values are old, for `reason`.
    void Stale(Reason reason);
    // A poll repeats its unanswered request: attempt `attempt` of `attempts`.
    void Repeating(int attempt, int attempts);
    // A note in the status line's normal colour, shown for a few seconds
    // unless something else replaces it.
    void Note(const QString& text);

    bool IsStale() const { return stale_; }

private:
    void Paint();
    void ShowStatus(const QString& text, bool warning);

    QTableWidget& list_;
    int valueColumn_;
    QLineEdit& valueBox_;
    QLabel& status_;
    const QPalette boxPalette_;
    const QPalette notePalette_;
    QPalette warningPalette_;
    bool stale_ = true;
    bool noteShown_ = false;
    unsigned noteGeneration_ = 0;
};
