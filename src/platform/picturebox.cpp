#include "picturebox.h"

PictureBox::PictureBox(QWidget *parent)
    : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setScaledContents(false);
}

void PictureBox::SetPicture(const QPixmap &picture) {
    m_picture = picture;
    if (picture.isNull()) {
        clear();
        return;
    }
    setPixmap(picture);
    resize(picture.deviceIndependentSize().toSize());
}
