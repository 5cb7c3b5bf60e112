#include "platform/ui/CMenuResource.h"

#include "platform/core/CResourceModule.h"
#include "platform/desktop/QuotedText.h"

#include <QAction>
#include <QMenu>

namespace {

// A backslash escapes only the quote and itself.
constexpr SQuoteRules kMenuQuotes{"\"\"\\\\", false};

class CMenuParser
{
public:
    explicit CMenuParser(const QByteArray& text) : m_lines(text.split('\n')) {}

    bool ParseItems(std::vector<SMenuItem>& items, int depth)
    {
        while (m_next < m_lines.size()) {
            const int number = int(m_next) + 1;
            m_line = QString::fromUtf8(m_lines[m_next++].trimmed());
            m_pos = 0;
            if (m_line.isEmpty() || m_line.startsWith(QLatin1Char('#')))
                continue;
            const QString keyword = Word();
            if (keyword == "END") {
                if (depth == 0)
                    return Fail(number, "END without POPUP");
                m_closed = true;
                return AtEnd(number);
            }
            SMenuItem item;
            if (keyword == "SEPARATOR") {
                item.kind = SMenuItem::EKind::Separator;
                if (!AtEnd(number))
                    return false;
            } else if (keyword == "ITEM") {
                bool ok = false;
                const int id = Word().toInt(&ok);
                if (!ok || id < 0 || id > 0xFFFF)
                    return Fail(number, "ITEM needs an identifier from 0 to 65535");
                item.id = id;
                if (!Quoted(item.text, number) || !AtEnd(number))
                    return false;
            } else if (keyword == "POPUP") {
                item.kind = SMenuItem::EKind::Popup;
                if (!Quoted(item.text, number) || !AtEnd(number))
                    return false;
                if (depth + 1 >= CMenuResource::kMaxDepth)
                    return Fail(number, "popups nested too deep");
                if (!ParseItems(item.items, depth + 1))
                    return false;
                if (!m_closed)
                    return Fail(number, "POPUP without END");
                m_closed = false;
            } else {
                return Fail(number, "unknown keyword '" + keyword + "'");
            }
            items.push_back(std::move(item));
        }
        return true; // the caller checks m_closed for popups
    }

    QString m_error;
    bool m_closed = false; // the last popup read ended with END

private:
    bool AtEnd(int number)
    {
        SkipSpace();
        if (m_pos != m_line.size())
            return Fail(number, "unexpected text after the entry");
        return true;
    }

    void SkipSpace()
    {
        while (m_pos < m_line.size() && (m_line[m_pos] == QLatin1Char(' ') || m_line[m_pos] == QLatin1Char('\t')))
            ++m_pos;
    }

    QString Word()
    {
        SkipSpace();
        const qsizetype start = m_pos;
        while (m_pos < m_line.size() && m_line[m_pos] != QLatin1Char(' ') && m_line[m_pos] != QLatin1Char('\t') &&
               m_line[m_pos] != QLatin1Char('"'))
            ++m_pos;
        return m_line.mid(start, m_pos - start);
    }

    bool Quoted(QString& text, int number)
    {
        SkipSpace();
        if (m_pos >= m_line.size() || m_line[m_pos] != QLatin1Char('"'))
            return Fail(number, "a text in double quotes is missing");
        bool unterminated = false;
        const std::optional<QString> quoted = ReadQuoted(m_line, m_pos, kMenuQuotes, &unterminated);
        if (!quoted)
            return Fail(number, unterminated ? "unterminated text" : "unknown escape in a text");
        text = *quoted;
        return true;
    }

    bool Fail(int number, const QString& what)
    {
        m_error = QStringLiteral("line %1: %2").arg(number).arg(what);
        return false;
    }

    QList<QByteArray> m_lines;
    qsizetype m_next = 0;
    QString m_line;
    qsizetype m_pos = 0;
};

} // namespace

bool CMenuResource::Parse(const QByteArray& text, std::vector<SMenuItem>& items, QString* error)
{
    items.clear();
    // A NUL byte has no place in the text form; refusing it keeps texts from being cut silently.
    if (text.contains('\0')) {
        if (error)
            *error = QStringLiteral("NUL byte in the menu text");
        return false;
    }
    CMenuParser parser(text);
    if (!parser.ParseItems(items, 0)) {
        items.clear();
        if (error)
            *error = parser.m_error;
        return false;
    }
    return true;
}

bool CMenuResource::Load(const CResourceModule* module, std::uint16_t id)
{
    m_items.clear();
    const HRSRC found = FindResource(module, id, kRtMenu);
    const std::uint8_t* bytes = LockResource(LoadResource(module, found));
    if (!bytes)
        return false;
    const QByteArray text(reinterpret_cast<const char*>(bytes), qsizetype(SizeofResource(module, found)));
    return Parse(text, m_items);
}

const SMenuItem* CMenuResource::SubMenu(int position) const
{
    if (position < 0 || position >= int(m_items.size()))
        return nullptr;
    const SMenuItem& item = m_items[std::size_t(position)];
    return item.kind == SMenuItem::EKind::Popup ? &item : nullptr;
}

QMenu* CMenuResource::BuildMenu(const SMenuItem& popup, QWidget* parent)
{
    auto* menu = new QMenu(popup.text, parent);
    for (const SMenuItem& item : popup.items) {
        switch (item.kind) {
        case SMenuItem::EKind::Separator:
            menu->addSeparator();
            break;
        case SMenuItem::EKind::Command:
            menu->addAction(item.text)->setData(item.id);
            break;
        case SMenuItem::EKind::Popup:
            menu->addMenu(BuildMenu(item, menu));
            break;
        }
    }
    return menu;
}
