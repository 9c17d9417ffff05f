#pragma once
// Small helpers that the windows share for making their controls.

#include <QRect>
#include <QString>
#include <QStringList>

#include <initializer_list>

class QPushButton;
class QTableWidget;
class QWidget;

// A button with an object name (the control's role), a text and a place.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);

// A read-only list of rows: one column per header, the first columns as wide
// as `widths` says, no row numbers, 18 px rows, one whole row selected at a
// time.
QTableWidget* MakeRowList(QWidget* parent, const char* name, QRect geometry, const QStringList& headers,
                          std::initializer_list<int> widths);
