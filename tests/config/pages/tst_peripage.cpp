// The Peripherals page on its own (Create) and the peripheral dialog.
#include "../ConfigFixture.h"
#include "ListTestUtil.h"
#include "config/EmulatorPeri.h"
#include "config/PeriDlg.h"
#include "config/PeriListCtrl.h"

#include <QCheckBox>
#include <QHeaderView>
#include <climits>

using namespace config_test;

namespace {
constexpr int32_t kEnable = res::Peripherals::SerialEnable::id,
                  kSerialType = res::Peripherals::SerialType::id,
                  kSerialParam = res::Peripherals::SerialParam::id;
constexpr int32_t kAdd = res::Peripherals::Add::id, kEdit = res::Peripherals::Edit::id,
                  kDelete = res::Peripherals::Delete::id;
constexpr int32_t kPeriType = res::Peripheral::Type::id, kParam = res::Peripheral::Param::id,
                  kOk = res::Peripheral::Ok::id, kCancel = res::Peripheral::Cancel::id;

struct PeriRow {
    std::string device, param;
};

EmulatorOptions RecordWithRows(const std::vector<PeriRow>& rows) {
    EmulatorOptions rec = ZeroRecord();
    rec.peri.periCount = static_cast<int32_t>(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SetField(rec.peri.peris[i].device, rows[i].device);
        SetField(rec.peri.peris[i].param, rows[i].param);
    }
    return rec;
}

// The rows as the list shows them, "device|param".
QStringList Shown(const std::vector<PeriRow>& rows) {
    QStringList shown;
    for (const PeriRow& row : rows)
        shown << QString::fromStdString(row.device + '|' + row.param);
    return shown;
}

std::vector<PeriRow> ThreeRows() {
    return {{"LED", "gpio=1"}, {"Button", "gpio=2"}, {"Timer", "irq=5"}};
}

// Fills the peripheral dialog and presses its OK button (or Cancel).
void AnswerPeriDlg(int kindIndex, const QString& param, bool ok = true) {
    OnNextModal([=](QWidget* modal) {
        if (auto* combo = Ctl<QComboBox>(modal, kPeriType))
            combo->setCurrentIndex(kindIndex);
        if (auto* edit = Ctl<QLineEdit>(modal, kParam))
            edit->setText(param);
        auto* button = Button(modal, ok ? kOk : kCancel);
        if (button)
            button->click();
        else
            modal->close();
    });
}
} // namespace

using PeriHarness = PageHarness<CEmulatorPeri, &EmulatorOptions::peri>;

class TestPeriPage : public QObject, private PeriHarness {
    Q_OBJECT
    CPeriListCtrl* List() const { return m_page->PeriList(); }

    QStringList Rows() const { return ListTest::Rows(List()); }
    QPoint RowPoint(int row) const { return ListTest::RowCentre(List(), row); }
    QPoint EmptyPoint() const { return QPoint(2, List()->viewport()->height() - 2); }
    void ClickRow(int row) { ListTest::ClickRow(List(), row); }
    bool RowButtonsEnabled() const {
        return IsEnabled(m_page.get(), kEdit) && IsEnabled(m_page.get(), kDelete);
    }
    bool RowButtonsDisabled() const {
        return !IsEnabled(m_page.get(), kEdit) && !IsEnabled(m_page.get(), kDelete);
    }

private slots:
    void initTestCase() { QVERIFY(m_program.Start()); }
    void cleanupTestCase() { Stop(); }
    void init() {
        TestBackend::Reset();
        TestBackend::SetList("GetSerialType", {"COM", "PTY"});
        TestBackend::SetList("GetPeriType", {"LED", "Button", "Timer"});
    }
    void cleanup() { m_page.reset(); }

    void opensWithColumnsRowsAndDisabledButtons() {
        Open(RecordWithRows(ThreeRows()));
        const QAbstractItemModel* m = List()->model();
        QCOMPARE(m->columnCount(), 2);
        QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QString("Device"));
        QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QString("Parameter"));
        QCOMPARE(m->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
        QVERIFY(List()->columnWidth(0) > 0);
        QCOMPARE(List()->columnWidth(0), List()->columnWidth(1));
        QVERIFY(List()->columnWidth(0) * 2 <= List()->ClientWidth());
        QVERIFY(List()->selectionBehavior() == QAbstractItemView::SelectRows);
        QCOMPARE(Rows(), Shown(ThreeRows()));
        QVERIFY(RowButtonsDisabled());
    }

    void disabledSerialKeepsStoredKind() {
        EmulatorOptions rec = ZeroRecord();
        SetField(rec.peri.serialType, "PTY");
        SetField(rec.peri.serialParam, "/dev/pts/3");
        CEmulatorPeri* page = Open(rec);
        QCOMPARE(Current(page, kSerialType), QString("COM"));
        QCOMPARE(Text(page, kSerialParam), QString()); // loaded only when enabled
        QVERIFY(!IsEnabled(page, kSerialType));
        QVERIFY(!IsEnabled(page, kSerialParam));
        const QByteArray before = BytesOf(m_rec.peri);
        m_page->OnOK();
        QCOMPARE(BytesOf(m_rec.peri), before);
    }

    void tickingEnableStoresFirstKind() {
        EmulatorOptions rec = ZeroRecord();
        SetField(rec.peri.serialType, "PTY");
        CEmulatorPeri* page = Open(rec);
        Click(page, kEnable);
        QVERIFY(IsEnabled(page, kSerialType));
        QVERIFY(IsEnabled(page, kSerialParam));
        m_page->OnOK();
        QCOMPARE(m_rec.peri.serialEnable, 1);
        QCOMPARE(GetField(m_rec.peri.serialType), std::string("COM"));
        QCOMPARE(GetField(m_rec.peri.serialParam), std::string());
    }

    void enabledSerialLoadsAndClearingKeepsFields() {
        EmulatorOptions rec = ZeroRecord();
        rec.peri.serialEnable = 1;
        SetField(rec.peri.serialType, "pty");
        SetField(rec.peri.serialParam, "115200");
        CEmulatorPeri* page = Open(rec);
        QCOMPARE(Current(page, kSerialType), QString("PTY"));
        QCOMPARE(Text(page, kSerialParam), QString("115200"));
        QVERIFY(IsEnabled(page, kSerialType));
        Click(page, kEnable);
        QVERIFY(!IsEnabled(page, kSerialType));
        QVERIFY(!IsEnabled(page, kSerialParam));
        SetText(page, kSerialParam, "changed while off");
        m_page->OnOK();
        QCOMPARE(m_rec.peri.serialEnable, 0);
        QCOMPARE(GetField(m_rec.peri.serialType), std::string("pty"));
        QCOMPARE(GetField(m_rec.peri.serialParam), std::string("115200"));
    }

    void serialEnableOutsideRangeReadsAsCleared() {
        EmulatorOptions rec = ZeroRecord();
        rec.peri.serialEnable = 7;
        CEmulatorPeri* page = Open(rec);
        QVERIFY(!Ctl<QCheckBox>(page, kEnable)->isChecked());
        QVERIFY(!IsEnabled(page, kSerialType));
        m_page->OnOK();
        QCOMPARE(m_rec.peri.serialEnable, 0);
    }

    void rowCountFromBackEnd_data() {
        Columns<int, int>("periCount", "shown");
        Row("negative", -1, 0);
        Row("most negative", INT_MIN, 0);
        Row("zero", 0, 0);
        Row("three", 3, 3);
        Row("sixteen", 16, 16);
        Row("seventeen", 17, 16);
        Row("thousand", 1000, 16);
    }
    void rowCountFromBackEnd() {
        auto [periCount, shown] = Fetch<int, int>("periCount", "shown");
        EmulatorOptions rec = ZeroRecord();
        for (int i = 0; i < MAX_PERI; ++i) {
            SetField(rec.peri.peris[i].device, "dev" + std::to_string(i));
            SetField(rec.peri.peris[i].param, "p" + std::to_string(i));
        }
        rec.peri.periCount = periCount;
        Open(rec);
        QCOMPARE(List()->GetItemCount(), shown);
        if (shown > 0)
            QCOMPARE(List()->GetItemText(shown - 1, 0), "dev" + std::to_string(shown - 1));
        // No rows: the table stays; otherwise the rows after the shown ones are zeroed.
        PeriEntry expected[MAX_PERI];
        std::memcpy(expected, m_rec.peri.peris, sizeof expected);
        if (shown > 0)
            std::memset(expected + shown, 0, sizeof(PeriEntry) * (MAX_PERI - shown));
        m_page->OnOK();
        QCOMPARE(m_rec.peri.periCount, shown);
        QCOMPARE(BytesOf(m_rec.peri.peris), BytesOf(expected));
    }

    void rowTextsWithoutNulAreReadWithinTheirField() {
        EmulatorOptions rec = ZeroRecord();
        rec.peri.periCount = 1;
        std::memset(rec.peri.peris[0].device, 'D', sizeof rec.peri.peris[0].device);
        std::memset(rec.peri.peris[0].param, 'P', sizeof rec.peri.peris[0].param);
        std::memset(rec.peri.peris[1].device, 'X', sizeof rec.peri.peris[1].device);
        Open(rec);
        QCOMPARE(List()->GetItemText(0, 0), std::string(259, 'D'));
        QCOMPARE(List()->GetItemText(0, 1), std::string(259, 'P'));
    }

    void writingRowsZeroesTheTable_data() {
        Columns<int, int>("rows", "stored");
        Row("two rows", 2, 2);
        Row("sixteen rows", 16, 16);
        Row("twenty rows store sixteen", 20, 16);
    }
    void writingRowsZeroesTheTable() {
        auto [rows, stored] = Fetch<int, int>("rows", "stored");
        EmulatorOptions rec = ZeroRecord();
        std::memset(rec.peri.peris, 0xAB, sizeof rec.peri.peris);
        Open(rec);
        for (int i = 0; i < rows; ++i) {
            const int row = List()->InsertItem(i, "dev" + std::to_string(i));
            List()->SetItemText(row, 1, "param" + std::to_string(i));
        }
        m_page->OnOK();
        QCOMPARE(m_rec.peri.periCount, stored);
        PeriEntry expected[MAX_PERI];
        std::memset(expected, 0, sizeof expected);
        for (int i = 0; i < stored; ++i) {
            SetField(expected[i].device, "dev" + std::to_string(i));
            SetField(expected[i].param, "param" + std::to_string(i));
        }
        QCOMPARE(BytesOf(m_rec.peri.peris), BytesOf(expected));
    }

    void deletingEveryRowKeepsOldRows() {
        Open(RecordWithRows(ThreeRows()));
        const QByteArray before = BytesOf(m_rec.peri.peris);
        for (int i = 0; i < 3; ++i) {
            ClickRow(0);
            QVERIFY(RowButtonsEnabled());
            Click(m_page.get(), kDelete);
            QVERIFY(RowButtonsDisabled());
        }
        QCOMPARE(List()->GetItemCount(), 0);
        m_page->OnOK();
        QCOMPARE(m_rec.peri.periCount, 0);
        QCOMPARE(BytesOf(m_rec.peri.peris), before);
    }

    void deleteRemovesFirstSelectedRow() {
        Open(RecordWithRows(ThreeRows()));
        ClickRow(1);
        ListTest::ClickRow(List(), 2, Qt::ControlModifier);
        QCOMPARE(List()->selectionModel()->selectedRows().size(), 2);
        Click(m_page.get(), kDelete);
        QCOMPARE(Rows(), Shown({ThreeRows()[0], ThreeRows()[2]}));
    }

    void addInsertsAtSelectionOrAtEnd() {
        Open(RecordWithRows(ThreeRows()));
        List()->selectRow(2);
        AnswerPeriDlg(2, "new1");
        Click(m_page.get(), kAdd);
        std::vector<PeriRow> expected = ThreeRows();
        expected.insert(expected.begin() + 2, PeriRow{"Timer", "new1"});
        QCOMPARE(Rows(), Shown(expected));

        List()->clearSelection();
        AnswerPeriDlg(0, "new2");
        Click(m_page.get(), kAdd);
        expected.push_back({"LED", "new2"});
        QCOMPARE(Rows(), Shown(expected));

        AnswerPeriDlg(1, "cancelled", false);
        Click(m_page.get(), kAdd);
        QCOMPARE(Rows(), Shown(expected));
    }

    void onlyAClickOnARowEnablesEditAndDelete() {
        Open(RecordWithRows(ThreeRows()));
        // Keyboard selection.
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_Down);
        QTest::keyClick(List(), Qt::Key_Down);
        QVERIFY(List()->GetFirstSelected() >= 0);
        QVERIFY(RowButtonsDisabled());
        // Resting the pointer on a row selects it (hot tracking).
        List()->clearSelection();
        QTest::mouseMove(List()->viewport(), RowPoint(2));
        QTRY_COMPARE(List()->GetFirstSelected(), 2);
        QVERIFY(RowButtonsDisabled());
        // A click on empty space.
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, EmptyPoint());
        QVERIFY(RowButtonsDisabled());
        ClickRow(1);
        QVERIFY(RowButtonsEnabled());
    }

    void editWithoutSelectionChangesNothing() {
        Open(RecordWithRows(ThreeRows()));
        ClickRow(0);
        List()->clearSelection();
        {
            UnexpectedModalGuard guard;
            Click(m_page.get(), kEdit);
            QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, EmptyPoint());
            QVERIFY(!guard.Opened());
        }
        QCOMPARE(Rows(), Shown(ThreeRows()));
    }

    void doubleClickEditsRowInPlace() {
        Open(RecordWithRows(ThreeRows()));
        QString shownKind, shownParam;
        OnNextModal([&](QWidget* modal) {
            shownKind = Current(modal, kPeriType);
            shownParam = Text(modal, kParam);
            SetText(modal, kParam, "gpio=9");
            Click(modal, kOk);
        });
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(1));
        QCOMPARE(shownKind, QString("Button"));
        QCOMPARE(shownParam, QString("gpio=2"));
        std::vector<PeriRow> expected = ThreeRows();
        expected[1].param = "gpio=9";
        QCOMPARE(Rows(), Shown(expected));
        QCOMPARE(List()->GetFirstSelected(), -1); // the new row is not selected
        QVERIFY(RowButtonsEnabled());

        // Cancel changes nothing.
        ClickRow(0);
        AnswerPeriDlg(2, "ignored", false);
        Click(m_page.get(), kEdit);
        QCOMPARE(Rows(), Shown(expected));
    }

    void longTextsAreCutToTheField_data() {
        Columns<QByteArray, QByteArray>("typed", "stored");
        const QByteArray ascii(300, 'x');
        Row("300 bytes", ascii, ascii.left(259));
        Row("259 bytes", ascii.left(259), ascii.left(259));
        const QByteArray utf8 = QByteArray(258, 'a') + "\xC3\xA9"; // é across the bound
        Row("no half character", utf8, utf8.left(258));
    }
    void longTextsAreCutToTheField() {
        auto [typed, stored] = Fetch<QByteArray, QByteArray>("typed", "stored");
        Open(ZeroRecord());
        AnswerPeriDlg(0, QString::fromUtf8(typed));
        Click(m_page.get(), kAdd);
        QCOMPARE(QByteArray::fromStdString(List()->GetItemText(0, 1)), stored);
        m_page->OnOK();
        QCOMPARE(m_rec.peri.periCount, 1);
        QCOMPARE(QByteArray::fromStdString(GetField(m_rec.peri.peris[0].param)), stored);
    }

    // The peripheral dialog alone.
    void periDlgEnds_data() {
        Columns<QString, bool>("how", "accepted");
        Row("OK button", "ok", true);
        Row("Enter", "enter", true);
        Row("Cancel button", "cancel", false);
        Row("Escape", "escape", false);
        Row("close box", "close", false);
    }
    void periDlgEnds() {
        auto [how, accepted] = Fetch<QString, bool>("how", "accepted");
        CPeriDlg dlg("button", "old");
        QString shownKind;
        OnNextModal([&](QWidget* modal) {
            shownKind = Current(modal, kPeriType);
            Ctl<QComboBox>(modal, kPeriType)->setCurrentIndex(2);
            QWidget* edit = GetDlgItem(modal, kParam);
            SetText(modal, kParam, "new");
            if (how == "ok")
                Click(modal, kOk);
            else if (how == "enter")
                QTest::keyClick(edit, Qt::Key_Return);
            else if (how == "cancel")
                Click(modal, kCancel);
            else if (how == "escape")
                QTest::keyClick(edit, Qt::Key_Escape);
            else
                modal->close();
        });
        const int result = dlg.DoModal();
        QCOMPARE(shownKind, QString("Button"));
        QCOMPARE(result, accepted ? IDOK : IDCANCEL);
        QCOMPARE(dlg.m_strPeriType, std::string(accepted ? "Timer" : "button"));
        QCOMPARE(dlg.m_strParam, std::string(accepted ? "new" : "old"));
    }

    void periDlgWithoutKinds() {
        TestBackend::SetList("GetPeriType", {});
        CPeriDlg dlg("LED", "p");
        OnNextModal([](QWidget* modal) { Click(modal, kOk); });
        QCOMPARE(dlg.DoModal(), IDOK);
        QCOMPARE(dlg.m_strPeriType, std::string());
        QCOMPARE(dlg.m_strParam, std::string("p"));
    }

    void periDlgUnknownKindKeepsFirst() {
        CPeriDlg dlg("zzz");
        QString shown;
        OnNextModal([&](QWidget* modal) {
            shown = Current(modal, kPeriType);
            Click(modal, kOk);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QCOMPARE(shown, QString("LED"));
        QCOMPARE(dlg.m_strPeriType, std::string("LED"));
    }
};

QTEST_MAIN(TestPeriPage)
#include "tst_peripage.moc"
