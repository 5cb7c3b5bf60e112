#include "platform/desktop/QuotedText.h"

std::optional<QString> ReadQuoted(QStringView text, qsizetype& pos, const SQuoteRules& rules, bool* unterminated)
{
    if (unterminated)
        *unterminated = false;
    if (pos >= text.size() || text[pos] != QLatin1Char('"'))
        return std::nullopt;
    QString result;
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            pos = i + 1;
            return result;
        }
        if (c != QLatin1Char('\\')) {
            result += c;
            continue;
        }
        if (i + 1 == text.size())
            break;
        const QChar e = text[++i];
        const char* known = nullptr;
        for (const char* p = rules.escapes; *p && p[1]; p += 2) {
            if (e == QLatin1Char(p[0])) {
                known = p;
                break;
            }
        }
        if (known)
            result += QLatin1Char(known[1]);
        else if (rules.keepUnknownEscapes)
            result += QLatin1Char('\\') + e;
        else
            return std::nullopt;
    }
    if (unterminated)
        *unterminated = true;
    return std::nullopt;
}
