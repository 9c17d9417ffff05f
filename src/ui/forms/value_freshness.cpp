#include "value_freshness.h"

#include "link_messages.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>

QString TValueFreshness::StatusText(Reason reason)
{
    switch (reason) {
    case Reason::NoAnswer:
        return QStringLiteral("Нет ответа от влагомера, значения устарели");
    case Reason::Refused:
        return QStringLiteral("Влагомер отклонил опрос, значения устарели");
    case Reason::Closed:
        break;
    }
    return QString();
}

namespace {

constexpr int kNoteMs = 10000;

// Draws a stale value grey also in a selected row, where the style would
// otherwise use the selection's text colour and hide the grey.
class StaleCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        if (!foreground.isValid())
            return;
        // Halfway between the selection's text and its background: plainly
        // dimmer than a fresh selected value, still readable.
        const QColor text = option->palette.color(QPalette::HighlightedText);
        const QColor back = option->palette.color(QPalette::Highlight);
        const QColor dim((text.red() + back.red()) / 2, (text.green() + back.green()) / 2,
                         (text.blue() + back.blue()) / 2);
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            option->palette.setColor(group, QPalette::HighlightedText, dim);
    }
};

} // namespace

TValueFreshness::TValueFreshness(QTableWidget& list, int valueColumn, QLineEdit& valueBox, QLabel& status)
    : list_(list), valueColumn_(valueColumn), valueBox_(valueBox), status_(status), boxPalette_(valueBox.palette()),
      notePalette_(status.palette()), warningPalette_(status.palette())
{
    warningPalette_.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    list_.setItemDelegateForColumn(valueColumn_, new StaleCellDelegate(&list_));
    status_.hide();
    Paint();
}

void TValueFreshness::Fresh()
{
    stale_ = false;
    if (!noteShown_)
        status_.hide();
    Paint();
}

void TValueFreshness::Stale(Reason reason)
{
    stale_ = true;
    if (reason != Reason::Closed)
        ShowStatus(StatusText(reason), true);
    else if (!noteShown_)
        status_.hide();
    Paint();
}

void TValueFreshness::Repeating(int attempt, int attempts)
{
    ShowStatus(QString::fromStdString(NoAnswerRetryText(attempt, attempts)), true);
}

void TValueFreshness::Note(const QString& text)
{
    ShowStatus(text, false);
    noteShown_ = true;
    const unsigned generation = noteGeneration_;
    QTimer::singleShot(kNoteMs, &status_, [this, generation] {
        if (noteShown_ && generation == noteGeneration_) {
            noteShown_ = false;
            status_.hide();
        }
    });
}

void TValueFreshness::ShowStatus(const QString& text, bool warning)
{
    ++noteGeneration_;
    noteShown_ = false;
    status_.setPalette(warning ? warningPalette_ : notePalette_);
    status_.setText(text);
    status_.adjustSize();
    status_.show();
}

void TValueFreshness::Paint()
{
    // Grey as the list draws disabled text; fresh values take the list's
    // own colours again.
    const QColor grey = list_.palette().color(QPalette::Disabled, QPalette::Text);
    for (int row = 0; row < list_.rowCount(); ++row) {
        if (QTableWidgetItem* cell = list_.item(row, valueColumn_))
            cell->setData(Qt::ForegroundRole, stale_ ? QVariant(QBrush(grey)) : QVariant());
    }
    QPalette box = boxPalette_;
    if (stale_)
        box.setColor(QPalette::Text, grey);
    valueBox_.setPalette(box);
}
