// The report list: rows, texts, selection and the click notifications.
#include "ListTestUtil.h"
#include "dialog/ListViewCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Fixture {
    QWidget window;
    CListViewCtrl* list;
    explicit Fixture(int rows = 0) {
        window.resize(500, 400);
        list = new CListViewCtrl(&window);
        list->setGeometry(10, 10, 400, 300);
        list->InsertColumn(0, "Name", 100);
        list->InsertColumn(1, "Arch", 100);
        for (int i = 0; i < rows; ++i) {
            const int at = list->InsertItem(i, "vm" + std::to_string(i));
            list->SetItemText(at, 1, "arm");
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QPoint belowRows() const {
        const int n = list->GetItemCount();
        const QRect last = n ? list->visualRect(list->model()->index(n - 1, 0)) : QRect();
        return QPoint(20, last.bottom() + 20);
    }
};

// The pointer moves onto `pos` of the list's viewport with no button held.
void Rest(CListViewCtrl* list, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, list->viewport()->mapToGlobal(pos), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
}

std::vector<std::string> Column0(const CListViewCtrl* list) {
    std::vector<std::string> names;
    for (int i = 0; i < list->GetItemCount(); ++i)
        names.push_back(list->GetItemText(i, 0));
    return names;
}

} // namespace

class TestListViewCtrl : public QObject {
    Q_OBJECT
private slots:
    void rowsAndTexts() {
        Fixture f;
        CListViewCtrl* l = f.list;
        QCOMPARE(l->InsertItem(0, "b"), 0);
        QCOMPARE(l->InsertItem(0, "a"), 0);
        QCOMPARE(l->InsertItem(99, "d"), 2); // beyond the end: appended
        QCOMPARE(l->InsertItem(2, "c"), 2);
        QCOMPARE(l->InsertItem(-5, "e"), 4);
        QCOMPARE(Column0(l), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
        l->SetItemText(2, 1, "mips");
        QCOMPARE(l->GetItemText(2, 1), std::string("mips"));
        QCOMPARE(l->GetItemText(3, 1), std::string());
        QCOMPARE(l->GetItemText(17, 0), std::string());
        QCOMPARE(l->GetItemText(0, 9), std::string());
        l->SetItemText(17, 0, "ignored");
        l->SetItemText(0, 9, "ignored");
        l->DeleteItem(1);
        l->DeleteItem(99);
        l->DeleteItem(-1);
        QCOMPARE(Column0(l), (std::vector<std::string>{"a", "c", "d", "e"}));
        QCOMPARE(l->GetItemCount(), 4);
        l->InsertColumn(1, "Mid", 50); // existing cells move right
        QCOMPARE(l->GetItemText(1, 2), std::string("mips"));
        QCOMPARE(l->GetItemText(1, 1), std::string());
    }

    void bytesComeBackExactly_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("utf-8") << QByteArray("\xE6\x96\xB0 vm");
        QTest::newRow("latin-1") << QByteArray("Ger\xE4t");
        QTest::newRow("ff") << QByteArray("\xFF");
        QTest::newRow("empty") << QByteArray();
    }
    void bytesComeBackExactly() {
        QFETCH(QByteArray, bytes);
        Fixture f;
        const std::string text(bytes.constData(), size_t(bytes.size()));
        const int row = f.list->InsertItem(0, text);
        f.list->SetItemText(row, 1, text);
        QCOMPARE(f.list->GetItemText(row, 0), text);
        QCOMPARE(f.list->GetItemText(row, 1), text);
        QCOMPARE(f.list->model()->index(row, 0).data().toString(), QString::fromLocal8Bit(bytes));
    }

    void presentation() {
        Fixture f(3);
        CListViewCtrl* l = f.list;
        QVERIFY(l->verticalHeader()->isHidden());
        QVERIFY(!l->isSortingEnabled());
        QCOMPARE(l->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(l->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(l->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(l->columnWidth(0), 100);
        const QAbstractItemModel* m = l->model();
        QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Arch"));
        QVERIFY(m->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter);
        QVERIFY(m->index(1, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter);
        QVERIFY(m->index(1, 0).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter);
        QVERIFY(!(m->flags(m->index(1, 0)) & Qt::ItemIsEditable));
        QVERIFY(!l->showGrid());
        l->SetGridLines(true);
        QVERIFY(l->showGrid());
        QCOMPARE(l->ClientWidth(), l->viewport()->width());
        // A click on a heading sorts nothing.
        const QPoint heading(l->horizontalHeader()->sectionViewportPosition(0) + 5, 5);
        QTest::mouseClick(l->horizontalHeader()->viewport(), Qt::LeftButton, {}, heading);
        QCOMPARE(Column0(l), (std::vector<std::string>{"vm0", "vm1", "vm2"}));
        l->InsertItem(0, "zz");
        QTest::mouseClick(l->horizontalHeader()->viewport(), Qt::LeftButton, {}, heading);
        QCOMPARE(l->GetItemText(0, 0), std::string("zz"));
    }

    void clientWidthBeforeShow() {
        QWidget parent;
        auto* l = new CListViewCtrl(&parent);
        l->setGeometry(0, 0, 300, 200);
        const int before = l->ClientWidth();
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(before, l->viewport()->width());
    }

    void firstSelected() {
        Fixture f(6);
        CListViewCtrl* l = f.list;
        QCOMPARE(l->GetFirstSelected(), -1);
        l->selectRow(4);
        QCOMPARE(l->GetFirstSelected(), 4);
        l->selectionModel()->select(l->model()->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(l->GetFirstSelected(), 1);
        l->DeleteItem(1);
        QCOMPARE(l->GetFirstSelected(), 3);
        l->clearSelection();
        QCOMPARE(l->GetFirstSelected(), -1);
    }

    void clicksNameTheRowUnderTheMouse() {
        Fixture f(3);
        QSignalSpy clicked(f.list, &CListViewCtrl::Clicked);
        QSignalSpy dbl(f.list, &CListViewCtrl::DoubleClicked);
        ListTest::ClickRow(f.list, 1);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.takeFirst().at(0).toInt(), 1);
        QCOMPARE(f.list->GetFirstSelected(), 1);
        QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, f.belowRows());
        QCOMPARE(clicked.takeFirst().at(0).toInt(), -1);
        // Right of the last column is no row either.
        QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {},
                          QPoint(350, ListTest::RowCentre(f.list, 0).y()));
        QCOMPARE(clicked.takeFirst().at(0).toInt(), -1);
        QTest::mouseClick(f.list->viewport(), Qt::RightButton, {}, ListTest::RowCentre(f.list, 2));
        QCOMPARE(clicked.count(), 0);

        QTest::mouseDClick(f.list->viewport(), Qt::LeftButton, {}, ListTest::RowCentre(f.list, 2));
        QCOMPARE(dbl.count(), 1);
        QCOMPARE(dbl.takeFirst().at(0).toInt(), 2);
        QTest::mouseDClick(f.list->viewport(), Qt::LeftButton, {}, f.belowRows());
        QCOMPARE(dbl.takeFirst().at(0).toInt(), -1);
    }

    void keyboardSelectionIsSilent() {
        Fixture f(4);
        QSignalSpy clicked(f.list, &CListViewCtrl::Clicked);
        QSignalSpy dbl(f.list, &CListViewCtrl::DoubleClicked);
        f.list->setFocus();
        f.list->setCurrentIndex(f.list->model()->index(0, 0));
        QTest::keyClick(f.list, Qt::Key_Down);
        QTest::keyClick(f.list, Qt::Key_Down);
        QCOMPARE(f.list->GetFirstSelected(), 2);
        QTest::keyClick(f.list, Qt::Key_Return);
        QTest::keyClick(f.list, Qt::Key_F2);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(dbl.count(), 0);
        QCOMPARE(f.list->GetItemText(2, 0), std::string("vm2")); // no editor opened
    }

    void hotTrackSelectsTheRestingRow() {
        Fixture f(4);
        QSignalSpy clicked(f.list, &CListViewCtrl::Clicked);
        f.list->selectRow(0);
        f.list->SetHotTrack(true);
        Rest(f.list, ListTest::RowCentre(f.list, 2));
        QTRY_COMPARE_WITH_TIMEOUT(f.list->GetFirstSelected(), 2, 3000);
        QCOMPARE(f.list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(clicked.count(), 0);
        f.list->SetHotTrack(false);
        Rest(f.list, ListTest::RowCentre(f.list, 3));
        QTest::qWait(700);
        QCOMPARE(f.list->GetFirstSelected(), 2);
    }

    void selectionShownOnlyWhileFocused() {
        Fixture f(2);
        const QPalette before = f.list->palette();
        f.list->SetSelectionOnlyWhenFocused(true);
        QPalette p = f.list->palette();
        QCOMPARE(p.color(QPalette::Inactive, QPalette::Highlight),
                 p.color(QPalette::Inactive, QPalette::Base));
        QCOMPARE(p.color(QPalette::Active, QPalette::Highlight),
                 before.color(QPalette::Active, QPalette::Highlight));
        f.list->SetSelectionOnlyWhenFocused(false);
        p = f.list->palette();
        QVERIFY(p.color(QPalette::Inactive, QPalette::Highlight) !=
                    p.color(QPalette::Inactive, QPalette::Base) ||
                before.color(QPalette::Inactive, QPalette::Highlight) ==
                    before.color(QPalette::Inactive, QPalette::Base));
    }

    void manyRows() {
        Fixture f;
        f.list->InsertColumn(2, "Target", 80);
        f.list->InsertColumn(3, "CPU", 80);
        for (int i = 0; i < 10000; ++i) {
            const int at = f.list->InsertItem(i, "vm" + std::to_string(i));
            for (int c = 1; c < 4; ++c)
                f.list->SetItemText(at, c, "x");
        }
        QCOMPARE(f.list->GetItemCount(), 10000);
        QCOMPARE(f.list->GetItemText(9999, 0), std::string("vm9999"));
        f.list->selectAll();
        QCOMPARE(f.list->GetFirstSelected(), 0);
    }
};

QTEST_MAIN(TestListViewCtrl)
#include "tst_listviewctrl.moc"
