#include "app/CAboutBox.h"

#include "lamp/LampArtwork.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"
#include "platform/ui/CQtDrawTarget.h"
#include "platform/ui/ProgramIcon.h"
#include "resources/ResourceIds.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kIconSize = 32;

// The product picture as the splash window shows it; a null pixmap when the resource cannot be decoded.
QPixmap LoadPicture(int id)
{
    CPLDIB bitmap;
    try {
        CPLAnyDecoder().DecodeResource(nullptr, id, bitmap, 0, kRtBitmap);
    } catch (const CTextException&) {
        return QPixmap();
    }
    if (bitmap.m_width <= 0 || bitmap.m_height <= 0)
        return QPixmap();
    QImage image(bitmap.m_width, bitmap.m_height, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CQtDrawTarget target(painter);
        bitmap.Draw(target, 0, 0, kSrcCopy);
    }
    return QPixmap::fromImage(image);
}

// The product picture drawn for the box's scale, the 1x one where that one is missing; its pixels cover
// device pixels one to one.
QPixmap LoadPictureFor(double devicePixelRatio)
{
    const SLampArtwork wanted = LampArtworkFor(devicePixelRatio);
    for (const SLampArtwork& artwork : {wanted, LampArtworkFor(1.0)}) {
        QPixmap picture = LoadPicture(artwork.picture);
        if (!picture.isNull()) {
            picture.setDevicePixelRatio(artwork.scale);
            return picture;
        }
    }
    return QPixmap();
}

} // namespace

CAboutBox::CAboutBox(QWidget* parent) : CTemplateDialog(kIddAbout, parent) {}

CAboutBox::~CAboutBox() = default;

void CAboutBox::OnInitDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;
    m_secondLink.SubclassDlgItem(kIdcSecondLink, this);
    m_firstLink.SubclassDlgItem(kIdcFirstLink, this);
    // The links take the focus now, but the box still opens on OK, so that Enter closes it.
    if (QWidget* ok = GetDlgItem(kIdOk))
        ok->setFocus();
    // Before the pictures go in: writing a static's text back would clear its picture.
    m_translator.TranslateWindow(this);

    // The template's two empty statics are picture controls: the icon first, then the product picture.
    // Each takes the size of what it shows.
    QList<QLabel*> pictures;
    for (QWidget* child : GetChildWindows(this)) {
        auto* label = qobject_cast<QLabel*>(child);
        if (label && GetDlgCtrlID(label) == -1 && label->text().isEmpty())
            pictures.append(label);
    }
    if (pictures.size() >= 1) {
        const QIcon icon = LoadProgramIcon();
        pictures[0]->setPixmap(icon.pixmap(kIconSize, kIconSize));
        pictures[0]->resize(kIconSize, kIconSize);
    }
    if (pictures.size() >= 2) {
        const QPixmap picture = LoadPictureFor(devicePixelRatioF());
        if (!picture.isNull()) {
            pictures[1]->setPixmap(picture);
            pictures[1]->resize(picture.deviceIndependentSize().toSize());
        }
    }
    setWindowIcon(LoadProgramIcon());
}

void CAboutBox::showEvent(QShowEvent* event)
{
    OnInitDialog();
    CTemplateDialog::showEvent(event);
}

void CAboutBox::Show(QWidget* parent)
{
    CAboutBox box(parent);
    box.DoModal();
}
