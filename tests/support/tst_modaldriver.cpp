// The guard that keeps an unexpected modal from stalling a test run.
#include "ModalDriver.h"

#include <QDialog>
#include <QMessageBox>
#include <QTest>

class TestModalDriver : public QObject {
    Q_OBJECT
private slots:
    void closesUnansweredBoxAndKeepsItsText() {
        UnexpectedModalGuard guard;
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"),
                        QStringLiteral("Please enter the Virtual Machine name"));
        box.exec(); // returns only because the guard closes it
        QVERIFY(guard.Opened());
        QCOMPARE(guard.Text(), QStringLiteral("Please enter the Virtual Machine name"));

        // The first one is what a failing test reports.
        QMessageBox second(QMessageBox::Warning, QString(), QStringLiteral("later"));
        second.exec();
        QCOMPARE(guard.Text(), QStringLiteral("Please enter the Virtual Machine name"));
    }

    void namesOtherWindowsByKindAndTitle() {
        UnexpectedModalGuard guard;
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("Edit Virutal Machine vm1"));
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(guard.Text(), QStringLiteral("QDialog \"Edit Virutal Machine vm1\""));
    }

    // A window a test drives is not closed under it, however long it takes.
    void leavesHandedOverAndEarlierModalsAlone() {
        UnexpectedModalGuard outer;
        bool stillOpen = false;
        bool innerSawNothing = false;
        OnNextModal([&](QWidget* modal) {
            UnexpectedModalGuard inner; // made while `modal` is open
            QTest::qWait(300);
            stillOpen = modal->isVisible();
            innerSawNothing = !inner.Opened();
            static_cast<QDialog*>(modal)->accept();
        });
        QDialog dialog;
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(stillOpen);
        QVERIFY(innerSawNothing);
        QVERIFY(!outer.Opened());
    }
};

QTEST_MAIN(TestModalDriver)
#include "tst_modaldriver.moc"
