// A lying back end drives the main window, every page of the sheet and the
// small dialogs through their commands. Run under the sanitizer build, any
// read or write outside a buffer fails the test; in any build nothing may
// crash, hang, or store a record the back end never gave.
#include "VmTestUtil.h"

#include "ModalDriver.h"

#include "TestBackendControl.h"
#include "config/EmulPropertyPage.h"
#include "config/EmulatorDlg.h"
#include "config/RecordText.h"
#include "dialog/TemplateDialog.h"
#include "vmlist/TarnwickDlg.h"
#include "vmlist/VmListCtrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <string>
#include <vector>

using namespace VmTest;

namespace {

const std::vector<std::string> kLists = {"EnumAllEmulator", "GetEmulatorTarget", "GetEmulatorCPU",
                                         "GetMemType",      "RefreshTapNetWork", "GetTapDrvVer",
                                         "GetSerialType",   "GetPeriType"};

// While alive: a sheet that opens has every page shown and every button on
// it pressed, then ends with OK or, when a page refuses, Cancel; any other
// modal (message box, small dialog, file dialog) is closed at once.
class ModalCloser {
public:
    ModalCloser() {
        QObject::connect(&m_other, &QTimer::timeout, [] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || qobject_cast<CEmulatorDlg*>(modal))
                return;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                box->done(QMessageBox::Cancel);
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
        QObject::connect(&m_sheet, &QTimer::timeout, [this] {
            auto* sheet = qobject_cast<CEmulatorDlg*>(QApplication::activeModalWidget());
            if (!sheet || sheet == m_driven)
                return;
            m_driven = sheet;
            ++sheets;
            QPointer<CEmulatorDlg> guarded(sheet);
            for (int i = 0; guarded && i < guarded->Tabs()->count(); ++i) {
                if (!guarded->SetActivePage(i))
                    continue;
                // Every push button, check box and radio button of the page.
                for (QAbstractButton* b : guarded->Pages()[i]->findChildren<QAbstractButton*>()) {
                    QPointer<QAbstractButton> button(b);
                    if (button && button->isVisible() && button->isEnabled())
                        button->click();
                }
            }
            if (!guarded)
                return;
            if (QAbstractButton* ok = Button(guarded, IDOK))
                ok->click();
            if (guarded && guarded->isVisible())
                static_cast<QDialog*>(guarded.data())->reject();
        });
        m_other.start(30);
        m_sheet.start(30);
    }
    int sheets = 0;

private:
    QTimer m_other;
    QTimer m_sheet;
    QPointer<CEmulatorDlg> m_driven; // a later sheet may reuse a freed one's address
};

// New, then edit, start and delete of each listed row.
void DriveWindow(CTarnwickDlg& dlg) {
    ModalCloser closer;
    dlg.OnNewVm();
    QTest::qWait(50);
    const int rows = std::min(dlg.ListCtrl()->GetItemCount(), 3);
    for (int r = 0; r < rows; ++r) {
        ClickRow(dlg, r);
        dlg.OnEditVm();
        dlg.OnStartVm();
        dlg.OnDeleteVm();
        QTest::qWait(20);
    }
    QTest::qWait(100);
    QVERIFY(!AnyModalOpen());
}

std::string LongItem(char c) {
    return std::string(600, c);
}

} // namespace

class TestHostileBackend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InitProcess()); }
    void init() { ResetBackend(); }

    void lyingLists_data();
    void lyingLists();
    void recordsWithoutNul();
    void periCountOutOfRange_data();
    void periCountOutOfRange();
    void lyingErrorLength_data();
    void lyingErrorLength();
    void missingExports();
};

void TestHostileBackend::lyingLists_data() {
    QTest::addColumn<qlonglong>("count");
    QTest::addColumn<qlonglong>("written");
    QTest::addColumn<bool>("noNul");
    QTest::newRow("count far above capacity") << qlonglong(4000000000LL) << qlonglong(-1) << false;
    QTest::newRow("count just above capacity") << qlonglong(100000) << qlonglong(-1) << false;
    QTest::newRow("written above count") << qlonglong(2) << qlonglong(100000) << false;
    QTest::newRow("written far above capacity") << qlonglong(-1) << qlonglong(4000000000LL) << true;
    QTest::newRow("slots without NUL") << qlonglong(-1) << qlonglong(-1) << true;
    QTest::newRow("all three") << qlonglong(4294967295LL) << qlonglong(4294967295LL) << true;
}

void TestHostileBackend::lyingLists() {
    QFETCH(qlonglong, count);
    QFETCH(qlonglong, written);
    QFETCH(bool, noNul);
    ScriptMachines({"vm1", LongItem('m'), "vm3"});
    for (const std::string& list : kLists) {
        if (list != "EnumAllEmulator")
            TestBackend::SetList(list, {kTarget, LongItem('x'), kCpu, "MB"});
        TestBackend::SetListQuirks(list, count, written, noNul);
    }
    CTarnwickDlg dlg;
    dlg.Open();
    DriveWindow(dlg);
    // Whatever was listed, each row's name is bounded by its field.
    for (const QString& row : Rows(dlg))
        QVERIFY(row.section(QLatin1Char('|'), 0, 0).toUtf8().size() <= 260);
}

// One machine listed with `record` (also the new machine's defaults), every
// command of the window used; what reached the back end keeps periCount in range.
static void DriveOneMachine(const std::string& name, const EmulatorOptions& record) {
    TestBackend::SetList("EnumAllEmulator", {name});
    TestBackend::SetRecord(name, record);
    TestBackend::SetDefaultRecord(record);
    CTarnwickDlg dlg;
    dlg.Open();
    DriveWindow(dlg);
    for (const BackendCall& call : TestBackend::CallsOf("SaveEmulatorOptions")) {
        const EmulatorOptions saved = TestBackend::RecordArg(call);
        QVERIFY(saved.peri.periCount >= 0 && saved.peri.periCount <= MAX_PERI);
    }
}

void TestHostileBackend::recordsWithoutNul() {
    // Every text of the record, every number too, filled to its last byte.
    EmulatorOptions r;
    std::memset(&r, 'A', sizeof r);
    DriveOneMachine("vmA", r);
}

void TestHostileBackend::periCountOutOfRange_data() {
    QTest::addColumn<int>("periCount");
    QTest::newRow("-1") << -1;
    QTest::newRow("1000") << 1000;
    QTest::newRow("INT_MIN") << int(0x80000000u);
    QTest::newRow("one above") << MAX_PERI + 1;
}

void TestHostileBackend::periCountOutOfRange() {
    QFETCH(int, periCount);
    EmulatorOptions r = MakeRecord("vm1");
    r.peri.periCount = periCount;
    for (PeriEntry& e : r.peri.peris) {
        std::memset(e.device, 'D', sizeof e.device);
        std::memset(e.param, 'P', sizeof e.param);
    }
    DriveOneMachine("vm1", r);
}

void TestHostileBackend::lyingErrorLength_data() {
    QTest::addColumn<qlonglong>("claimed");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("longer than the text") << qlonglong(1 << 20) << QByteArray("no kernel");
    QTest::newRow("shorter than the text") << qlonglong(3) << QByteArray("no kernel image here");
    QTest::newRow("zero") << qlonglong(0) << QByteArray("hidden");
    QTest::newRow("all bits") << qlonglong(4294967295LL) << QByteArray("x");
    QTest::newRow("long text, no NUL room") << qlonglong(10) << QByteArray(70000, 'e');
}

void TestHostileBackend::lyingErrorLength() {
    QFETCH(qlonglong, claimed);
    QFETCH(QByteArray, text);
    ScriptMachines({"vm1"});
    TestBackend::SetStart("*", 0, text.toStdString(), claimed);
    TestBackend::SetStart("vm1", 0, text.toStdString(), claimed);
    CTarnwickDlg dlg;
    dlg.Open();
    DriveWindow(dlg);
    QVERIFY(!TestBackend::CallsOf("StartEmulator").empty());
}

void TestHostileBackend::missingExports() {
    const QDir variants(QString::fromStdString(TestBackend::VariantsDir()));
    const QStringList names = variants.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(names.size() >= 18);
    for (const QString& name : names) {
        const std::string path = variants.filePath(name + "/" BREVANTIX_LIBRARY_NAME).toStdString();
        QVERIFY2(TestBackend::LoadFrom(path), qPrintable(name));
        ResetBackend();
        ScriptMachines({"vm1", "vm2"});
        TestBackend::SetListQuirks("GetPeriType", 4000000000LL, -1, true);
        CTarnwickDlg dlg;
        dlg.Open();
        DriveWindow(dlg);
        if (QTest::currentTestFailed())
            qWarning("variant %s", qPrintable(name));
    }
    QVERIFY(TestBackend::Load());
}

QTEST_MAIN(TestHostileBackend)
#include "tst_hostile.moc"
