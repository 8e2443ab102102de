#include "platform/maskedbox.h"
#include "platform/updown.h"

#include <QAccessible>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

class tst_UpDown : public QObject {
    Q_OBJECT
    QWidget m_window;
    MaskEdBox *m_box = nullptr;
    UpDown *m_spin = nullptr;

private Q_SLOTS:
    void initTestCase() {
        m_box = new MaskEdBox(&m_window);
        m_spin = new UpDown(&m_window);
        m_box->setGeometry(0, 0, 40, 17);
        m_spin->setGeometry(40, 0, 15, 17);
        m_spin->setBuddy(m_box);
        m_spin->setRange(10, 60);
        m_spin->setValue(10);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
    }
    void init() {
        m_box->setFocus();
        QTRY_VERIFY(m_box->hasFocus());
    }

    void step_data() {
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up from field") << QStringLiteral("10") << 1 << QStringLiteral("11");
        QTest::newRow("down from field") << QStringLiteral("25") << -1 << QStringLiteral("24");
        QTest::newRow("below range, up") << QStringLiteral("5 ") << 1 << QStringLiteral("10");
        QTest::newRow("blank first, up") << QStringLiteral(" 7") << 1 << QStringLiteral("10");
        QTest::newRow("above range, down") << QStringLiteral("99") << -1 << QStringLiteral("60");
        QTest::newRow("top holds") << QStringLiteral("60") << 1 << QStringLiteral("60");
        QTest::newRow("bottom holds") << QStringLiteral("10") << -1 << QStringLiteral("10");
        QTest::newRow("empty, from last value")
            << QStringLiteral("  ") << 1 << QStringLiteral("11");
    }
    void step() {
        QFETCH(QString, content);
        QFETCH(int, delta);
        QFETCH(QString, expected);
        m_spin->setValue(10);
        m_box->SetText(content);
        QSignalSpy validate(m_box, &MaskEdBox::Validate);
        delta > 0 ? m_spin->stepUp() : m_spin->stepDown();
        QCOMPARE(m_box->Text(), expected);
        QCOMPARE(m_spin->value(), expected.toInt());
        QCOMPARE(validate.count(), 0);
    }

    void staysInRange() {
        QRandomGenerator random(7);
        for (int i = 0; i < 2000; ++i) {
            if (random.bounded(4) == 0)
                m_box->SetText(QString::number(random.bounded(100)));
            random.bounded(2) ? m_spin->stepUp() : m_spin->stepDown();
            QVERIFY(m_spin->value() >= 10 && m_spin->value() <= 60);
            QCOMPARE(m_box->Text().toInt(), m_spin->value());
        }
    }

    // A click on an arrow steps and leaves the focus, so the editing, in the field; Tab reaches
    // the spinner, whose arrow keys then step it.
    void userSteps_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up arrow") << QStringLiteral("upButton") << QStringLiteral("21");
        QTest::newRow("down arrow") << QStringLiteral("downButton") << QStringLiteral("19");
        QTest::newRow("up key") << QStringLiteral("up") << QStringLiteral("21");
        QTest::newRow("down key") << QStringLiteral("down") << QStringLiteral("19");
    }
    void userSteps() {
        QFETCH(QString, how);
        QFETCH(QString, expected);
        m_box->SetText(QStringLiteral("20"));
        if (auto *arrow = m_spin->findChild<QToolButton *>(how)) {
            QSignalSpy validate(m_box, &MaskEdBox::Validate);
            QTest::mouseClick(arrow, Qt::LeftButton);
            QVERIFY(m_box->hasFocus());
            QCOMPARE(validate.count(), 0);
        } else {
            QTest::keyClick(m_box, Qt::Key_Tab);
            QTRY_VERIFY(m_spin->hasFocus());
            QTest::keyClick(m_spin, how == QStringLiteral("up") ? Qt::Key_Up : Qt::Key_Down);
        }
        QCOMPARE(m_box->Text(), expected);
    }

    // Assistive technology sees a spin button, valued as the field's number in the spinner's range.
    void accessibleSpinButton() {
        m_spin->setAccessibleName(QStringLiteral("Timeout up-down"));
        QAccessibleInterface *spin = QAccessible::queryAccessibleInterface(m_spin);
        QVERIFY(spin);
        QCOMPARE(spin->role(), QAccessible::SpinBox);
        QCOMPARE(spin->text(QAccessible::Name), QStringLiteral("Timeout up-down"));
        QAccessibleValueInterface *value = spin->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->minimumValue(), QVariant(10));
        QCOMPARE(value->maximumValue(), QVariant(60));
        QCOMPARE(value->minimumStepSize(), QVariant(1));
        for (int number = 10; number <= 60; ++number) {
            m_box->SetText(QString::number(number));
            QCOMPARE(value->currentValue(), QVariant(number));
            QCOMPARE(spin->text(QAccessible::Value), QString::number(number));
        }
    }

    // Its actions and a value written to it step the field like the arrows, within the range.
    void accessibleSteps_data() {
        QTest::addColumn<QString>("action"); // an action's name, or "set" to write the value
        QTest::addColumn<int>("written");
        QTest::addColumn<QString>("expected");
        QTest::newRow("increase") << QAccessibleActionInterface::increaseAction() << 0 << "21";
        QTest::newRow("decrease") << QAccessibleActionInterface::decreaseAction() << 0 << "19";
        QTest::newRow("set") << "set" << 45 << "45";
        QTest::newRow("set below range") << "set" << 3 << "10";
        QTest::newRow("set above range") << "set" << 99 << "60";
    }
    void accessibleSteps() {
        QFETCH(QString, action);
        QFETCH(int, written);
        QFETCH(QString, expected);
        m_box->SetText(QStringLiteral("20"));
        QAccessibleInterface *spin = QAccessible::queryAccessibleInterface(m_spin);
        QVERIFY(spin && spin->actionInterface() && spin->valueInterface());
        if (action == QLatin1String("set")) {
            spin->valueInterface()->setCurrentValue(written);
        } else {
            QVERIFY(spin->actionInterface()->actionNames().contains(action));
            spin->actionInterface()->doAction(action);
        }
        QCOMPARE(m_box->Text(), expected);
        QCOMPARE(spin->valueInterface()->currentValue(), QVariant(expected.toInt()));
    }

    // Each arrow fills half the height and is drawn whole at the size the window gives it.
    void arrowsVisible_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("15 x 17") << QSize(15, 17);
        QTest::newRow("16 x 22") << QSize(16, 22);
        QTest::newRow("30 x 40") << QSize(30, 40);
    }
    void arrowsVisible() {
        QFETCH(QSize, size);
        UpDown spin(&m_window);
        spin.setGeometry(QRect(QPoint(60, 0), size));
        spin.show();
        const QImage image = spin.grab().toImage();
        const QRgb ink = spin.palette().color(QPalette::ButtonText).rgb();
        const int top = size.height() / 2;
        const QRect halves[] = {QRect(0, 0, size.width(), top),
                                QRect(0, top, size.width(), size.height() - top)};
        const char *names[] = {"upButton", "downButton"};
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(spin.findChild<QToolButton *>(QLatin1String(names[i]))->geometry(), halves[i]);
            int inked = 0;
            for (int y = halves[i].top() + 1; y < halves[i].bottom(); ++y)
                for (int x = 1; x < size.width() - 1; ++x)
                    inked += image.pixel(x, y) == ink;
            QVERIFY2(inked >= 4, names[i]);
        }
    }
};

QTEST_MAIN(tst_UpDown)
#include "tst_updown.moc"
