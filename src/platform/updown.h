#pragma once

#include <QPointer>
#include <QWidget>

class MaskEdBox;
class QToolButton;

// An up-down spinner: two arrow buttons stacked one above the other, each half the widget's
// height, that step a number written into a buddy field. Clicking the arrows leaves the focus
// where it is (so the buddy keeps it and sees no Validate); Tab reaches the spinner, and then the
// Up and Down keys step it.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget *parent = nullptr);

    void setBuddy(MaskEdBox *buddy);
    MaskEdBox *buddy() const { return m_buddy; }
    // A max below min is raised to min; the value is clamped into the new range.
    void setRange(int min, int max);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    // Clamped into the range; the buddy is left as it is.
    void setValue(int value);
    int value() const { return m_value; }

    void stepUp() { stepBy(1); }
    void stepDown() { stepBy(-1); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void stepBy(int delta);

    QToolButton *m_up;
    QToolButton *m_down;
    QPointer<MaskEdBox> m_buddy;
    int m_min = 0;
    int m_max = 99;
    int m_value = 0;
};
