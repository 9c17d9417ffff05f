#include "caption_room.h"
#include "message_boxes.h"
#include "modal_answers.h"
#include "progress_bar_form.h"
#include "reg_edit_form.h"
#include "syntax_rep_form.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSizeGrip>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace {

void PressKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

} // namespace

TEST(RegEditForm, ShowsTheWholeTextSelectedAndEnterWrites)
{
    TModBusRegEditForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Изменение значения регистра"));
    // As designed, widened only as far as its caption needs.
    EXPECT_EQ(form.height(), 106);
    EXPECT_EQ(form.width(), std::max(228, CaptionRoomWidth(form)));
    form.ERegValue->setText(QStringLiteral("0.000000"));
    QString selected;
    bool focused = false;
    ModalAnswers answers;
    answers.Expect([&](QWidget* w) { return w == &form; },
                   [&](QWidget*) {
                       selected = form.ERegValue->selectedText();
                       focused = QApplication::focusWidget() == form.ERegValue;
                       form.ERegValue->setText(QStringLiteral("12.5"));
                       PressKey(form.ERegValue, Qt::Key_Return);
                   });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(selected, QStringLiteral("0.000000"));
    EXPECT_TRUE(focused);
    EXPECT_EQ(form.ERegValue->text(), QStringLiteral("12.5"));
}

TEST(RegEditForm, ATypedDecimalCommaBecomesThePoint)
{
    TModBusRegEditForm form;
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {{"-12,5", "-12.5"}, {"1.25", "1.25"}, {"0,000001", "0.000001"}};
    for (const auto& c : cases) {
        form.ERegValue->clear();
        for (const QChar ch : QString::fromUtf8(c.typed)) {
            QKeyEvent press(QEvent::KeyPress, ch == QLatin1Char(',') ? Qt::Key_Comma : 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(form.ERegValue, &press);
        }
        EXPECT_EQ(form.ERegValue->text(), QString::fromUtf8(c.shown)) << c.typed;
    }
}

TEST(RegEditForm, EnterPressesTheFocusedButtonAndTheSelectionStaysWhenTheFocusLeaves)
{
    TModBusRegEditForm form;
    struct Case {
        const char* what;
        QWidget* focus;
        int result;
    };
    const Case cases[] = {
        {"edit box", form.ERegValue, QDialog::Accepted},
        {"Записать", form.Button1, QDialog::Accepted},
        {"Отменить", form.Button2, QDialog::Rejected},
        {"edit box after Отменить", form.ERegValue, QDialog::Accepted},
    };
    for (const Case& c : cases) {
        form.ERegValue->setText(QStringLiteral("25.943027"));
        bool focused = false;
        QString selectedAfterFocusLeft;
        ModalAnswers answers;
        answers.Expect([&](QWidget* w) { return w == &form; },
                       [&](QWidget*) {
                           c.focus->setFocus(Qt::TabFocusReason);
                           focused = QApplication::focusWidget() == c.focus;
                           selectedAfterFocusLeft = form.ERegValue->selectedText();
                           if (focused)
                               PressKey(c.focus, Qt::Key_Return);
                           if (form.isVisible())
                               form.done(-1); // precondition failed: end at once
                       });
        EXPECT_EQ(form.exec(), c.result) << c.what;
        EXPECT_TRUE(answers.Done()) << c.what;
        ASSERT_TRUE(focused) << c.what;
        EXPECT_EQ(selectedAfterFocusLeft, QStringLiteral("25.943027")) << c.what;
    }
}

TEST(RegEditForm, EscapeDoesNotCloseAndCancelRejects)
{
    TModBusRegEditForm form;
    bool visibleAfterEscape = false;
    ModalAnswers answers;
    answers.Expect([&](QWidget* w) { return w == &form; },
                   [&](QWidget*) {
                       PressKey(form.ERegValue, Qt::Key_Escape);
                       form.close();
                       Pump(50);
                       visibleAfterEscape = form.isVisible();
                       form.Button2->click();
                   });
    EXPECT_EQ(form.exec(), QDialog::Rejected);
    EXPECT_TRUE(answers.Done());
    EXPECT_TRUE(visibleAfterEscape);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(ProgressBarForm, OnlyCloseProgressEndsItAndThePositionIsKept)
{
    TProgressBarForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Выполнение запроса"));
    EXPECT_EQ(form.size(), QSize(332, 59));
    EXPECT_EQ(form.ProgressBar->minimum(), 0);
    EXPECT_EQ(form.ProgressBar->maximum(), 1000);
    EXPECT_EQ(form.ProgressBar->value(), 0);
    EXPECT_EQ(form.ProgressBar->geometry(), QRect(16, 16, 297, 17));

    bool stayed = false;
    ModalAnswers answers;
    answers.Expect([&](QWidget* w) { return w == &form; },
                   [&](QWidget*) {
                       PressKey(&form, Qt::Key_Escape);
                       form.close();
                       Pump(50);
                       stayed = form.isVisible();
                       form.SetPosition(730);
                       form.CloseProgress();
                   });
    form.exec();
    EXPECT_TRUE(answers.Done());
    EXPECT_TRUE(stayed);
    EXPECT_FALSE(form.isVisible());

    // A second use starts where the first left the bar.
    int positionAtSecondShow = -1;
    answers.Expect([&](QWidget* w) { return w == &form; },
                   [&](QWidget*) {
                       positionAtSecondShow = form.ProgressBar->value();
                       form.CloseProgress();
                   });
    form.exec();
    EXPECT_EQ(positionAtSecondShow, 730);

    // Positions beyond the range show the bar empty or full.
    const std::pair<int, int> positions[] = {{1050, 1000}, {-5, 0}, {999, 999}};
    for (const auto& [position, shown] : positions) {
        form.SetPosition(position);
        EXPECT_EQ(form.ProgressBar->value(), shown) << position;
    }
}

TEST(SyntaxRepForm, ReplacesItsLinesAndIsResizableWithWrapping)
{
    TFSSyntaxRep form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Результат обработки скрипта"));
    EXPECT_EQ(form.size(), QSize(563, 344));
    form.Fill({"old"});
    form.Fill({"Строка #3, Неверное значение адреса.", "Строка #7, Синтаксическая ошибка."});
    EXPECT_EQ(form.Memo->toPlainText(),
              QStringLiteral("Строка #3, Неверное значение адреса.\nСтрока #7, Синтаксическая ошибка."));
    EXPECT_EQ(form.Memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(form.Memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    form.show();
    form.resize(300, 200);
    Pump(20);
    EXPECT_EQ(form.size(), QSize(300, 200));
    EXPECT_EQ(form.Memo->size(), QSize(300, 200));
    // Nothing covers the scroll bar.
    const QScrollBar* bar = form.Memo->verticalScrollBar();
    const QRect barRect(bar->mapTo(&form, QPoint(0, 0)), bar->size());
    for (const QSizeGrip* grip : form.findChildren<QSizeGrip*>())
        EXPECT_FALSE(grip->isVisible() && QRect(grip->mapTo(&form, QPoint(0, 0)), grip->size()).intersects(barRect));
    form.hide();
}

TEST(MessageBoxes, QtsOwnTextsAreRussian)
{
    QString yes, no;
    ModalAnswers answers;
    answers.Expect([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                   [&](QWidget* w) {
                       auto* box = qobject_cast<QMessageBox*>(w);
                       yes = box->button(QMessageBox::Yes)->text();
                       no = box->button(QMessageBox::No)->text();
                       box->button(QMessageBox::No)->click();
                   });
    EXPECT_FALSE(Confirm(QStringLiteral("Вы уверены?")));
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(yes.remove(QLatin1Char('&')), QStringLiteral("Да"));
    EXPECT_EQ(no.remove(QLatin1Char('&')), QStringLiteral("Нет"));

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));
}

TEST(FixedDialogs, TheCaptionHasRoomAndTheControlsStayInTheMiddle)
{
    TModBusRegEditForm edit;
    TProgressBarForm progress;
    for (QWidget* dialog : std::initializer_list<QWidget*>{&edit, &progress}) {
        const std::string name = dialog->objectName().toStdString();
        EXPECT_GE(dialog->width(), CaptionRoomWidth(*dialog)) << name;
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << name;
        QRect controls;
        for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            controls |= child->geometry();
        // Centred as in the designed layout, whose margins differ by up to 3.
        EXPECT_LE(std::abs(controls.left() - (dialog->width() - controls.right() - 1)), 3) << name;
    }
}
