#pragma once
// The name/value grid of the link settings: four fixed rows, the first two
// chosen from drop-down lists (the port may also be typed), the last two
// typed.

#include "link_settings.h"
#include "port_list.h"

#include <QTableWidget>

#include <string>
#include <utility>
#include <vector>

class QComboBox;

// An entry of the port drop-down list: the name shown and kept in the INI
// file, and what the port is, shown as its tip.
struct PortChoice {
    PortChoice(std::string name, std::string tip = {}) : name(std::move(name)), tip(std::move(tip)) {}
    std::string name;
    std::string tip;
};

class TLinkValueList : public QTableWidget {
    Q_OBJECT
public:
    explicit TLinkValueList(QWidget* parent = nullptr);

    // The entries for the system's ports: a USB adapter under its stable
    // name, so that the INI file finds it again after a replug, with its
    // device as the tip; any other port under its name, with what the
    // system says it is.
    static std::vector<PortChoice> ChoicesOf(const std::vector<PortListEntry>& ports);
    // Fills the port drop-down list (built once per run by the caller).
    void SetPortChoices(const std::vector<PortChoice>& choices);

    // Shows the texts unchanged, also a port or speed that is not in its
    // drop-down list (it is added to the list); an empty text shows as no
    // choice.
    void SetTexts(const LinkSettingsTexts& texts);
    LinkSettingsTexts Texts() const;

    QComboBox* PortBox() const { return portBox_; }
    QComboBox* SpeedBox() const { return speedBox_; }

private:
    static void ShowInBox(QComboBox* box, const std::string& text);
    void ShowPort(const std::string& text);
    std::string CellText(int row) const;

    QComboBox* portBox_;
    QComboBox* speedBox_;
};
