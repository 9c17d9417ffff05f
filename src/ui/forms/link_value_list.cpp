#include "link_value_list.h"

#include "link_messages.h"
#include "port_list.h"
#include "streams.h"
#include "tcp_address.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>

#include <filesystem>
#include <system_error>

namespace {
constexpr int kPortRow = 0;
constexpr int kSpeedRow = 1;
constexpr int kTimeoutRow = 2;
constexpr int kAddressRow = 3;

// The device a port name stands for, links resolved: COM1 and ttyS0, or a
// /dev/serial/by-id/ link and its ttyUSB0, are one device. A gateway is
// its own name.
std::string DeviceOf(const QString& name)
{
    const std::string text = name.toStdString();
    if (text.rfind(kTcpScheme, 0) == 0)
        return text;
    const std::string path = SerialDevicePath(text);
    std::error_code error;
    const std::filesystem::path device = std::filesystem::weakly_canonical(path, error);
    return error ? path : device.string();
}

int FindDevice(const QComboBox& box, const QString& name)
{
    const std::string device = DeviceOf(name);
    for (int i = 0; i < box.count(); ++i) {
        if (DeviceOf(box.itemText(i)) == device)
            return i;
    }
    return -1;
}
} // namespace

TLinkValueList::TLinkValueList(QWidget* parent) : QTableWidget(4, 2, parent)
{
    setObjectName(QStringLiteral("Link1ValueList"));
    setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setColumnWidth(0, 150);
    setColumnWidth(1, 179);
    verticalHeader()->setVisible(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(20);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AllEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const char* names[] = {"Имя порта", "Скорость порта, бод", "Время таймаута, мсек",
                           "Адрес влагомера"};
    for (int row = 0; row < 4; ++row) {
        auto* name = new QTableWidgetItem(QString::fromUtf8(names[row]));
        name->setFlags(Qt::ItemIsEnabled);
        setItem(row, 0, name);
    }

    portBox_ = new QComboBox(this);
    portBox_->setObjectName(QStringLiteral("PortBox"));
    portBox_->setEditable(true);
    portBox_->setInsertPolicy(QComboBox::NoInsert);
    portBox_->setCompleter(nullptr);
    // Any name may be typed: a device path (/dev/serial/by-id/..., a
    // pseudo-terminal), a listed name or a gateway. "Открыть" checks it.
    portBox_->setToolTip(QStringLiteral("Порт из списка, путь к устройству или шлюз tcp://УЗЕЛ:ПОРТ "
                                        "(скорость для шлюза не используется)"));
    setCellWidget(kPortRow, 1, portBox_);

    speedBox_ = new QComboBox(this);
    speedBox_->setObjectName(QStringLiteral("SpeedBox"));
    speedBox_->setEditable(false);
    speedBox_->addItems({QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                         QStringLiteral("57600"), QStringLiteral("115200")});
    setCellWidget(kSpeedRow, 1, speedBox_);

    setItem(kTimeoutRow, 1, new QTableWidgetItem());
    setItem(kAddressRow, 1, new QTableWidgetItem());
}

std::vector<PortChoice> TLinkValueList::ChoicesOf(const std::vector<PortListEntry>& ports)
{
    std::vector<PortChoice> choices;
    for (const PortListEntry& port : ports) {
        if (port.stableName.empty())
            choices.push_back({port.name, port.tip});
        else
            choices.push_back({port.stableName, port.device});
    }
    return choices;
}

void TLinkValueList::SetPortChoices(const std::vector<PortChoice>& choices)
{
    const QString current = portBox_->currentText();
    portBox_->clear();
    for (const PortChoice& choice : choices) {
        // One entry per device, under the name listed first.
        if (FindDevice(*portBox_, QString::fromStdString(choice.name)) >= 0)
            continue;
        portBox_->addItem(QString::fromStdString(choice.name));
        const int index = portBox_->count() - 1;
        if (!choice.tip.empty())
            portBox_->setItemData(index, QString::fromStdString(choice.tip), Qt::ToolTipRole);
        // A port the user may not open stays choosable (the permission may
        // come meanwhile) but shows greyed, with the reason as its tip.
        if (PortAccessDenied(choice.name)) {
            portBox_->setItemData(index, palette().color(QPalette::Disabled, QPalette::Text), Qt::ForegroundRole);
            portBox_->setItemData(index, QString::fromStdString(PortAccessMessage(choice.name)), Qt::ToolTipRole);
        }
    }
    // A stable name is long: the list opens as wide as its longest entry,
    // the box keeps its place in the grid.
    portBox_->view()->setMinimumWidth(portBox_->view()->sizeHintForColumn(0));
    ShowPort(current.toStdString());
}

void TLinkValueList::ShowPort(const std::string& text)
{
    // A name of a listed device takes that device's entry, so that the
    // list never shows one device twice; the name itself is shown unchanged.
    if (!text.empty()) {
        const QString value = QString::fromStdString(text);
        if (portBox_->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
            if (const int index = FindDevice(*portBox_, value); index >= 0)
                portBox_->setItemText(index, value);
        }
    }
    ShowInBox(portBox_, text);
}

void TLinkValueList::ShowInBox(QComboBox* box, const std::string& text)
{
    // An empty text shows as no choice, not as a blank entry of the list.
    if (text.empty()) {
        box->setCurrentIndex(-1);
        return;
    }
    const QString value = QString::fromStdString(text);
    int index = box->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        box->insertItem(0, value);
        index = 0;
    }
    box->setCurrentIndex(index);
}

void TLinkValueList::SetTexts(const LinkSettingsTexts& texts)
{
    ShowPort(texts.port);
    ShowInBox(speedBox_, texts.speed);
    item(kTimeoutRow, 1)->setText(QString::fromStdString(texts.timeout));
    item(kAddressRow, 1)->setText(QString::fromStdString(texts.address));
}

std::string TLinkValueList::CellText(int row) const
{
    const QTableWidgetItem* cell = item(row, 1);
    return cell ? cell->text().toStdString() : std::string();
}

LinkSettingsTexts TLinkValueList::Texts() const
{
    LinkSettingsTexts texts;
    texts.port = portBox_->currentText().toStdString();
    texts.speed = speedBox_->currentText().toStdString();
    texts.timeout = CellText(kTimeoutRow);
    texts.address = CellText(kAddressRow);
    return texts;
}
