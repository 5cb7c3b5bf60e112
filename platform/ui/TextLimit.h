#pragma once

#include <QString>

class QWidget;

// The length limit of an edit field as the original framework's data exchange sets it: typing and pasting
// stop at maxChars characters, while a text the program put there keeps its whole length (a longer text is
// the caller's to refuse with MaxCharsMessage). Works on QLineEdit, QTextEdit and QPlainTextEdit; other
// widgets are left alone.
void LimitText(QWidget* edit, int maxChars);

// The framework's message for a field that holds more than maxChars characters.
QString MaxCharsMessage(int maxChars);
