#pragma once
// The group "Линия RS-485" on the tab "Связь": RS-485 mode with its delays
// and the DTR and RTS held at open. The link takes them at its next open, so
// the group is disabled while the link is open.

#include "line_options.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QSpinBox;

class TLineGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TLineGroup(QWidget* parent);

    LineOptions Options() const;
    void SetOptions(const LineOptions& line);

    QCheckBox* Rs485Check;
    QSpinBox* DelayBeforeEdit;
    QSpinBox* DelayAfterEdit;
    QComboBox* DtrBox;
    QComboBox* RtsBox;

signals:
    // Any option changed, by the user or by SetOptions.
    void Changed();
};
