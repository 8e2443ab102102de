#include "updown.h"

#include "maskedbox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

// A tool button that draws its own arrow: the style's arrow shrinks to nothing a few pixels
// high, and these buttons are about 15 x 8 pixels.
class ArrowButton : public QToolButton {
public:
    ArrowButton(Qt::ArrowType arrow, QWidget *parent)
        : QToolButton(parent) {
        setArrowType(arrow);
        setFocusPolicy(Qt::NoFocus);
        setAutoRepeat(true);
        setMinimumSize(1, 1);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.arrowType = Qt::NoArrow;
        option.features &= ~QStyleOptionToolButton::Arrow;
        painter.drawComplexControl(QStyle::CC_ToolButton, option);

        // Both arrows take their size from the smaller half so they match.
        const int half = parentWidget() ? parentWidget()->height() / 2 : height();
        const int rows = std::max(1, std::min({half - 4, (width() - 3) / 2, 6}));
        const bool focused = parentWidget() && parentWidget()->hasFocus();
        const QColor color = !isEnabled()
                                 ? palette().color(QPalette::Disabled, QPalette::ButtonText)
                             : focused ? palette().color(QPalette::Highlight)
                                       : palette().color(QPalette::ButtonText);
        const int shift = isDown() ? 1 : 0;
        const int centreX = width() / 2 + shift;
        const int top = (height() - rows) / 2 + shift;
        for (int row = 0; row < rows; ++row) {
            const int halfWidth = arrowType() == Qt::UpArrow ? row : rows - 1 - row;
            painter.fillRect(centreX - halfWidth, top + row, 2 * halfWidth + 1, 1, color);
        }
    }
};

// What assistive technology sees of the spinner: a spin button valued as its buddy's number.
class UpDownAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit UpDownAccessible(UpDown *spin)
        : QAccessibleWidget(spin, QAccessible::SpinBox) {}

    void *interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QString::number(spin()->fieldValue());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return spin()->fieldValue(); }
    void setCurrentValue(const QVariant &value) override {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return;
        spin()->setFieldValue(static_cast<int>(
            std::clamp(std::round(number), double(spin()->minimum()), double(spin()->maximum()))));
    }
    QVariant maximumValue() const override { return spin()->maximum(); }
    QVariant minimumValue() const override { return spin()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << increaseAction() << decreaseAction();
    }
    void doAction(const QString &name) override {
        if (name == increaseAction())
            spin()->stepUp();
        else if (name == decreaseAction())
            spin()->stepDown();
        else
            QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString &name) const override {
        if (name == increaseAction())
            return {QKeySequence(Qt::Key_Up).toString()};
        if (name == decreaseAction())
            return {QKeySequence(Qt::Key_Down).toString()};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    UpDown *spin() const { return static_cast<UpDown *>(object()); }
};

QAccessibleInterface *updownAccessible(const QString &key, QObject *object) {
    if (key == QLatin1String(UpDown::staticMetaObject.className()))
        if (auto *spin = qobject_cast<UpDown *>(object))
            return new UpDownAccessible(spin);
    return nullptr;
}

} // namespace

UpDown::UpDown(QWidget *parent)
    : QWidget(parent)
    , m_up(new ArrowButton(Qt::UpArrow, this))
    , m_down(new ArrowButton(Qt::DownArrow, this)) {
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(updownAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    setFocusPolicy(Qt::TabFocus);
    m_up->setObjectName(QStringLiteral("upButton"));
    m_down->setObjectName(QStringLiteral("downButton"));
    m_up->setAccessibleName(tr("Up"));
    m_down->setAccessibleName(tr("Down"));
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setBuddy(MaskEdBox *buddy) {
    if (m_buddy)
        disconnect(m_buddy, nullptr, this, nullptr);
    m_buddy = buddy;
    if (m_buddy)
        connect(m_buddy, &MaskEdBox::Change, this, &UpDown::announceValue);
}

void UpDown::setRange(int min, int max) {
    m_min = min;
    m_max = std::max(min, max);
    m_value = std::clamp(m_value, m_min, m_max);
}

void UpDown::setValue(int value) {
    m_value = std::clamp(value, m_min, m_max);
}

int UpDown::fieldValue() const {
    if (m_buddy) {
        bool ok = false;
        const int number = QString(m_buddy->Text()).remove(QLatin1Char(' ')).toInt(&ok);
        if (ok)
            return number;
    }
    return m_value;
}

void UpDown::setFieldValue(int value) {
    m_value = std::clamp(value, m_min, m_max);
    if (m_buddy)
        m_buddy->SetText(QString::number(m_value));
}

// A step moves by one from fieldValue() and is then clamped, so a field outside the range comes
// back to its nearest end (with 10..60, "5 " up gives 10, "99" down gives 60) and the ends hold.
void UpDown::stepBy(int delta) {
    setFieldValue(static_cast<int>(std::clamp<qint64>(qint64{fieldValue()} + delta, m_min, m_max)));
}

// Tells a listening screen reader the number changed, however the buddy was written.
void UpDown::announceValue() {
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, fieldValue());
    QAccessible::updateAccessibility(&event);
}

QSize UpDown::sizeHint() const {
    return {16, 22};
}

QSize UpDown::minimumSizeHint() const {
    return {8, 8};
}

void UpDown::resizeEvent(QResizeEvent *event) {
    const int top = height() / 2;
    m_up->setGeometry(0, 0, width(), top);
    m_down->setGeometry(0, top, width(), height() - top);
    QWidget::resizeEvent(event);
}

void UpDown::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Up)
        stepUp();
    else if (event->key() == Qt::Key_Down)
        stepDown();
    else
        QWidget::keyPressEvent(event);
}

void UpDown::focusInEvent(QFocusEvent *event) {
    m_up->update();
    m_down->update();
    QWidget::focusInEvent(event);
}

void UpDown::focusOutEvent(QFocusEvent *event) {
    m_up->update();
    m_down->update();
    QWidget::focusOutEvent(event);
}
