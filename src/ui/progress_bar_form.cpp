#include "progress_bar_form.h"

#include "form_font.h"

#include <QProgressBar>

TProgressBarForm::TProgressBarForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ProgressBarForm"));
    setWindowTitle(QStringLiteral("Выполнение запроса"));
    setFont(FormFont());
    setFixedSize(332, 59);
    setModal(true);

    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(16, 16, 297, 17);
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
}

void TProgressBarForm::SetPosition(int position)
{
    ProgressBar->setValue(position);
    if (ProgressBar->isVisible())
        ProgressBar->repaint();
}

void TProgressBarForm::CloseProgress() { done(QDialog::Accepted); }

void TProgressBarForm::reject() {}
