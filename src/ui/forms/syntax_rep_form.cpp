#include "syntax_rep_form.h"

#include "form_font.h"
#include "title_bar.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {
const char kVerifyText[] = "Проверить";
}

TFSSyntaxRep::TFSSyntaxRep(QWidget* parent) : QDialog(parent)
{
    TitleBarButtons titleBar;
    titleBar.systemMenu = titleBar.close = titleBar.resizable = true;
    new TTitleBar(*this, titleBar);
    setObjectName(QStringLiteral("FSSyntaxRep"));
    setWindowTitle(QStringLiteral("Результат обработки скрипта"));
    setFont(FormFont());
    resize(563, 344);
    setModal(true);
    // Resized by its frame: a size grip would cover the scroll bar's arrow.
    setSizeGripEnabled(false);

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The button's bar is hidden with the button, so that the text fills
    // the window of any other report.
    buttonBar_ = new QWidget(this);
    VerifyButton = new QPushButton(QString::fromUtf8(kVerifyText), buttonBar_);
    VerifyButton->setObjectName(QStringLiteral("VerifyButton"));
    VerifyButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout(buttonBar_);
    buttons->setContentsMargins(6, 6, 6, 6);
    buttons->addStretch();
    buttons->addWidget(VerifyButton);
    buttonBar_->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Memo);
    layout->addWidget(buttonBar_);
}

void TFSSyntaxRep::Append(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        Memo->appendPlainText(QString::fromStdString(line));
}

bool TFSSyntaxRep::ExecOfferingVerify(bool offerVerify)
{
    const bool wasVerifying = std::exchange(verifying_, false);
    VerifyButton->setText(QString::fromUtf8(kVerifyText));
    VerifyButton->setEnabled(true);
    buttonBar_->setVisible(offerVerify);
    if (!offerVerify) {
        exec();
        return false;
    }
    if (wasVerifying && !isVisible())
        return false;

    QEventLoop loop;
    bool asked = false;
    const auto pressed = connect(VerifyButton, &QPushButton::clicked, &loop, [&] {
        asked = true;
        loop.quit();
    });
    const auto closed = connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    if (!isVisible())
        show(); // modal: the main window takes no input meanwhile
    loop.exec();
    disconnect(pressed);
    disconnect(closed);
    if (asked) {
        verifying_ = true;
        VerifyButton->setEnabled(false);
        VerifyButton->setText(QStringLiteral("Проверка…"));
    }
    return asked;
}

void TFSSyntaxRep::Fill(const std::vector<std::string>& lines)
{
    Memo->clear();
    for (const std::string& line : lines)
        Memo->appendPlainText(QString::fromStdString(line));
}
