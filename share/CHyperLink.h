#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

class QEvent;
class QWidget;
class CTemplateDialog;

// Turns a static text control into a web link: coloured and underlined, a pointing hand over it, a
// tooltip with its address, reached with Tab, opened by a click, the space bar or Enter, purple once
// opened; screen readers read it as a link. Without a control it still opens addresses (SetURL and
// GotoURL), which is how the lamp opens the publisher's pages.
class CHyperLink final : public QObject
{
public:
    enum : int
    {
        kUnderline = 0x01,
        kUseHover = 0x02,
        kAutoSize = 0x04,
        kDownClick = 0x08,
        kGetFocusOnClick = 0x10,
        kNoHandCursor = 0x20,
        kNoActiveColour = 0x40,
        kDefaultOptions = kUnderline | kAutoSize | kGetFocusOnClick,
    };

    static const QColor kLinkColour;
    static const QColor kVisitedColour;
    static const QColor kActiveColour;
    static const QColor kHoverColour;

    CHyperLink();
    ~CHyperLink() override;

    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // Takes over the static control id of dialog; false when it has no such static control.
    bool SubclassDlgItem(int id, CTemplateDialog* dialog);
    // Takes over an existing static control (it stays owned by its parent).
    bool Attach(QLabel* control);
    QLabel* Control() const { return m_control; }

    void SetURL(const QString& address);
    const QString& GetURL() const { return m_strURL; }
    // Set before attaching: the options that shape the control act at attach time.
    void SetOptions(int options) { m_nOptions = options; }
    int GetOptions() const { return m_nOptions; }
    bool IsVisited() const { return m_bVisited; }
    bool IsPressed() const { return m_bPressed; }
    bool IsOverControl() const { return m_bOverControl; }

    // Opens the address; on failure beeps and tells the user why, on success shows the link as opened.
    void GotoURL(int showCommand);
    // The opening routine, usable without a control; a result above 32 is success.
    static int OpenAddress(const QString& address, int showCommand);

    // The colour the text has in the present state.
    QColor TextColor() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitToText();
    void Redraw();

    bool m_bPressed = false;
    bool m_bOverControl = false;
    bool m_bVisited = false;
    int m_nOptions = kDefaultOptions;
    QString m_strURL;
    QFont m_font;
    QPointer<QLabel> m_control;
};

// The text for an opening result of 32 or less.
QString LinkErrorText(int code);
// The message shown when a link cannot be opened.
QString LinkErrorMessage(int code);
