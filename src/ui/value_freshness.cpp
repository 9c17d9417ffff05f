#include "value_freshness.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

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

TValueFreshness::TValueFreshness(QTableWidget& list, int valueColumn, QLineEdit& valueBox, QLabel& status)
    : list_(list), valueColumn_(valueColumn), valueBox_(valueBox), status_(status), boxPalette_(valueBox.palette())
{
    QPalette warning = status_.palette();
    warning.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    status_.setPalette(warning);
    status_.hide();
    Paint();
}

void TValueFreshness::Fresh()
{
    stale_ = false;
    status_.hide();
    Paint();
}

void TValueFreshness::Stale(Reason reason)
{
    stale_ = true;
    status_.setText(StatusText(reason));
    status_.adjustSize();
    status_.setVisible(reason != Reason::Closed);
    Paint();
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
