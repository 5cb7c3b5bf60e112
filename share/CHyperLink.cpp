#include "share/CHyperLink.h"

#include "platform/desktop/IDesktopServices.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/CTemplateDialog.h"
#include "platform/ui/OwnedWindows.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>

const QColor CHyperLink::kLinkColour(0, 0, 255);
const QColor CHyperLink::kVisitedColour(128, 0, 128);
const QColor CHyperLink::kActiveColour(0, 128, 128);
const QColor CHyperLink::kHoverColour(255, 0, 0);

CHyperLink::CHyperLink() = default;

CHyperLink::~CHyperLink()
{
    if (m_control)
        m_control->removeEventFilter(this);
}

bool CHyperLink::SubclassDlgItem(int id, CTemplateDialog* dialog)
{
    return dialog && Attach(qobject_cast<QLabel*>(dialog->GetDlgItem(id)));
}

bool CHyperLink::Attach(QLabel* control)
{
    if (!control || m_control)
        return false;
    m_control = control;
    if (m_strURL.isEmpty())
        m_strURL = control->text();
    if (control->text().isEmpty())
        control->setText(m_strURL);
    // A link is one line; wrapping would undo the fit to its text.
    control->setWordWrap(false);
    m_font = control->font();
    m_font.setUnderline((m_nOptions & kUnderline) != 0);
    control->setFont(m_font);
    FitToText();
    if (!(m_nOptions & kNoHandCursor))
        control->setCursor(Qt::PointingHandCursor);
    control->setToolTip(m_strURL);
    control->setMouseTracking(true);
    // Reached with Tab and read as a link whose press action opens it, like the space bar.
    SetAccessibleRole(*control, QAccessible::Link);
    control->installEventFilter(this);
    Redraw();
    return true;
}

void CHyperLink::SetURL(const QString& address)
{
    m_strURL = address;
    if (!m_control)
        return;
    m_control->hide();
    FitToText();
    m_control->setToolTip(m_strURL);
    m_control->show();
}

void CHyperLink::GotoURL(int showCommand)
{
    const int result = OpenAddress(m_strURL, showCommand);
    if (result <= 32) {
        QApplication::beep();
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                        LinkErrorMessage(result), QMessageBox::Ok, m_control ? m_control->window() : nullptr);
        KeepAboveOwner(box);
        box.exec();
        return;
    }
    m_bVisited = true;
    Redraw();
}

int CHyperLink::OpenAddress(const QString& address, int showCommand)
{
    return IDesktopServices::Current().OpenAddress(address, showCommand);
}

QColor CHyperLink::TextColor() const
{
    if (m_bOverControl && (m_nOptions & kUseHover))
        return kHoverColour;
    if (m_bPressed && !(m_nOptions & kNoActiveColour))
        return kActiveColour;
    if (m_bVisited)
        return kVisitedColour;
    return kLinkColour;
}

bool CHyperLink::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_control)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!m_bOverControl) {
            m_bOverControl = true;
            Redraw();
        } else if (!m_control->rect().contains(move->position().toPoint())) {
            m_bOverControl = false;
            Redraw();
        }
        return false;
    }
    case QEvent::Leave:
        // Stands in for releasing a mouse capture: the pointer has left the control.
        if (m_bOverControl) {
            m_bOverControl = false;
            Redraw();
        }
        return false;
    case QEvent::MouseButtonPress: {
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        if (m_nOptions & kGetFocusOnClick)
            m_control->setFocus(Qt::MouseFocusReason);
        if (m_nOptions & kDownClick)
            GotoURL(3);
        m_bPressed = true;
        Redraw();
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        if (m_bPressed && !(m_nOptions & kDownClick))
            GotoURL(3);
        return true;
    case QEvent::FocusIn:
        m_bPressed = true;
        Redraw();
        return false;
    case QEvent::FocusOut:
        m_bOverControl = false;
        m_bPressed = false;
        Redraw();
        return false;
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter on a link opens it rather than pressing the dialog's default button.
            GotoURL(3);
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

void CHyperLink::FitToText()
{
    if (!m_control || !(m_nOptions & kAutoSize))
        return;
    const QRect window = m_control->geometry();
    const QRect client = m_control->contentsRect();
    const QFontMetrics metrics(m_font);
    const int textWidth = metrics.horizontalAdvance(m_control->text());
    const int textHeight = metrics.height();
    const Qt::Alignment alignment = m_control->alignment();

    int x = window.x();
    int y = window.y();
    int width = client.width();
    int height = client.height();
    if (alignment & Qt::AlignVCenter) {
        const int shrink = (height - textHeight) / 2;
        y += shrink;
        height -= 2 * shrink;
    } else {
        height = textHeight;
    }
    if (alignment & Qt::AlignHCenter) {
        const int shrink = (width - textWidth) / 2;
        x += shrink;
        width -= 2 * shrink;
    } else if (alignment & Qt::AlignRight) {
        x += width - textWidth;
        width = textWidth;
    } else {
        width = textWidth;
    }
    m_control->setGeometry(x, y, width + window.width() - client.width(),
                           height + window.height() - client.height());
    m_control->update();
}

void CHyperLink::Redraw()
{
    if (!m_control)
        return;
    QPalette palette = m_control->palette();
    palette.setColor(QPalette::WindowText, TextColor());
    m_control->setPalette(palette);
    m_control->setAutoFillBackground(false);
    m_control->update();
}

QString LinkErrorText(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("The operating system is out\nof memory or resources.");
    case 2:
        return QStringLiteral("The specified file was not found.");
    case 3:
        return QStringLiteral("The specified path was not found.");
    case 5:
        return QStringLiteral("The operating system denied\naccess to the specified file.");
    case 8:
        return QStringLiteral("There was not enough memory to complete the operation.");
    case 11:
        return QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26:
        return QStringLiteral("A sharing violation occurred. ");
    case 27:
        return QStringLiteral("The filename association is\nincomplete or invalid.");
    case 28:
        return QStringLiteral("The DDE transaction could not\nbe completed because the request timed out.");
    case 29:
        return QStringLiteral("The DDE transaction failed.");
    case 30:
        return QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                              "transactions\nwere being processed.");
    case 31:
        return QStringLiteral("There is no application associated\nwith the given filename extension.");
    case 32:
        return QStringLiteral("The specified dynamic-link library was not found.");
    default:
        return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
    }
}

QString LinkErrorMessage(int code)
{
    return QStringLiteral("Can't open link:\n\n") + LinkErrorText(code);
}
