#include "link_value_list.h"

#include "link_messages.h"
#include "port_list.h"
#include "tcp_address.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QValidator>

namespace {
constexpr int kPortRow = 0;
constexpr int kSpeedRow = 1;
constexpr int kTimeoutRow = 2;
constexpr int kAddressRow = 3;

// The port is chosen from the list, as a serial port always was; only the
// name of a gateway, tcp://HOST:PORT, may be typed.
class PortNameValidator : public QValidator {
public:
    explicit PortNameValidator(QComboBox& box) : QValidator(&box), box_(box) {}

    State validate(QString& text, int&) const override
    {
        const QString scheme = QString::fromUtf8(kTcpScheme.data(), static_cast<int>(kTcpScheme.size()));
        if (text.startsWith(scheme) || box_.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            return Acceptable;
        if (scheme.startsWith(text))
            return Intermediate;
        for (int i = 0; i < box_.count(); ++i) {
            if (box_.itemText(i).startsWith(text))
                return Intermediate;
        }
        return Invalid;
    }

private:
    QComboBox& box_;
};
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
    portBox_->setValidator(new PortNameValidator(*portBox_));
    portBox_->setToolTip(QStringLiteral("Порт из списка или шлюз tcp://УЗЕЛ:ПОРТ (скорость для шлюза не используется)"));
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

void TLinkValueList::SetPortNames(const std::vector<std::string>& names)
{
    const QString current = portBox_->currentText();
    portBox_->clear();
    for (const std::string& name : names) {
        portBox_->addItem(QString::fromStdString(name));
        // A port the user may not open stays choosable (the permission may
        // come meanwhile) but shows greyed, with the reason as its tip.
        if (PortAccessDenied(name)) {
            const int index = portBox_->count() - 1;
            portBox_->setItemData(index, palette().color(QPalette::Disabled, QPalette::Text), Qt::ForegroundRole);
            portBox_->setItemData(index, QString::fromStdString(PortAccessMessage(name)), Qt::ToolTipRole);
        }
    }
    ShowInBox(portBox_, current.toStdString());
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
    ShowInBox(portBox_, texts.port);
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
