#include "comma_locale.h"
#include "line_group.h"
#include "link_thread.h"
#include "link_value_list.h"
#include "meter_finder_panel.h"
#include "frozen_sim.h"
#include "meter_sim.h"
#include "modal_answers.h"
#include "tarnel_forms.h"
#include "temp_dir.h"
#include "traffic_tab.h"
#include "trends_tab.h"
#include "user_guide.h"
#include "value_freshness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

const QString kSure = QStringLiteral("Вы уверены?");

// Counts how often a widget was shown.
class ShowCounter : public QObject {
public:
    explicit ShowCounter(QWidget& widget) { widget.installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

std::size_t CountWrites(const MeterSim& sim)
{
    std::size_t writes = 0;
    for (const auto& pdu : sim.Requests())
        writes += !pdu.empty() && (pdu[0] == 6 || pdu[0] == 16);
    return writes;
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = StartFrozenSim();
        ASSERT_TRUE(sim_->Running());
    }

    void TearDown() override
    {
        forms_.reset();
        sim_.reset();
    }

    void CreateForms()
    {
        forms_ = std::make_unique<TarnelForms>(ini_, std::vector<PortChoice>{{"ttyS0"}, {"ttyUSB0"}});
        // These tests put faults between polls and count the meter's
        // requests: no read as found runs between. The history tab's tests
        // take it.
        Form().LinkThread->SetAsFoundSnapshots(false);
        Form().show();
    }

    TTMainForm& Form() { return *forms_->MainForm; }

    void Open()
    {
        Form().SetLinkSettingsTexts({sim_->PortPath(), "115200", "200", "1"});
        Form().Link1OpenButton->click();
        ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
    }

    QString Cell(int row, int column)
    {
        const QTableWidgetItem* item = Form().RegListView->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    void PressEnterOnRow(int row)
    {
        Form().RegListView->selectRow(row);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(Form().RegListView, &press);
    }

    // The value column and the value box drawn grey, as old values are.
    QColor Grey() { return Form().RegListView->palette().color(QPalette::Disabled, QPalette::Text); }
    bool ValuesGrey()
    {
        const QColor grey = Grey();
        for (int row = 0; row < Form().RegListView->rowCount(); ++row) {
            const QVariant brush = Form().RegListView->item(row, 3)->data(Qt::ForegroundRole);
            if (!brush.isValid() || brush.value<QBrush>().color() != grey)
                return false;
        }
        return Form().EParValue->palette().color(QPalette::Text) == grey;
    }
    bool ValuesCurrent()
    {
        for (int row = 0; row < Form().RegListView->rowCount(); ++row)
            if (Form().RegListView->item(row, 3)->data(Qt::ForegroundRole).isValid())
                return false;
        return Form().EParValue->palette().color(QPalette::Text) != Grey();
    }

    bool ServiceControlsEnabled(bool enabled)
    {
        TTMainForm& f = Form();
        for (QWidget* w : {static_cast<QWidget*>(f.RegListView), static_cast<QWidget*>(f.SaveToNVRAMButton),
                           static_cast<QWidget*>(f.LoadFactoryButton), static_cast<QWidget*>(f.LoadVokParamsButton),
                           static_cast<QWidget*>(f.SaveVokParamsButton)})
            if (w->isEnabled() != enabled)
                return false;
        return true;
    }

    TempDir dir_;
    std::string ini_ = dir_.File("vok-tarnel.ini");
    std::unique_ptr<MeterSim> sim_;
    std::unique_ptr<TarnelForms> forms_;
};

} // namespace

TEST_F(MainFormTest, StartState)
{
    CreateForms();
    TTMainForm& f = Form();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("VOK Tarnel V2"));
    EXPECT_EQ(f.centralWidget()->size(), QSize(822, 501));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.PageControl1->tabText(0), QStringLiteral("Сервис"));
    EXPECT_EQ(f.PageControl1->tabText(1), QStringLiteral("Связь"));
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet2);
    EXPECT_EQ(f.ExitMenuItem->text(), QStringLiteral("Выход"));
    EXPECT_EQ(f.menuBar()->layoutDirection(), Qt::RightToLeft);

    EXPECT_TRUE(ServiceControlsEnabled(false));
    EXPECT_TRUE(f.LoadFactoryButton->isHidden());
    EXPECT_FALSE(f.SaveToNVRAMButton->isHidden());
    EXPECT_TRUE(f.Link1OpenButton->isEnabled());
    EXPECT_FALSE(f.Link1CloseButton->isEnabled());
    EXPECT_TRUE(f.EParValue->text().isEmpty());

    const QStringList headers = {"Название", "Адрес", "Тип", "Значение", "WR", "Примечание"};
    const int widths[] = {200, 50, 50, 100, 30, 340};
    ASSERT_EQ(f.RegListView->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(f.RegListView->horizontalHeaderItem(c)->text(), headers[c]);
        EXPECT_EQ(f.RegListView->columnWidth(c), widths[c]);
    }
    ASSERT_EQ(f.RegListView->rowCount(), 16);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("Серийный номер"));
    EXPECT_EQ(Cell(0, 1), QStringLiteral("2001"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral("float"));
    EXPECT_EQ(Cell(14, 1), QStringLiteral("53019"));
    EXPECT_EQ(Cell(14, 2), QStringLiteral("long"));
    for (int row = 0; row < 16; ++row) {
        const RegListItemData* data = f.RowData(row);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(Cell(row, 3), QString::fromStdString(data->GetValueText()));
        EXPECT_EQ(Cell(row, 4), data->Writable ? QStringLiteral("+") : QStringLiteral("<none>")) << row;
        EXPECT_EQ(f.RegListView->item(row, 3)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    }
    EXPECT_EQ(Cell(0, 3), QStringLiteral("0.000000"));
    EXPECT_EQ(Cell(10, 3), QStringLiteral("0"));
    // Nothing has come from the meter yet: the values are grey, and no
    // failed poll is reported.
    EXPECT_TRUE(ValuesGrey());
    EXPECT_TRUE(f.PollStatusLabel->isHidden());

    // The group box's caption stands on its frame line, and the controls
    // near its top lie inside the frame.
    auto* group = qobject_cast<QGroupBox*>(f.Link1GroupBox);
    ASSERT_NE(group, nullptr);
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QStyle* style = group->style();
    const QRect frame = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group);
    const QRect caption = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    EXPECT_LT(caption.top(), frame.top());
    EXPECT_GT(caption.bottom(), frame.top());
    for (const QWidget* inside : {static_cast<QWidget*>(f.Link1OpenButton), static_cast<QWidget*>(f.Link1ValueList)})
        EXPECT_GT(inside->geometry().top(), frame.top()) << inside->objectName().toStdString();

    // With the link closed the timer reaches nothing.
    Pump(1500);
    EXPECT_EQ(sim_->RequestCount(), 0u);
}

TEST_F(MainFormTest, LinkSettingsDefaultWithoutAnIniFile)
{
    CreateForms();
    EXPECT_EQ(Form().GetLinkSettingsTexts(), (LinkSettingsTexts{"COM1", "115200", "200", "1"}));
    EXPECT_GE(Form().Link1ValueList->PortBox()->findText(QStringLiteral("ttyUSB0")), 0);
    EXPECT_EQ(Form().Link1ValueList->PortBox()->findText(QString()), -1) << "a blank entry to choose";
    // COM1 of the defaults is the listed ttyS0: one entry for the device,
    // under the name the settings give.
    QStringList ports;
    for (int i = 0; i < Form().Link1ValueList->PortBox()->count(); ++i)
        ports << Form().Link1ValueList->PortBox()->itemText(i);
    EXPECT_EQ(ports, (QStringList{"COM1", "ttyUSB0"}));
    QStringList speeds;
    for (int i = 0; i < Form().Link1ValueList->SpeedBox()->count(); ++i)
        speeds << Form().Link1ValueList->SpeedBox()->itemText(i);
    EXPECT_EQ(speeds, (QStringList{"9600", "19200", "38400", "57600", "115200"}));
}

TEST_F(MainFormTest, IniValuesAreShownUnchanged)
{
    WriteText(ini_, "[Link1]\nPort=/dev/not-in-list\nSpeed=4800\nTimeout=abc\nAddress=300\n");
    CreateForms();
    EXPECT_EQ(Form().GetLinkSettingsTexts(), (LinkSettingsTexts{"/dev/not-in-list", "4800", "abc", "300"}));
}

TEST_F(MainFormTest, ClosingWritesTheKeysInOrderAndKeepsTheRest)
{
    for (const bool byMenu : {true, false}) {
        WriteText(ini_, "[Window]\nLeft=5\n[Link1]\nAddress=9\n");
        CreateForms();
        Form().SetLinkSettingsTexts({"", "abc", "19", "0"});
        if (byMenu)
            Form().ExitMenuItem->trigger();
        else
            Form().close();
        EXPECT_FALSE(Form().isVisible());
        EXPECT_EQ(ReadText(ini_), "[Window]\nLeft=5\n[Link1]\nAddress=0\nPort=\nSpeed=abc\nTimeout=19\n")
            << (byMenu ? "Выход" : "close box");
        forms_.reset();
    }
}

TEST_F(MainFormTest, FastFramingIsChosenBelowTheLinkSettingsAndKeptInASectionOfItsOwn)
{
    const struct {
        const char* before;
        bool checked;
        const char* after; // once the box has been clicked and the window closed
    } cases[] = {
        {"[Link1]\nPort=ttyS0\n", false,
         "[Link1]\nPort=ttyS0\nSpeed=115200\nTimeout=200\nAddress=1\n[Framing]\nFast=1\n"},
        {"[Framing]\nFast=1\n[Link1]\nPort=ttyS0\n", true,
         "[Framing]\nFast=0\n[Link1]\nPort=ttyS0\nSpeed=115200\nTimeout=200\nAddress=1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        WriteText(ini_, c.before);
        CreateForms();
        QCheckBox* box = Form().FastFramingBox;
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(Form().Link1GroupBox->isAncestorOf(box));
        EXPECT_FALSE(Form().Link1GroupBox->geometry().intersects(box->geometry()));
        EXPECT_FALSE(Form().MeterFinder->geometry().intersects(box->geometry()));
        EXPECT_FALSE(Form().MeterFinder->geometry().intersects(Form().Link1GroupBox->geometry()));
        EXPECT_EQ(box->isChecked(), c.checked);
        EXPECT_EQ(Form().LinkThread->FastFraming(), c.checked);
        box->click();
        EXPECT_EQ(Form().LinkThread->FastFraming(), !c.checked);
        Form().close();
        EXPECT_EQ(ReadText(ini_), c.after);
        forms_.reset();
    }
}

// Each group box of the tab "Связь" holds its controls whole, and neither
// the boxes nor the picture cover one another.
TEST_F(MainFormTest, LinkTabControlsLieWithinTheirBoxes)
{
    CreateForms();
    QWidget* boxes[] = {Form().Link1GroupBox, Form().MeterFinder, Form().LineGroup};
    for (QWidget* box : boxes) {
        SCOPED_TRACE(box->objectName().toStdString());
        for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            SCOPED_TRACE(child->objectName().toStdString());
            EXPECT_TRUE(box->rect().contains(child->geometry()));
        }
    }
    const QRect picture = Form().Image2->geometry();
    EXPECT_FALSE(Form().Link1GroupBox->geometry().intersects(picture));
    EXPECT_FALSE(Form().MeterFinder->geometry().intersects(picture));
    EXPECT_FALSE(Form().MeterFinder->geometry().intersects(Form().Link1GroupBox->geometry()));
}

// The group "Линия RS-485" lies on "Связь" apart from the link settings and
// the meter finder, is locked while the link is open, and a mode the port
// refuses is one box naming the port, with the link left closed and the
// choice kept.
TEST_F(MainFormTest, TheRs485GroupIsItsOwnAndARefusedModeLeavesTheLinkClosed)
{
    CreateForms();
    TLineGroup* group = Form().LineGroup;
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->title(), QStringLiteral("Линия RS-485"));
    EXPECT_TRUE(Form().TabSheet2->isAncestorOf(group));
    EXPECT_FALSE(Form().Link1GroupBox->isAncestorOf(group));
    for (QWidget* other : {static_cast<QWidget*>(Form().Link1GroupBox), static_cast<QWidget*>(Form().MeterFinder),
                           static_cast<QWidget*>(Form().FastFramingBox), static_cast<QWidget*>(Form().Image2)})
        EXPECT_FALSE(group->geometry().intersects(other->geometry())) << other->objectName().toStdString();
    EXPECT_TRUE(group->parentWidget()->rect().contains(group->geometry()));
    ASSERT_EQ(group->Options(), LineOptions{});
    EXPECT_EQ(group->DtrBox->currentText(), QStringLiteral("не менять"));

    // Any box before the expected one is dismissed at once, so that the
    // test fails at its assertions instead of waiting in the box.
    ModalAnswers answers;
    Open();
    EXPECT_FALSE(group->isEnabled());
    Form().Link1CloseButton->click();
    EXPECT_TRUE(group->isEnabled());
    EXPECT_EQ(ReadText(ini_).find("[Line]"), std::string::npos); // all defaults: nothing written
    ASSERT_TRUE(answers.Seen().empty());

    group->Rs485Check->click();
    group->DelayAfterEdit->setValue(4);
    const QString refused = QString::fromStdString("Не удалось открыть порт\nПорт " + sim_->PortPath() +
                                                   " не поддерживает режим RS-485: Inappropriate ioctl for device");
    answers.ExpectBox(refused, QMessageBox::Ok);
    Form().SetLinkSettingsTexts({sim_->PortPath(), "115200", "200", "1"});
    Form().Link1OpenButton->click();
    ASSERT_TRUE(WaitUntil([&] { return answers.Done(); }));
    EXPECT_EQ(answers.Seen(), std::vector<QString>{refused});
    EXPECT_FALSE(Form().LinkThread->IsLinkOpen());
    EXPECT_TRUE(Form().Link1OpenButton->isEnabled());
    EXPECT_FALSE(Form().Link1CloseButton->isEnabled());
    EXPECT_TRUE(ServiceControlsEnabled(false));
    EXPECT_TRUE(group->isEnabled());
    EXPECT_NE(ReadText(ini_).find("[Line]\nRs485=1\nDelayBeforeMs=0\nDelayAfterMs=4\n"), std::string::npos);

    // RS-485 off again: the same port opens as before.
    group->Rs485Check->click();
    Open();
}

TEST_F(MainFormTest, IniWriteFailureIsShownAndTheWindowStillCloses)
{
    const std::string plain = dir_.File("plain");
    WriteText(plain, "x");
    ini_ = plain + "/vok-tarnel.ini";
    CreateForms();
    ModalAnswers answers;
    QString message;
    answers.Expect([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                   [&](QWidget* w) {
                       auto* box = qobject_cast<QMessageBox*>(w);
                       message = box->text();
                       EXPECT_EQ(box->icon(), QMessageBox::Critical);
                       box->button(QMessageBox::Ok)->click();
                   });
    Form().close();
    EXPECT_TRUE(answers.Done());
    EXPECT_TRUE(message.startsWith(QString::fromStdString("Не удалось записать файл настроек " + ini_ + ": ")))
        << message.toStdString();
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(MainFormTest, OpenChecksInOrder)
{
    CreateForms();
    const std::string port = sim_->PortPath();
    struct Case {
        LinkSettingsTexts texts;
        QString message; // empty: opens
    };
    const Case cases[] = {
        {{"", "", "19", "0"}, QStringLiteral("Неверное значение имени порта")},
        {{port, "", "19", "0"}, QStringLiteral("Неверное значение скорости порта")},
        {{port, "9600", "19", "0"}, QStringLiteral("Неверное значение таймаута (от 20 до 500 миллисекунд)")},
        {{port, "9600", "501", "1"}, QStringLiteral("Неверное значение таймаута (от 20 до 500 миллисекунд)")},
        {{port, "9600", "20", "0"}, QStringLiteral("Неверное значение адреса (от 1 до 255)")},
        {{port, "9600", "500", "256"}, QStringLiteral("Неверное значение адреса (от 1 до 255)")},
        {{port, "abc", "200", "1"}, QStringLiteral("'abc' is not a valid integer value")},
        {{dir_.File("no-such-port"), "9600", "200", "1"},
         QString::fromStdString("Не удалось открыть порт\nПорт " + dir_.File("no-such-port") + " не найден")},
        {{port, "12345", "200", "1"},
         QString::fromStdString("Не удалось открыть порт\nПорт " + port + " не поддерживает скорость 12345")},
        {{port, "9600", "20", "1"}, QString()},
        {{port, "4800", "500", "255"}, QString()},
    };
    for (const Case& c : cases) {
        const std::string label = c.texts.port + "|" + c.texts.speed + "|" + c.texts.timeout + "|" + c.texts.address;
        Form().SetLinkSettingsTexts(c.texts);
        ModalAnswers answers;
        if (!c.message.isEmpty())
            answers.ExpectBox(c.message, QMessageBox::Ok);
        Form().Link1OpenButton->click();
        Pump(50);
        EXPECT_TRUE(answers.Done()) << label;
        EXPECT_EQ(answers.Seen().size(), c.message.isEmpty() ? 0u : 1u) << label;
        const bool opened = c.message.isEmpty();
        EXPECT_EQ(Form().Link1CloseButton->isEnabled(), opened) << label;
        EXPECT_EQ(Form().Link1OpenButton->isEnabled(), !opened) << label;
        EXPECT_TRUE(ServiceControlsEnabled(opened)) << label;
        if (opened)
            Form().Link1CloseButton->click();
    }
}

TEST_F(MainFormTest, OpenEnablesTheServiceControlsAndCloseReverses)
{
    CreateForms();
    Open();
    EXPECT_TRUE(ServiceControlsEnabled(true));
    EXPECT_TRUE(Form().LoadFactoryButton->isHidden());
    EXPECT_FALSE(Form().Link1OpenButton->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return sim_->RequestCount() > 0; }));

    Form().Link1CloseButton->click();
    EXPECT_TRUE(ServiceControlsEnabled(false));
    EXPECT_TRUE(Form().Link1OpenButton->isEnabled());
    EXPECT_FALSE(Form().Link1CloseButton->isEnabled());
    Pump(300);
    const std::size_t afterClose = sim_->RequestCount();
    Pump(1500);
    EXPECT_EQ(sim_->RequestCount(), afterClose);
}

TEST_F(MainFormTest, ATypedPortNameOrPathOpensTheLinkAndIsKept)
{
    const auto gateway = StartFrozenTcpSim();
    ASSERT_TRUE(gateway->Running());
    gateway->SetFloat(2000, 4321.0f);
    sim_->SetFloat(2000, 1234.0f);
    const struct {
        std::string port;
        QString serial;
    } cases[] = {
        {gateway->PortPath(), QStringLiteral("4321.000000")}, // tcp://HOST:PORT
        {sim_->PortPath(), QStringLiteral("1234.000000")},    // a device path, not in the list
    };
    for (const auto& c : cases) {
        CreateForms();
        Form().SetLinkSettingsTexts({"ttyS0", "115200", "200", "1"});
        QLineEdit* edit = Form().Link1ValueList->PortBox()->lineEdit();
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        edit->selectAll();
        for (const QChar ch : QString::fromStdString(c.port)) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(edit, &press);
        }
        ASSERT_EQ(Form().GetLinkSettingsTexts().port, c.port);
        Form().Link1OpenButton->click();
        ASSERT_TRUE(Form().Link1CloseButton->isEnabled()) << c.port;
        ASSERT_TRUE(WaitUntil([&] { return Cell(0, 3) == c.serial; })) << Cell(0, 3).toStdString();
        Form().close();
        EXPECT_NE(ReadText(ini_).find("Port=" + c.port + "\n"), std::string::npos) << ReadText(ini_);
        forms_.reset();
    }
}

TEST_F(MainFormTest, ALostPortClosesTheLinkWithOneBox)
{
    CreateForms();
    Open();
    const QString lost = QString::fromStdString("Порт " + sim_->PortPath() +
                                                " потерян (устройство отключено). Связь закрыта.");
    ModalAnswers answers;
    answers.ExpectBox(lost, QMessageBox::Ok);
    sim_->SetVanishAfter(1);
    ASSERT_TRUE(WaitUntil([&] { return answers.Done(); }, std::chrono::seconds(20)));
    // Polls go on ticking: no further box comes, and "Открыть" is ready.
    Pump(2500);
    EXPECT_EQ(answers.Seen(), std::vector<QString>{lost});
    EXPECT_TRUE(Form().Link1OpenButton->isEnabled());
    EXPECT_FALSE(Form().Link1CloseButton->isEnabled());
    EXPECT_TRUE(ServiceControlsEnabled(false));
}

TEST_F(MainFormTest, WaitingForALostPortReopensTheSameAdapterAndNoOther)
{
    TempDir dir;
    const std::string adapter = dir.File("usb-Meter_Bridge_42-if00");
    const struct {
        const char* what;
        bool sameName;
    } cases[] = {{"the adapter returns under its name", true}, {"another adapter comes instead", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(adapter);
        std::filesystem::create_symlink(sim_->PortPath(), adapter);
        CreateForms();
        Form().SetLinkSettingsTexts({adapter, "115200", "200", "1"});
        Form().Link1OpenButton->click();
        ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
        ASSERT_TRUE(WaitUntil([&] { return Cell(0, 3) != QStringLiteral("<none>") && !Cell(0, 3).isEmpty(); }));

        // The adapter is pulled: its box offers to wait, and the window waits.
        ModalAnswers answers;
        answers.Expect(
            [](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                return box && box->text().contains(QStringLiteral("потерян"));
            },
            [](QWidget* w) {
                auto* wait = w->findChild<QPushButton*>(QStringLiteral("WaitForPortButton"));
                ASSERT_NE(wait, nullptr);
                EXPECT_EQ(wait->text(), QStringLiteral("Ждать порт"));
                wait->click();
            });
        sim_->SetVanishAfter(1);
        ASSERT_TRUE(WaitUntil([&] { return answers.Done(); }, std::chrono::seconds(20)));
        std::filesystem::remove(adapter);
        ASSERT_TRUE(WaitUntil([&] { return !Form().PollStatusLabel->isHidden(); }));
        EXPECT_EQ(Form().PollStatusLabel->text(), QString::fromStdString("Ожидание порта " + adapter));
        EXPECT_FALSE(Form().Link1OpenButton->isEnabled());
        EXPECT_TRUE(Form().Link1CloseButton->isEnabled()); // ends the wait
        EXPECT_TRUE(ServiceControlsEnabled(false));

        sim_ = StartFrozenSim();
        sim_->SetFloat(2000, 777.0f);
        std::filesystem::create_symlink(sim_->PortPath(), c.sameName ? adapter : dir.File("usb-Other_Bridge_7-if00"));
        if (c.sameName) {
            ASSERT_TRUE(WaitUntil([&] { return Cell(0, 3) == QStringLiteral("777.000000"); }, std::chrono::seconds(20)));
            EXPECT_TRUE(ServiceControlsEnabled(true));
            EXPECT_FALSE(Form().Link1OpenButton->isEnabled());
        } else {
            Pump(2500); // five attempts
            EXPECT_NE(Cell(0, 3), QStringLiteral("777.000000"));
            EXPECT_TRUE(ServiceControlsEnabled(false));
            Form().Link1CloseButton->click();
            EXPECT_TRUE(Form().Link1OpenButton->isEnabled());
            std::filesystem::create_symlink(sim_->PortPath(), adapter); // too late: the wait has ended
            Pump(1500);
            EXPECT_FALSE(Form().Link1CloseButton->isEnabled());
        }
        EXPECT_EQ(answers.Seen().size(), 1u);
        forms_.reset();
        std::filesystem::remove(dir.File("usb-Other_Bridge_7-if00"));
    }
}

TEST_F(MainFormTest, PollsFillEveryRowAndTheParameterValue)
{
    MeterSim& m = *sim_;
    m.SetFloat(2000, 1234.5f);  // serial
    m.SetFloat(2010, 12.25f);   // water cut truncated
    m.SetFloat(2012, 45.5f);    // medium temperature
    m.SetFloat(2016, 0.0f);     // emulsion phase
    m.SetFloat(53015, 3.5f);    // salinity
    m.SetFloat(53326, -1.25f);  // oil adjust
    m.SetFloat(53626, 2.75f);   // water adjust
    m.SetFloat(2028, 13.0f);    // water cut
    m.SetFloat(53328, 101.5f);  // oil index
    m.SetFloat(53628, 202.5f);  // water index
    m.SetReg(53017, 4);         // operating mode
    m.SetReg(53020, 321);       // firmware
    m.SetReg(42100, 17);        // port address
    m.SetReg(42101, 5);         // port speed
    m.SetU32(53018, 0xDEADBEEFu);
    m.SetFloat(53021, 36.5f);   // board temperature
    m.SetReg(53300, 2);         // selector: item 7 of phase block 0
    m.SetFloat(53312, 7.25f);

    CreateForms();
    Open();
    const QStringList expected = {"1234.500000", "12.250000", "45.500000", "0.000000", "3.500000", "-1.250000",
                                  "2.750000", "13.000000", "101.500000", "202.500000", "4", "321", "17", "5",
                                  "3735928559", "36.500000"};
    ASSERT_TRUE(WaitUntil([&] { return Cell(15, 3) == expected[15]; })) << Cell(15, 3).toStdString();
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(Cell(row, 3), expected[row]) << row;
    EXPECT_EQ(Form().EParValue->text(), QStringLiteral("7.250000"));
}

TEST_F(MainFormTest, EditWritesAWritableRowToTheMeter)
{
    sim_->SetFloat(53015, 3.5f);
    CreateForms();
    Open();
    ASSERT_TRUE(WaitUntil([&] { return Cell(4, 3) == QStringLiteral("3.500000"); }));
    ModalAnswers answers;
    QString selected;
    answers.Expect([&](QWidget* w) { return w == forms_->ModBusRegEditForm.get(); },
                   [&](QWidget*) {
                       selected = forms_->ModBusRegEditForm->ERegValue->selectedText();
                       forms_->ModBusRegEditForm->ERegValue->setText(QStringLiteral("1.5"));
                       forms_->ModBusRegEditForm->Button1->click();
                   });
    PressEnterOnRow(4);
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(selected, QStringLiteral("3.500000"));
    EXPECT_EQ(Form().EditedRegData, Form().RowData(4));
    // "Соленость, %" writes register number 2021, protocol 2020.
    EXPECT_TRUE(WaitUntil([&] { return sim_->Float(2020) == 1.5f; }));
}

TEST_F(MainFormTest, ReadOnlyRowsAndCancelPostNothing)
{
    CreateForms();
    Open();
    ModalAnswers answers;
    PressEnterOnRow(0);
    emit Form().RegListView->cellDoubleClicked(0, 0);
    Pump(100);
    EXPECT_TRUE(answers.Seen().empty());

    answers.Expect([&](QWidget* w) { return w == forms_->ModBusRegEditForm.get(); },
                   [&](QWidget*) {
                       forms_->ModBusRegEditForm->ERegValue->setText(QStringLiteral("9"));
                       forms_->ModBusRegEditForm->Button2->click();
                   });
    Form().RegListView->selectRow(12);
    emit Form().RegListView->cellDoubleClicked(12, 0);
    EXPECT_TRUE(answers.Done());
    // Enter on the focused "Отменить" presses "Отменить".
    bool focused = false;
    answers.Expect([&](QWidget* w) { return w == forms_->ModBusRegEditForm.get(); },
                   [&](QWidget*) {
                       TModBusRegEditForm& edit = *forms_->ModBusRegEditForm;
                       edit.ERegValue->setText(QStringLiteral("9"));
                       edit.Button2->setFocus(Qt::TabFocusReason);
                       focused = QApplication::focusWidget() == edit.Button2;
                       QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                       if (focused)
                           QApplication::sendEvent(edit.Button2, &press);
                       if (edit.isVisible())
                           edit.done(QDialog::Rejected);
                   });
    emit Form().RegListView->cellDoubleClicked(12, 0);
    EXPECT_TRUE(answers.Done());
    ASSERT_TRUE(focused);
    // Two polls later still no write has reached the meter.
    const std::size_t requests = sim_->RequestCount();
    ASSERT_TRUE(WaitUntil([&] { return sim_->RequestCount() >= requests + 10; }));
    EXPECT_EQ(CountWrites(*sim_), 0u);
    EXPECT_EQ(answers.Seen().size(), 2u);
}

TEST_F(MainFormTest, NvramCommitAsksFirstAndShowsTheProgressDialog)
{
    CreateForms();
    Open();
    ShowCounter progressShows(*forms_->ProgressBarForm);
    {
        ModalAnswers answers;
        answers.ExpectBox(kSure, QMessageBox::No);
        Form().SaveToNVRAMButton->click();
        EXPECT_TRUE(answers.Done());
        Pump(200);
        EXPECT_EQ(progressShows.shows, 0);
        EXPECT_EQ(sim_->GetCounters().nvramCommits, 0);
    }
    {
        ModalAnswers answers;
        answers.ExpectBox(kSure, QMessageBox::Yes);
        Form().SaveToNVRAMButton->click();
        EXPECT_TRUE(answers.Done());
        EXPECT_EQ(progressShows.shows, 1);
        EXPECT_FALSE(forms_->ProgressBarForm->isVisible());
        EXPECT_EQ(sim_->GetCounters().nvramCommits, 1);
        EXPECT_EQ(forms_->ProgressBarForm->ProgressBar->value(), 1000);
        EXPECT_FALSE(Form().PollStatusLabel->isHidden());
        EXPECT_EQ(Form().PollStatusLabel->text(), QStringLiteral("Изменения сохранены в NVRAM"));
    }

    // A meter that still shows the command after the last read-back: the
    // commit is not confirmed, and the engineer is told so before the
    // progress dialog goes.
    sim_->SetNvramClearReads(MeterSimOptions::kNever);
    // No polls queue up meanwhile (a full queue would refuse the commit).
    Form().Timer1->stop();
    ASSERT_TRUE(WaitUntil([&] {
        const std::size_t before = sim_->RequestCount();
        Pump(300);
        return sim_->RequestCount() == before;
    }));
    bool progressUpAtMessage = false;
    ModalAnswers unconfirmed;
    unconfirmed.ExpectBox(kSure, QMessageBox::Yes);
    unconfirmed.Expect(
        [](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            return box && box->text() == QStringLiteral("Сохранение в NVRAM не подтверждено влагомером");
        },
        [&](QWidget* w) {
            progressUpAtMessage = forms_->ProgressBarForm->isVisible();
            qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
        });
    Form().SaveToNVRAMButton->click();
    EXPECT_TRUE(unconfirmed.Done());
    EXPECT_TRUE(progressUpAtMessage);
    EXPECT_FALSE(forms_->ProgressBarForm->isVisible());
    EXPECT_EQ(sim_->GetCounters().nvramCommits, 2);
}

TEST_F(MainFormTest, DumpAndLoadThroughTheButtons)
{
    sim_->SetFloat(2000, 777.0f);
    CreateForms();
    Open();
    ShowCounter progressShows(*forms_->ProgressBarForm);
    const std::string file = dir_.File("params.txt");

    ModalAnswers answers;
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    Form().SaveVokParamsButton->click();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(progressShows.shows, 1);
    EXPECT_FALSE(forms_->ProgressBarForm->isVisible());
    const std::string dump = ReadText(file);
    EXPECT_NE(dump.find("777"), std::string::npos);
    // Its last stage stands beyond the range: the bar ended full.
    EXPECT_EQ(forms_->ProgressBarForm->ProgressBar->value(), 1000);

    // An existing file is overwritten only after Yes.
    WriteText(file, "marker\n");
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    answers.ExpectBox(QStringLiteral("Файл существует. Переписать?"), QMessageBox::No);
    Form().SaveVokParamsButton->click();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(ReadText(file), "marker\n");
    EXPECT_EQ(progressShows.shows, 1);
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    answers.ExpectBox(QStringLiteral("Файл существует. Переписать?"), QMessageBox::Yes);
    Form().SaveVokParamsButton->click();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(ReadText(file), dump);

    // Loading: No posts nothing.
    answers.ExpectBox(kSure, QMessageBox::No);
    Form().LoadVokParamsButton->click();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(CountWrites(*sim_), 0u);

    QString report;
    answers.ExpectBox(kSure, QMessageBox::Yes);
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    answers.Expect([&](QWidget* w) { return w == forms_->FSSyntaxRep.get(); },
                   [&](QWidget*) {
                       report = forms_->FSSyntaxRep->Memo->toPlainText();
                       forms_->FSSyntaxRep->close();
                   });
    Form().LoadVokParamsButton->click();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(progressShows.shows, 3);
    EXPECT_FALSE(forms_->ProgressBarForm->isVisible());
    EXPECT_TRUE(report.startsWith(QStringLiteral("Запись по адресу 2001 выполнена.\n"))) << report.toStdString();
    EXPECT_TRUE(report.endsWith(QStringLiteral("\nПрименена команда загрузки конфигурации (без записи в NVRAM).")))
        << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("Ошибка")));
    EXPECT_EQ(sim_->GetCounters().applies, 1);
    EXPECT_GT(CountWrites(*sim_), 10u);
}

TEST_F(MainFormTest, ValuesOfAFailedPollAreGreyUntilAPollSucceeds)
{
    CreateForms();
    Open();
    ASSERT_TRUE(WaitUntil([&] { return ValuesCurrent(); }));
    EXPECT_TRUE(Form().PollStatusLabel->isHidden());

    using Reason = TValueFreshness::Reason;
    struct Case {
        const char* what;
        std::function<void()> fault;
        QString message;
        Reason reason;
    };
    const Case cases[] = {
        {"refused", [&] { sim_->SetExceptionRange(53011, 53011, 2); },
         QStringLiteral("Запрошен неверный адрес регистра"), Reason::Refused},
        // A request and all its repeats answered with a wrong CRC.
        {"no valid answer", [&] { sim_->SetBadCrcAnswers(102); }, QStringLiteral("Ошибка связи с влагомером"),
         Reason::NoAnswer},
    };
    for (const Case& c : cases) {
        // While the poll's error box is up, the values are grey and the
        // status line says why.
        bool grey = false;
        QString status;
        ModalAnswers answers;
        answers.Expect([&c](QWidget* w) {
                           auto* box = qobject_cast<QMessageBox*>(w);
                           return box && box->text() == c.message;
                       },
                       [&](QWidget* w) {
                           grey = ValuesGrey();
                           status = Form().PollStatusLabel->isHidden() ? QString() : Form().PollStatusLabel->text();
                           sim_->ClearExceptionRange();
                           qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
                       });
        c.fault();
        ASSERT_TRUE(WaitUntil([&] { return answers.Done(); })) << c.what;
        EXPECT_TRUE(grey) << c.what;
        EXPECT_EQ(status, TValueFreshness::StatusText(c.reason)) << c.what;
        // The next poll answers: current again, and the status line goes.
        ASSERT_TRUE(WaitUntil([&] { return ValuesCurrent(); })) << c.what;
        EXPECT_TRUE(Form().PollStatusLabel->isHidden()) << c.what;
    }

    // Closing keeps the last values, grey, without a failure to report.
    Form().Link1CloseButton->click();
    EXPECT_TRUE(ValuesGrey());
    EXPECT_TRUE(Form().PollStatusLabel->isHidden());
    EXPECT_NE(Cell(0, 3), QStringLiteral("0.000000"));
}

TEST_F(MainFormTest, ASilentMeterIsToldFromTheFirstUnansweredAttempt)
{
    CreateForms();
    Form().SetLinkSettingsTexts({sim_->PortPath(), "115200", "100", "1"});
    Form().Link1OpenButton->click();
    ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return ValuesCurrent(); }));
    sim_->SetSilent(true);
    // Long before the poll's 102 attempts are spent, the status line says
    // that the meter is not answering and which repeat is going out.
    QString status;
    ASSERT_TRUE(WaitUntil([&] {
        status = Form().PollStatusLabel->isHidden() ? QString() : Form().PollStatusLabel->text();
        return status.startsWith(QStringLiteral("Нет ответа, повтор "));
    }));
    EXPECT_TRUE(status.endsWith(QStringLiteral(" из 102"))) << status.toStdString();
    const int attempt = status.section(QLatin1Char(' '), 3, 3).toInt();
    EXPECT_GE(attempt, 2);
    EXPECT_LT(attempt, 102);
    // An answer again: the status line goes with the next good poll.
    sim_->SetSilent(false);
    ASSERT_TRUE(WaitUntil([&] { return Form().PollStatusLabel->isHidden(); }));
    EXPECT_TRUE(ValuesCurrent());
}

TEST(ValueFreshness, ASelectedRowShowsItsStaleValueGrey)
{
    QTableWidget list(1, 1);
    list.setItem(0, 0, new QTableWidgetItem(QStringLiteral("123.456789")));
    QLineEdit box;
    QLabel status;
    TValueFreshness freshness(list, 0, box, status);
    list.resize(200, 80);
    list.show();
    const QRect cell = list.visualItemRect(list.item(0, 0));
    const auto grab = [&] { return list.viewport()->grab(cell).toImage(); };
    for (const bool selected : {false, true}) {
        if (selected)
            list.selectRow(0);
        else
            list.clearSelection();
        freshness.Fresh();
        const QImage fresh = grab();
        freshness.Stale(TValueFreshness::Reason::NoAnswer);
        const QImage stale = grab();
        EXPECT_NE(fresh, stale) << "selected " << selected;
    }
}

TEST_F(MainFormTest, TheDataLogStyleFollowsTheLocale)
{
    const CommaLocale comma;
    ASSERT_TRUE(comma.Built());
    const struct {
        std::string locpath;
        const char* numeric;
        int style; // of "Разделитель в файле:": 0 «,» и точка, 1 «;» и запятая
    } cases[] = {
        {comma.Folder(), CommaLocale::kName, 1},
        {"", "C", 0},
    };
    const std::string savedAll = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    const std::string savedLang = std::getenv("LANG") ? std::getenv("LANG") : "";
    unsetenv("LC_ALL");
    unsetenv("LANG");
    for (const auto& c : cases) {
        setenv("LOCPATH", c.locpath.c_str(), 1);
        setenv("LC_NUMERIC", c.numeric, 1);
        CreateForms();
        EXPECT_EQ(Form().Trends->SeparatorBox->currentIndex(), c.style) << c.numeric;
        forms_.reset();
    }
    unsetenv("LOCPATH");
    unsetenv("LC_NUMERIC");
    if (!savedAll.empty())
        setenv("LC_ALL", savedAll.c_str(), 1);
    if (!savedLang.empty())
        setenv("LANG", savedLang.c_str(), 1);
}

TEST_F(MainFormTest, ModalWindowsStayTransientForTheMainWindow)
{
    CreateForms();
    QWindow* main = Form().windowHandle();
    ASSERT_NE(main, nullptr);
    for (QWidget* dialog : std::initializer_list<QWidget*>{forms_->ModBusRegEditForm.get(),
                                                           forms_->ProgressBarForm.get(), forms_->FSSyntaxRep.get()}) {
        ASSERT_NE(dialog->windowHandle(), nullptr) << dialog->objectName().toStdString();
        EXPECT_EQ(dialog->windowHandle()->transientParent(), main) << dialog->objectName().toStdString();
    }
    // A message box comes over the window that asked for it.
    QWindow* boxParent = nullptr;
    ModalAnswers answers;
    answers.Expect([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                   [&](QWidget* w) {
                       boxParent = w->windowHandle() ? w->windowHandle()->transientParent() : nullptr;
                       qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
                   });
    Form().SetLinkSettingsTexts({"", "115200", "200", "1"});
    Form().Link1OpenButton->click();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(boxParent, main);
}

TEST(UserGuide, LiesBesideTheInstalledProgram)
{
    TempDir dir;
    const std::filesystem::path root = dir.Path();
    const std::string debian = (root / "share/vok-tarnel/guide/guide.html").string();
    const std::string own = (root / "bin/guide/guide.html").string();
    const struct {
        std::vector<std::string> present;
        std::string found;
    } cases[] = {
        {{debian, own}, debian},
        {{own}, own},
        {{}, debian}, // where it should be, for the message
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(root / "share");
        std::filesystem::remove_all(root / "bin");
        std::filesystem::create_directories(root / "bin");
        for (const std::string& file : c.present) {
            std::filesystem::create_directories(std::filesystem::path(file).parent_path());
            WriteText(file, "<html></html>");
        }
        EXPECT_EQ(UserGuidePath((root / "bin").string()), c.found);
    }
}

TEST_F(MainFormTest, F1OpensTheUserGuideOrSaysWhereItIsMissing)
{
    CreateForms();
    const std::string path = UserGuidePath(QCoreApplication::applicationDirPath().toStdString());
    ASSERT_FALSE(std::filesystem::exists(path)) << "a guide beside the test program would open a browser";
    QShortcut* help = nullptr;
    for (QShortcut* shortcut : Form().findChildren<QShortcut*>())
        if (shortcut->key() == QKeySequence(Qt::Key_F1))
            help = shortcut;
    ASSERT_NE(help, nullptr);
    ModalAnswers answers;
    answers.ExpectBox(QStringLiteral("Руководство пользователя не найдено: ") + QString::fromStdString(path),
                      QMessageBox::Ok);
    emit help->activated();
    EXPECT_TRUE(answers.Done());
}

TEST_F(MainFormTest, FileDialogsOpenInTheLastFolderOfTheirKind)
{
    TempDir files;
    const struct {
        std::function<QFileDialog*()> dialog;
        std::string folder;
        std::function<QFileDialog*()> sameKind;
        std::function<QFileDialog*()> otherKind;
        const char* key;
    } cases[] = {
        {[&] { return Form().OpenVokParamsDialog; }, files.File("params"), [&] { return Form().SaveVokParamsDialog; },
         [&] { return Form().Trends->RecordFileDialog; }, "ParamFiles"},
        {[&] { return Form().Trends->RecordFileDialog; }, files.File("logs"), [&] { return Form().Trends->RecordFileDialog; },
         [&] { return Form().TrafficTab->SaveLogDialog; }, "DataLog"},
    };
    for (const auto& c : cases) {
        CreateForms();
        std::filesystem::create_directories(c.folder);
        const std::string file = c.folder + "/chosen.txt";
        // A file to open exists; one to save to does not (no question to replace it).
        if (c.dialog()->acceptMode() == QFileDialog::AcceptOpen)
            WriteText(file, "");
        const QString otherBefore = c.otherKind()->directory().absolutePath();
        c.dialog()->selectFile(QString::fromStdString(file));
        static_cast<QDialog*>(c.dialog())->accept(); // as its "Open" or "Save" button
        EXPECT_EQ(c.sameKind()->directory().absolutePath().toStdString(), c.folder) << c.key;
        EXPECT_EQ(c.otherKind()->directory().absolutePath(), otherBefore) << c.key;
        Form().close();
        EXPECT_NE(ReadText(ini_).find(std::string(c.key) + "=" + c.folder + "\n"), std::string::npos) << ReadText(ini_);
        forms_.reset();
        // The next run opens there.
        CreateForms();
        EXPECT_EQ(c.dialog()->directory().absolutePath().toStdString(), c.folder) << c.key;
        forms_.reset();
    }
}
