#pragma once

#include <QLabel>

// A picture control: shows one picture at its natural size, its top-left corner staying put.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    const QPixmap &Picture() const { return m_picture; }
    // A null pixmap leaves the control empty at its current size.
    void SetPicture(const QPixmap &picture);

private:
    QPixmap m_picture;
};
