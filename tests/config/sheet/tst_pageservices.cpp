// Program-relative paths, the existence test, browsing and list filling.
#include "ModalDriver.h"
#include "SheetTestSupport.h"
#include "TestBackendControl.h"
#include "TestBytes.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ProgramDir.h"
#include "config/EmulPropertyPage.h"
#include "config/PageServices.h"
#include "dialog/DataExchange.h"
#include "dialog/MessageBox.h"
#include "res/DialogIds.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace sheet_test;

namespace {

constexpr int32_t kFileEdit = 1100;
constexpr int32_t kOtherEdit = 1101;
constexpr int32_t kCombo = res::General::MemType::id;

// A page with two bound edit boxes and no template.
class CBrowsePage : public CEmulPropertyPage {
public:
    CBrowsePage() : CEmulPropertyPage(0) {
        for (int32_t id : {kFileEdit, kOtherEdit})
            SetDlgCtrlID(new QLineEdit(this), id);
    }
    std::string m_strFile;
    std::string m_strOther;

protected:
    void DoDataExchange(CDataExchange& dx) override {
        DDX_Text(dx, kFileEdit, m_strFile);
        DDX_Text(dx, kOtherEdit, m_strOther);
    }
};

// Cancels a modal dialog that a failed check left open, so no test hangs.
struct CloseWhenLeft {
    QWidget* modal;
    ~CloseWhenLeft() {
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            dialog->reject();
    }
};

ListCall MemTypes() {
    return [](char* buffer, uint32_t capacity, uint32_t slotSize) {
        return Emu::GetMemType(buffer, capacity, slotSize);
    };
}

void MakeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

} // namespace

class TestPageServices : public QObject {
    Q_OBJECT

private:
    // "<abs>", "<rel>": the scratch directory beneath the program, absolute
    // and relative to it; "<elsewhere>": one outside it.
    QString Expand(QString s) const {
        return s.replace(QLatin1String("<abs>"), m_beneath->path())
            .replace(QLatin1String("<rel>"), m_rel)
            .replace(QLatin1String("<elsewhere>"), m_elsewhere.path());
    }
    // Scratch files beneath the program directory, and their name there.
    std::unique_ptr<QTemporaryDir> m_beneath;
    QString m_rel;
    QTemporaryDir m_elsewhere;
private slots:

    void initTestCase() {
        m_beneath = std::make_unique<QTemporaryDir>(FromLocal(GetProgramDir()) +
                                                    QStringLiteral("/sheet-test-XXXXXX"));
        QVERIFY(m_beneath->isValid());
        m_rel = QDir(FromLocal(GetProgramDir())).relativeFilePath(m_beneath->path());
        for (const char* name : {"img/sd.img", "zImage", "disk[1].img"})
            MakeFile(m_beneath->filePath(QString::fromLatin1(name)));
        QVERIFY(QDir().mkpath(m_beneath->filePath(QStringLiteral("dir"))));
        MakeFile(m_elsewhere.filePath(QStringLiteral("zImage")));
        QVERIFY(TestBackend::Load());
    }

    void relativePath_data() {
        Columns<QString, QString, QString>("programDir", "path", "expected");
        Row("beneath", "/opt/emu", "/opt/emu/img/sd.img", "img/sd.img");
        Row("directly beneath", "/opt/emu", "/opt/emu/zImage", "zImage");
        Row("sibling with the same prefix", "/opt/emu", "/opt/emulator/sd.img",
            "/opt/emulator/sd.img");
        Row("elsewhere", "/opt/emu", "/srv/sd.img", "/srv/sd.img");
        Row("the directory itself", "/opt/emu", "/opt/emu", "/opt/emu");
        Row("the directory with a slash", "/opt/emu", "/opt/emu/", "/opt/emu/");
        Row("doubled slash", "/opt/emu", "/opt/emu//img/sd.img", "img/sd.img");
        Row("case differs", "/opt/emu", "/opt/Emu/sd.img", "/opt/Emu/sd.img");
        Row("empty program directory", "", "/opt/emu/sd.img", "/opt/emu/sd.img");
        Row("relative path", "/opt/emu", "img/sd.img", "img/sd.img");
        Row("empty path", "/opt/emu", "", "");
        Row("prefix not at the start", "/opt/emu", "/x/opt/emu/a", "/x/opt/emu/a");
        Row("multibyte names", "/opt/émü", "/opt/émü/bild/ß.img", "bild/ß.img");
    }

    void relativePath() {
        auto [programDir, path, expected] =
            Fetch<QString, QString, QString>("programDir", "path", "expected");
        QCOMPARE(FromLocal(MakeProgramRelativePath(ToLocal(path), ToLocal(programDir))), expected);
    }

    void relativeToTheRunningProgram() {
        const std::string dir = GetProgramDir();
        QVERIFY(!dir.empty());
        QCOMPARE(MakeProgramRelativePath(dir + "/img/sd.img"), std::string("img/sd.img"));
        QCOMPARE(MakeProgramRelativePath(dir + "x/sd.img"), dir + "x/sd.img");
    }

    void pathExists_data() {
        Columns<QString, bool>("path", "exists");
        Row("relative file", "<rel>/img/sd.img", true);
        Row("file without a dot", "<rel>/zImage", true);
        Row("directory", "<rel>/dir", true);
        Row("directory with a slash", "<rel>/dir/", true);
        Row("matching wildcard", "<rel>/img/*.img", true);
        Row("matching ?", "<rel>/zImag?", true);
        Row("wildcard matching nothing", "<rel>/img/*.iso", false);
        Row("missing file", "<rel>/img/none.img", false);
        Row("missing directory", "<rel>/none/sd.img", false);
        Row("brackets naming a file literally", "<rel>/disk[1].img", true);
        Row("empty path", "", false);
        Row("absolute, beneath", "<abs>/img/sd.img", true);
        Row("absolute, elsewhere", "<elsewhere>/zImage", true);
    }

    void pathExists() {
        auto [path, exists] = Fetch<QString, bool>("path", "exists");
        path = Expand(path);
        // Resolved against the program directory, whatever is current before.
        QVERIFY(chdir("/") == 0);
        QCOMPARE(PathExists(ToLocal(path)), exists);
        QCOMPARE(QDir::currentPath(), FromLocal(GetProgramDir()));
    }

    void fillCombo_data() {
        // count, written: -1 for the honest values.
        Columns<QStringList, qint64, qint64, QStringList, int>("items", "count", "written",
                                                               "expected", "selected");
        const QStringList before{"old", "older"};
        Row("three items", QStringList{"KB", "MB", "Größe"}, qint64(-1), qint64(-1),
            QStringList{"KB", "MB", "Größe"}, 0);
        Row("empty list keeps the combo", QStringList{}, qint64(-1), qint64(-1), before, 1);
        Row("count above the items", QStringList{"a", "b"}, qint64(5), qint64(-1),
            QStringList{"a", "b"}, 0);
        Row("count below the items", QStringList{"a", "b", "c"}, qint64(2), qint64(-1),
            QStringList{"a", "b"}, 0);
        Row("claims more written than asked", QStringList{"a", "b", "c", "d"}, qint64(2), qint64(9),
            QStringList{"a", "b"}, 0);
        Row("count but nothing written", QStringList{"a", "b"}, qint64(2), qint64(0), QStringList{},
            -1);
    }

    void fillCombo() {
        auto [items, count, written, expected, selected] =
            Fetch<QStringList, qint64, qint64, QStringList, int>("items", "count", "written",
                                                                 "expected", "selected");
        TestBackend::Reset();
        TestBackend::SetList("GetMemType", ToStd(items));
        if (count >= 0 || written >= 0)
            TestBackend::SetListQuirks("GetMemType", count >= 0 ? count : items.size(), written,
                                       false);

        QWidget dialog;
        auto* combo = new QComboBox(&dialog);
        SetDlgCtrlID(combo, kCombo);
        combo->addItems({"old", "older"});
        combo->setCurrentIndex(1);
        int changes = 0;
        connect(combo, &QComboBox::currentIndexChanged, [&] { ++changes; });

        FillComboFromList(&dialog, kCombo, MemTypes());

        QCOMPARE(Items(combo), expected);
        QCOMPARE(combo->currentIndex(), selected);
        QCOMPARE(changes, 0);
    }

    void fillComboSlotsWithoutNul() {
        TestBackend::Reset();
        const std::string longText(400, 'x');
        TestBackend::SetList("GetMemType", {longText, "b"});
        TestBackend::SetListQuirks("GetMemType", 2, -1, true);
        QWidget dialog;
        auto* combo = new QComboBox(&dialog);
        SetDlgCtrlID(combo, kCombo);
        FillComboFromList(&dialog, kCombo, MemTypes());
        QCOMPARE(combo->count(), 2);
        for (int i = 0; i < combo->count(); ++i)
            QVERIFY(combo->itemText(i).toLocal8Bit().size() <= int(BREVANTIX_SLOT_SIZE));
        QVERIFY(combo->itemText(0).startsWith(QStringLiteral("xxx")));
    }

    void fillComboWithoutBackend() {
        for (const bool library : {true, false}) {
            if (library)
                QVERIFY(TestBackend::LoadFrom(TestBackend::VariantsDir() +
                                              "/no-exports/" BREVANTIX_LIBRARY_NAME));
            else
                FreeEmulatorLibrary();
            QWidget dialog;
            auto* combo = new QComboBox(&dialog);
            SetDlgCtrlID(combo, kCombo);
            combo->addItems({"old", "older"});
            combo->setCurrentIndex(1);
            FillComboFromList(&dialog, kCombo, MemTypes());
            QCOMPARE(Items(combo), QStringList({"old", "older"}));
            QCOMPARE(combo->currentIndex(), 1);
        }
        QVERIFY(TestBackend::Load());
    }

    void fillComboKeyedWithNullKey() {
        TestBackend::Reset();
        TestBackend::SetList("GetEmulatorCPU", {"a9", "a15"}, "<null>");
        TestBackend::SetList("GetEmulatorCPU", {"wrong"}, "board");
        QWidget dialog;
        auto* combo = new QComboBox(&dialog);
        SetDlgCtrlID(combo, kCombo);
        const char* key = nullptr;
        FillComboFromList(&dialog, kCombo,
                          [key](char* buffer, uint32_t capacity, uint32_t slotSize) {
                              return Emu::GetEmulatorCPU(key, buffer, capacity, slotSize);
                          });
        QCOMPARE(Items(combo), QStringList({"a9", "a15"}));
        const std::vector<BackendCall> calls = TestBackend::CallsOf("GetEmulatorCPU");
        QCOMPARE(calls.size(), size_t(2));
        for (const BackendCall& call : calls)
            QCOMPARE(call.args.at(0), std::string("<null>"));
    }

    void fillComboWithoutTheControl() {
        TestBackend::Reset();
        TestBackend::SetList("GetMemType", {"KB"});
        QWidget dialog;
        SetDlgCtrlID(new QComboBox(&dialog), kCombo + 1);
        FillComboFromList(&dialog, kCombo, MemTypes());
        FillComboFromList(nullptr, kCombo, MemTypes());
        // The list is still asked for, as with the control.
        QCOMPARE(TestBackend::CallsOf("GetMemType").size(), size_t(4));
        auto* other = qobject_cast<QComboBox*>(GetDlgItem(&dialog, kCombo + 1));
        QCOMPARE(other->count(), 0);
    }

    void browse_data() {
        Columns<bool, QString, QString>("save", "chosen", "stored");
        Row("open beneath the program", false, "<abs>/img/sd.img", "<rel>/img/sd.img");
        Row("open elsewhere", false, "<elsewhere>/zImage", "<elsewhere>/zImage");
        Row("save beneath the program", true, "<abs>/new.img", "<rel>/new.img");
        Row("save elsewhere", true, "<elsewhere>/new.img", "<elsewhere>/new.img");
    }

    void browse() {
        auto [save, chosen, stored] = Fetch<bool, QString, QString>("save", "chosen", "stored");
        chosen = Expand(chosen);
        stored = Expand(stored);

        CBrowsePage page;
        page.Create();
        Edit(&page, kOtherEdit)->setText(QStringLiteral("typed, not yet pulled"));
        OnNextModal([&](QWidget* modal) {
            const CloseWhenLeft closer{modal};
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY2(dialog, "no file dialog");
            QCOMPARE(dialog->acceptMode(),
                     save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            QCOMPARE(dialog->fileMode(), save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
            QCOMPARE(dialog->nameFilters(), QStringList({"*"}));
            QCOMPARE(dialog->defaultSuffix(), QString());
            // Replacing an existing file is confirmed: a new image must not
            // silently take the place of one the user keeps.
            QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
            if (QGuiApplication::platformName() == QLatin1String("offscreen"))
                QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
            // As a user types it: selectFile leaves a focused name box alone.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY2(name, "no file name box");
            name->setText(chosen);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
        });
        BrowseForFile(&page, save ? BrowseKind::Save : BrowseKind::Open, page.m_strFile);

        QCOMPARE(FromLocal(page.m_strFile), stored);
        QCOMPARE(Edit(&page, kFileEdit)->text(), stored);
        QCOMPARE(page.m_strOther, std::string("typed, not yet pulled"));
        QCOMPARE(Edit(&page, kOtherEdit)->text(), QStringLiteral("typed, not yet pulled"));
    }

    void browseCancelled() {
        CBrowsePage page;
        page.Create();
        Edit(&page, kFileEdit)->setText(QStringLiteral("file typed"));
        Edit(&page, kOtherEdit)->setText(QStringLiteral("other typed"));
        OnNextModal([](QWidget* modal) {
            const CloseWhenLeft closer{modal};
            QVERIFY(qobject_cast<QFileDialog*>(modal));
        });
        BrowseForFile(&page, BrowseKind::Open, page.m_strFile);
        QCOMPARE(Edit(&page, kFileEdit)->text(), QStringLiteral("file typed"));
        QCOMPARE(Edit(&page, kOtherEdit)->text(), QStringLiteral("other typed"));
        QCOMPARE(page.m_strFile, std::string("file typed"));
    }
};

QTEST_MAIN(TestPageServices)
#include "tst_pageservices.moc"
