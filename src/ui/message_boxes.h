#pragma once
// The two kinds of message box of the tool; both are modal over the whole
// application and owned by it (no parent window).

#include <QString>

// Error: the application's default caption, OK, error icon.
void ShowErrorBox(const QString& text);

// Confirmation: empty caption, Yes and No, question icon. True for Yes.
bool Confirm(const QString& text);
