#include "progress_bar_form.h"

#include "caption_room.h"
#include "form_font.h"
#include "title_bar.h"

#include <QProgressBar>

#include <algorithm>

TProgressBarForm::TProgressBarForm(QWidget* parent) : QDialog(parent)
{
    new TTitleBar(*this, TitleBarButtons{});
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
    GiveCaptionRoom(*this);
}

void TProgressBarForm::SetPosition(int position)
{
    // A position past the end shows the bar full (Qt would ignore it).
    ProgressBar->setValue(std::clamp(position, ProgressBar->minimum(), ProgressBar->maximum()));
    if (ProgressBar->isVisible())
        ProgressBar->repaint();
}

void TProgressBarForm::CloseProgress() { done(QDialog::Accepted); }

void TProgressBarForm::reject() {}
