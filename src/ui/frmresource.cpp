#include "frmresource.h"

#include "platform/picturebox.h"
#include "twips.h"

frmResource::frmResource(QWidget *owner)
    : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmResource"));
    setWindowTitle(QStringLiteral("Form1"));
    resize(twipsToPixels(this, 1848), twipsToPixels(this, 816));
    for (int i = 0; i < FrameCount; ++i) {
        auto *image = new PictureBox(this);
        image->setObjectName(QStringLiteral("Image1_%1").arg(i));
        image->setGeometry(twipsToPixels(this, 360 * i), 0, twipsToPixels(this, 384),
                           twipsToPixels(this, 384));
        image->SetPicture(QPixmap(QStringLiteral(":/pictures/frame%1.ico").arg(i)));
        m_image1[i] = image;
    }
    m_image5 = new PictureBox(this);
    m_image5->setObjectName(QStringLiteral("Image5"));
    m_image5->setGeometry(twipsToPixels(this, 3720), twipsToPixels(this, 720),
                          twipsToPixels(this, 384), twipsToPixels(this, 384));
    m_image5->SetPicture(QPixmap(QStringLiteral(":/pictures/blank.ico")));
}

QPixmap frmResource::Image1(int index) const {
    if (index < 0 || index >= FrameCount)
        return {};
    return m_image1[index]->Picture();
}
