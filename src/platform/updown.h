#pragma once

#include <QPointer>
#include <QWidget>

class MaskEdBox;
class QToolButton;

// An up-down spinner: two arrow buttons stacked one above the other, each half the widget's
// height, that step a number written into a buddy field. Clicking the arrows leaves the focus
// where it is (so the buddy keeps it and sees no Validate); Tab reaches the spinner, and then the
// Up and Down keys step it. Assistive technology sees a spin button whose value is the buddy's
// number, with increase and decrease actions that step it like the arrows.
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

    // The number a step starts from: the buddy's when it holds one (blanks ignored), else value().
    int fieldValue() const;
    // Sets the value, clamped into the range, and writes it into the buddy, as a step does.
    void setFieldValue(int value);

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
    void announceValue();

    QToolButton *m_up;
    QToolButton *m_down;
    QPointer<MaskEdBox> m_buddy;
    int m_min = 0;
    int m_max = 99;
    int m_value = 0;
};
