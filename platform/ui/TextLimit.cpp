#include "platform/ui/TextLimit.h"

#include <algorithm>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QValidator>

namespace {

// setText does not consult a validator, so only the user's edits meet this one. An edit that leaves the
// text longer than the limit is refused unless it shortens the text (a long preset can still be cut down).
class CLengthValidator final : public QValidator
{
public:
    CLengthValidator(int maxChars, QLineEdit* edit) : QValidator(edit), m_max(maxChars)
    {
        m_length = edit->text().size();
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_length = text.size(); });
    }

    State validate(QString& input, int&) const override
    {
        return input.size() > m_max && input.size() > m_length ? Invalid : Acceptable;
    }

private:
    int m_max;
    qsizetype m_length = 0;
};

// Multi-line fields have no validator: the characters an edit added beyond the limit are taken out again
// right after it, so a paste is cut at the limit and a typed character does not appear.
void LimitDocument(QTextDocument* document, int maxChars)
{
    QObject::connect(document, &QTextDocument::contentsChange, document,
                     [document, maxChars](int position, int removed, int added) {
                         if (added <= removed)
                             return;
                         // characterCount counts the paragraph separator that ends every document.
                         const int length = document->characterCount() - 1;
                         const int before = length - added + removed;
                         const int excess = length - std::max(maxChars, before);
                         if (excess <= 0)
                             return;
                         QTextCursor cursor(document);
                         cursor.setPosition(position + added - excess);
                         cursor.setPosition(position + added, QTextCursor::KeepAnchor);
                         cursor.removeSelectedText();
                     });
}

} // namespace

void LimitText(QWidget* edit, int maxChars)
{
    if (auto* line = qobject_cast<QLineEdit*>(edit))
        line->setValidator(new CLengthValidator(maxChars, line));
    else if (auto* rich = qobject_cast<QTextEdit*>(edit))
        LimitDocument(rich->document(), maxChars);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(edit))
        LimitDocument(plain->document(), maxChars);
}

QString MaxCharsMessage(int maxChars)
{
    return QStringLiteral("Please enter no more than %1 characters.").arg(maxChars);
}
