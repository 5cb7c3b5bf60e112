#include "platform/ui/CDialogTemplate.h"

#include "platform/desktop/QuotedText.h"

#include "platform/core/CResourceModule.h"

#include <algorithm>
#include <limits>

#include <QList>

namespace {

const QStringList kDialogStyles = {QStringLiteral("popup"), QStringLiteral("caption"),
                                   QStringLiteral("sysmenu"), QStringLiteral("modalframe"),
                                   QStringLiteral("visible")};

const QStringList kControlStyles = {
    QStringLiteral("pushbutton"),      QStringLiteral("defpushbutton"), QStringLiteral("radiobutton"),
    QStringLiteral("autoradiobutton"), QStringLiteral("checkbox"),      QStringLiteral("autocheckbox"),
    QStringLiteral("groupbox"),        QStringLiteral("hidden"),        QStringLiteral("disabled"),
    QStringLiteral("group"),           QStringLiteral("tabstop"),       QStringLiteral("multiline"),
    QStringLiteral("readonly"),        QStringLiteral("password"),      QStringLiteral("left"),
    QStringLiteral("center"),          QStringLiteral("right"),         QStringLiteral("vscroll"),
    QStringLiteral("border"),          QStringLiteral("autohscroll"),   QStringLiteral("autovscroll"),
    QStringLiteral("wantreturn")};

constexpr SQuoteRules kDialogQuotes{"n\nr\rt\t\"\"\\\\", false};

struct SToken
{
    QString text;
    bool quoted = false;
};

// Splits a line into words and quoted texts; false on an unterminated text or an unknown escape.
bool Tokenise(const QString& line, QList<SToken>& tokens)
{
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        if (line[i].isSpace()) {
            ++i;
            continue;
        }
        SToken token;
        if (line[i] == QLatin1Char('"')) {
            token.quoted = true;
            const std::optional<QString> text = ReadQuoted(line, i, kDialogQuotes);
            if (!text)
                return false;
            token.text = *text;
        } else {
            while (i < n && !line[i].isSpace() && line[i] != QLatin1Char('"'))
                token.text += line[i++];
        }
        tokens.append(token);
    }
    return true;
}

bool ToInt(const SToken& token, int& value)
{
    if (token.quoted)
        return false;
    bool ok = false;
    value = token.text.toInt(&ok, 10);
    return ok;
}

// Reads four integers from tokens[first..]; sizes must not be negative.
bool ToRect(const QList<SToken>& tokens, qsizetype first, QRect& rect)
{
    int v[4];
    for (int k = 0; k < 4; ++k) {
        if (!ToInt(tokens[first + k], v[k]))
            return false;
    }
    if (v[2] < 0 || v[3] < 0)
        return false;
    rect = QRect(v[0], v[1], v[2], v[3]);
    return true;
}

bool ToStyles(const QList<SToken>& tokens, qsizetype first, const QStringList& known, QStringList& styles)
{
    for (qsizetype k = first; k < tokens.size(); ++k) {
        if (tokens[k].quoted || !known.contains(tokens[k].text))
            return false;
        styles.append(tokens[k].text);
    }
    return true;
}

} // namespace

int CDialogTemplate::ToPixels(int dialogUnits, int baseUnit, int divisor)
{
    const long long product = static_cast<long long>(dialogUnits) * baseUnit;
    const long long half = divisor / 2;
    const long long pixels = product >= 0 ? (product + half) / divisor : -((-product + half) / divisor);
    // A hostile template could ask for more than fits; it gets the largest size instead of a wrapped one.
    return static_cast<int>(
        std::clamp<long long>(pixels, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::optional<SDialogTemplate> CDialogTemplate::Parse(const QByteArray& text, QString* error)
{
    SDialogTemplate result;
    bool haveDialog = false;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (qsizetype number = 0; number < lines.size(); ++number) {
        QList<SToken> tokens;
        const QString line = lines[number].trimmed();
        bool ok = !line.startsWith(QLatin1Char('#')) && Tokenise(line, tokens);
        if (line.startsWith(QLatin1Char('#')) || (ok && tokens.isEmpty()))
            continue;
        const QString keyword = ok ? tokens[0].text : QString();
        if (!ok || tokens[0].quoted) {
            ok = false;
        } else if (keyword == QStringLiteral("DIALOG")) {
            ok = !haveDialog && tokens.size() == 5 && ToRect(tokens, 1, result.rect);
            haveDialog = true;
        } else if (keyword == QStringLiteral("CAPTION")) {
            ok = tokens.size() == 2 && tokens[1].quoted;
            if (ok)
                result.caption = tokens[1].text;
        } else if (keyword == QStringLiteral("FONT")) {
            ok = tokens.size() == 3 && ToInt(tokens[1], result.fontPointSize) && result.fontPointSize > 0 &&
                 tokens[2].quoted;
            if (ok)
                result.fontFace = tokens[2].text;
        } else if (keyword == QStringLiteral("STYLE")) {
            ok = ToStyles(tokens, 1, kDialogStyles, result.styles);
        } else if (keyword == QStringLiteral("CONTROL")) {
            SDialogControl control;
            ok = tokens.size() >= 8 && ToInt(tokens[1], control.id) && !tokens[2].quoted &&
                 tokens[3].quoted && ToRect(tokens, 4, control.rect) &&
                 ToStyles(tokens, 8, kControlStyles, control.styles);
            if (ok) {
                control.className = tokens[2].text;
                control.text = tokens[3].text;
                result.controls.push_back(std::move(control));
            }
        } else {
            ok = false;
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(number + 1).arg(line);
            return std::nullopt;
        }
    }
    if (!haveDialog) {
        if (error)
            *error = QStringLiteral("no DIALOG line");
        return std::nullopt;
    }
    return result;
}

std::optional<SDialogTemplate> CDialogTemplate::Load(const CResourceModule* module, std::uint16_t id,
                                                     QString* error)
{
    const HRSRC found = FindResource(module, id, kRtDialog);
    const std::uint8_t* bytes = LockResource(LoadResource(module, found));
    if (!bytes) {
        if (error)
            *error = QStringLiteral("no dialog resource %1").arg(id);
        return std::nullopt;
    }
    return Parse(QByteArray(reinterpret_cast<const char*>(bytes), SizeofResource(module, found)), error);
}
