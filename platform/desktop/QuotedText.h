#pragma once

#include <optional>

#include <QString>
#include <QStringView>

// The double-quoted texts of our line-based formats (DIALOG and MENU resources, Desktop Entry Exec lines)
// share one reader; the formats differ only in which characters a backslash may escape.
struct SQuoteRules
{
    // Pairs of (character after the backslash, character it stands for), e.g. "n\n\"\"\\\\".
    const char* escapes;
    // A backslash before any other character: kept as written (Exec) or an error (resources).
    bool keepUnknownEscapes;
};

// Reads the quoted text whose opening quote is text[pos]; pos ends after the closing quote. Nothing when
// the text is unterminated (unterminated then set) or holds an escape the rules refuse.
std::optional<QString> ReadQuoted(QStringView text, qsizetype& pos, const SQuoteRules& rules,
                                  bool* unterminated = nullptr);
