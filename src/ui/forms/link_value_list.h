#pragma once
// The name/value grid of the link settings: four fixed rows, the first two
// chosen from drop-down lists (the port may also be typed), the last two
// typed.

#include "link_settings.h"

#include <QTableWidget>

#include <string>
#include <vector>

class QComboBox;

class TLinkValueList : public QTableWidget {
    Q_OBJECT
public:
    explicit TLinkValueList(QWidget* parent = nullptr);

    // Fills the port drop-down list (built once per run by the caller).
    void SetPortNames(const std::vector<std::string>& names);

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
