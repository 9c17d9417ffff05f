#include "syntax_rep_form.h"

#include "form_font.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TFSSyntaxRep::TFSSyntaxRep(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FSSyntaxRep"));
    setWindowTitle(QStringLiteral("Результат обработки скрипта"));
    setFont(FormFont());
    resize(563, 344);
    setModal(true);
    setSizeGripEnabled(true);

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo);
}

void TFSSyntaxRep::Fill(const std::vector<std::string>& lines)
{
    Memo->clear();
    for (const std::string& line : lines)
        Memo->appendPlainText(QString::fromStdString(line));
}
