#pragma once
// The two kinds of message box of the tool; both are modal over the whole
// application, and transient for the window they come over (MessageOwner).

#include <QString>

#include <exception>

// Error: the application's default caption, OK, error icon.
void ShowErrorBox(const QString& text);

// The error box of a lost port, which also offers "Ждать порт". True when
// the user chose to wait for the port.
bool ShowPortLostBox(const QString& text);

// Confirmation: empty caption, Yes and No, question icon. True for Yes.
bool Confirm(const QString& text);

// The report of an exception: its message in an error box; a thrown object
// that is not an exception has an empty message.
void ShowExceptionReport(std::exception_ptr error);
