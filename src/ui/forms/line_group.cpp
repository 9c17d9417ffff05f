// The group of the line's RS-485 mode and held lines.
#include "line_group.h"

#include "caption_on_frame_style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

namespace {

QComboBox* MakeHoldBox(QWidget* parent, const char* name, const QString& caption, int x, int y)
{
    auto* label = new QLabel(caption, parent);
    label->setGeometry(x, y + 2, 30, 20);
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(x + 32, y, 95, 22);
    box->addItem(QStringLiteral("не менять"), static_cast<int>(LineHold::Keep));
    box->addItem(QStringLiteral("вкл"), static_cast<int>(LineHold::On));
    box->addItem(QStringLiteral("выкл"), static_cast<int>(LineHold::Off));
    label->setBuddy(box);
    return box;
}

QSpinBox* MakeDelayEdit(QWidget* parent, const char* name, const QString& caption, int x, int labelWidth, int y)
{
    auto* label = new QLabel(caption, parent);
    label->setGeometry(x, y + 2, labelWidth, 20);
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(x + labelWidth + 2, y, 60, 22);
    edit->setRange(0, static_cast<int>(kMaxRs485DelayMs));
    label->setBuddy(edit);
    return edit;
}

LineHold HoldOf(const QComboBox& box) { return static_cast<LineHold>(box.currentData().toInt()); }

void ShowHold(QComboBox& box, LineHold hold) { box.setCurrentIndex(box.findData(static_cast<int>(hold))); }

} // namespace

TLineGroup::TLineGroup(QWidget* parent) : QGroupBox(QStringLiteral("Линия RS-485"), parent)
{
    setObjectName(QStringLiteral("LineGroupBox"));
    setGeometry(146, 384, 655, 80); // below the meter finder, beside the picture
    DrawCaptionOnFrame(*this);

    Rs485Check = new QCheckBox(QStringLiteral("Режим RS-485 (RTS при передаче)"), this);
    Rs485Check->setObjectName(QStringLiteral("Rs485Check"));
    Rs485Check->setGeometry(10, 20, 250, 21);
    Rs485Check->setToolTip(QStringLiteral("Для адаптеров без автоматического переключения приёма и передачи"));
    DelayBeforeEdit = MakeDelayEdit(this, "DelayBeforeEdit", QStringLiteral("Задержка до, мс"), 260, 110, 19);
    DelayAfterEdit = MakeDelayEdit(this, "DelayAfterEdit", QStringLiteral("Задержка после, мс"), 442, 130, 19);
    DtrBox = MakeHoldBox(this, "DtrBox", QStringLiteral("DTR"), 10, 48);
    RtsBox = MakeHoldBox(this, "RtsBox", QStringLiteral("RTS"), 150, 48);
    DtrBox->setToolTip(QStringLiteral("Линия DTR при открытии порта; от неё питаются некоторые преобразователи"));
    RtsBox->setToolTip(QStringLiteral("Линия RTS при открытии порта; в режиме RS-485 ею управляет драйвер"));

    connect(Rs485Check, &QCheckBox::toggled, this, &TLineGroup::Changed);
    for (QSpinBox* edit : {DelayBeforeEdit, DelayAfterEdit})
        connect(edit, &QSpinBox::valueChanged, this, &TLineGroup::Changed);
    for (QComboBox* box : {DtrBox, RtsBox})
        connect(box, &QComboBox::currentIndexChanged, this, &TLineGroup::Changed);
}

LineOptions TLineGroup::Options() const
{
    LineOptions line;
    line.rs485 = Rs485Check->isChecked();
    line.delayBeforeMs = static_cast<std::uint32_t>(DelayBeforeEdit->value());
    line.delayAfterMs = static_cast<std::uint32_t>(DelayAfterEdit->value());
    line.dtr = HoldOf(*DtrBox);
    line.rts = HoldOf(*RtsBox);
    return line;
}

void TLineGroup::SetOptions(const LineOptions& line)
{
    Rs485Check->setChecked(line.rs485);
    DelayBeforeEdit->setValue(static_cast<int>(line.delayBeforeMs));
    DelayAfterEdit->setValue(static_cast<int>(line.delayAfterMs));
    ShowHold(*DtrBox, line.dtr);
    ShowHold(*RtsBox, line.rts);
}
