#include "form_controls.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    return button;
}

QTableWidget* MakeRowList(QWidget* parent, const char* name, QRect geometry, const QStringList& headers,
                          std::initializer_list<int> widths)
{
    auto* list = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(geometry);
    list->setHorizontalHeaderLabels(headers);
    int column = 0;
    for (const int width : widths)
        list->setColumnWidth(column++, width);
    list->verticalHeader()->setVisible(false);
    list->verticalHeader()->setDefaultSectionSize(18);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}
