#pragma once

#include <QPixmap>
#include <QWidget>

class PictureBox;

// Holds the pictures of the status animation: Image1(0) to Image1(3), and a blank Image5 that
// nothing uses. A window that is never shown, so it never appears on screen or in a task bar.
class frmResource : public QWidget {
    Q_OBJECT
public:
    static constexpr int FrameCount = 4;

    explicit frmResource(QWidget *owner = nullptr);

    // The picture of animation frame index (0 to 3); a null pixmap for any other index.
    QPixmap Image1(int index) const;

private:
    PictureBox *m_image1[FrameCount];
    PictureBox *m_image5;
};
