// The Disk page on its own (Create), on the DiskOptions block of a record.
#include "PagesFixture.h"
#include "config/EmulatorDisk.h"

#include <QFileDialog>
#include <QRadioButton>
#include <QValidator>

using namespace pages_test;

namespace {
struct DiskIds {
    int32_t sizeChoice, fileChoice, size, unit, file, browseFile, savePath, browseSave;
};
constexpr DiskIds kSd{res::Disk::SdSizeChoice::id, res::Disk::SdFileChoice::id,
                      res::Disk::SdSize::id,       res::Disk::SdUnit::id,
                      res::Disk::SdFile::id,       res::Disk::SdBrowseFile::id,
                      res::Disk::SdSavePath::id,   res::Disk::SdBrowseSave::id};
constexpr DiskIds kHd{res::Disk::HdSizeChoice::id, res::Disk::HdFileChoice::id,
                      res::Disk::HdSize::id,       res::Disk::HdUnit::id,
                      res::Disk::HdFile::id,       res::Disk::HdBrowseFile::id,
                      res::Disk::HdSavePath::id,   res::Disk::HdBrowseSave::id};

bool Checked(QWidget* page, int32_t id) {
    auto* radio = Ctl<QRadioButton>(page, id);
    return radio && radio->isChecked();
}
} // namespace

Q_DECLARE_METATYPE(DiskIds)

using DiskHarness = PageHarness<CEmulatorDisk, &EmulatorOptions::disk>;

class TestDiskPage : public QObject, private DiskHarness {
    Q_OBJECT

    ProgramDirFiles m_files;

    CEmulatorDisk* Reopen() { return Open(m_rec); }

    // OnKillActive expecting it to accept without a message.
    bool AcceptsQuietly() {
        UnexpectedModalGuard guard;
        const bool accepted = m_page->OnKillActive();
        return accepted && !guard.Opened();
    }
    // OnKillActive expecting a refusal; the message it showed.
    QString RefusalMessage() {
        QString text = QStringLiteral("<no message>");
        AcceptNextMessageBox(&text);
        if (m_page->OnKillActive())
            return QStringLiteral("<accepted>");
        return text;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_files.IsValid());
        QVERIFY(m_files.Touch("img/sd.img"));
        QVERIFY(m_files.Touch("img/hd.img"));
        QVERIFY(m_program.Start());
    }
    void cleanupTestCase() { Stop(); }
    void init() {
        TestBackend::Reset();
        TestBackend::SetList("GetMemType", {"KB", "MB", "GB"});
    }
    void cleanup() {
        m_page.reset();
        QDir::setCurrent(QCoreApplication::applicationDirPath());
    }

    void emptyRecordOpensOnSizeAndStoresFirstUnit() {
        CEmulatorDisk* page = Open(ZeroRecord());
        for (const DiskIds& d : {kSd, kHd}) {
            QVERIFY(Checked(page, d.sizeChoice));
            QCOMPARE(Text(page, d.size), QString());
            QCOMPARE(Text(page, d.savePath), QString());
            QCOMPARE(Current(page, d.unit), QString("KB"));
        }
        QVERIFY(AcceptsQuietly());
        m_page->OnOK();
        QCOMPARE(m_rec.disk.sdSize, 0);
        QCOMPARE(GetField(m_rec.disk.sdFile), std::string());
        QCOMPARE(GetField(m_rec.disk.sdMemType), std::string("KB"));
        QCOMPARE(m_rec.disk.hdSize, 0);
        QCOMPARE(GetField(m_rec.disk.hdFile), std::string());
        QCOMPARE(GetField(m_rec.disk.hdMemType), std::string("KB"));
    }

    void sizeChoiceStores_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("storedSize");
        QTest::addColumn<QString>("storedFile");
        const QString save = QStringLiteral("out/new.img");
        QTest::newRow("empty size drops the save path") << "" << 0 << "";
        QTest::newRow("size 0 drops the save path") << "0" << 0 << "";
        QTest::newRow("size keeps the save path") << "512" << 512 << save;
        QTest::newRow("largest size") << "2147483647" << 2147483647 << save;
        QTest::newRow("too large for the field") << "2147483648" << 0 << "";
        QTest::newRow("far too large") << "99999999999999999999" << 0 << "";
        QTest::newRow("negative keeps the save path") << "-5" << -5 << save;
        QTest::newRow("no number") << "abc" << 0 << "";
    }
    void sizeChoiceStores() {
        QFETCH(QString, size);
        QFETCH(int, storedSize);
        QFETCH(QString, storedFile);
        EmulatorOptions rec = ZeroRecord();
        SetField(rec.disk.sdFile, "old/sd.img");
        SetField(rec.disk.hdFile, "old/hd.img");
        rec.disk.sdSize = rec.disk.hdSize = 1;
        CEmulatorDisk* page = Open(rec);
        for (const DiskIds& d : {kSd, kHd}) {
            SetText(page, d.size, size); // past the box's validator, as a paste could not
            SetText(page, d.savePath, "out/new.img");
            Ctl<QComboBox>(page, d.unit)->setCurrentIndex(2);
        }
        m_page->OnOK();
        QCOMPARE(m_rec.disk.sdSize, storedSize);
        QCOMPARE(FromLocal(GetField(m_rec.disk.sdFile)), storedFile);
        QCOMPARE(GetField(m_rec.disk.sdMemType), std::string("GB"));
        QCOMPARE(m_rec.disk.hdSize, storedSize);
        QCOMPARE(FromLocal(GetField(m_rec.disk.hdFile)), storedFile);
        QCOMPARE(GetField(m_rec.disk.hdMemType), std::string("GB"));
    }

    void sizeBoxesTakeNumbersOnly() {
        CEmulatorDisk* page = Open(ZeroRecord());
        for (const DiskIds& d : {kSd, kHd}) {
            auto* edit = Ctl<QLineEdit>(page, d.size);
            QVERIFY(edit);
            QTest::keyClicks(edit, "12a-3 4");
            QCOMPARE(edit->text(), QString("1234"));
            const QValidator* v = edit->validator();
            QVERIFY(v);
            QString text = "2147483647";
            int pos = 0;
            QCOMPARE(v->validate(text, pos), QValidator::Acceptable);
            text = "2147483648";
            QVERIFY(v->validate(text, pos) != QValidator::Acceptable);
        }
    }

    void sizeRecordLoadsAndStoresBack_data() {
        QTest::addColumn<int>("sdSize");
        QTest::addColumn<int>("hdSize");
        QTest::newRow("sizes") << 64 << 2;
        // The digits-only boxes must not lose a sign the back end stored.
        QTest::newRow("negative sizes") << -5 << -2147483647 - 1;
    }
    void sizeRecordLoadsAndStoresBack() {
        QFETCH(int, sdSize);
        QFETCH(int, hdSize);
        EmulatorOptions rec = ZeroRecord();
        rec.disk.sdSize = sdSize;
        SetField(rec.disk.sdMemType, "gb"); // matched without regard to case
        SetField(rec.disk.sdFile, "out/sd.img");
        rec.disk.hdSize = hdSize;
        SetField(rec.disk.hdMemType, "MB");
        SetField(rec.disk.hdFile, "out/hd.img");
        CEmulatorDisk* page = Open(rec);
        QVERIFY(Checked(page, kSd.sizeChoice));
        QCOMPARE(Text(page, kSd.size), QString::number(sdSize));
        QCOMPARE(Current(page, kSd.unit), QString("GB"));
        QCOMPARE(Text(page, kSd.savePath), QString("out/sd.img"));
        QCOMPARE(Text(page, kSd.file), QString());
        QCOMPARE(Text(page, kHd.size), QString::number(hdSize));
        QCOMPARE(Current(page, kHd.unit), QString("MB"));
        QCOMPARE(Text(page, kHd.savePath), QString("out/hd.img"));
        m_page->OnOK();
        QCOMPARE(m_rec.disk.sdSize, sdSize);
        QCOMPARE(GetField(m_rec.disk.sdMemType), std::string("GB"));
        QCOMPARE(GetField(m_rec.disk.sdFile), std::string("out/sd.img"));
        QCOMPARE(m_rec.disk.hdSize, hdSize);
        QCOMPARE(GetField(m_rec.disk.hdFile), std::string("out/hd.img"));
    }

    void fileRecordKeepsUnits() {
        EmulatorOptions rec = ZeroRecord();
        SetField(rec.disk.sdMemType, "GB");
        SetField(rec.disk.sdFile, "img/sd.img");
        SetField(rec.disk.hdMemType, "MB");
        SetField(rec.disk.hdFile, "img/hd.img");
        CEmulatorDisk* page = Open(rec);
        QVERIFY(Checked(page, kSd.fileChoice));
        QVERIFY(Checked(page, kHd.fileChoice));
        QCOMPARE(Current(page, kSd.unit), QString("KB"));
        QCOMPARE(Current(page, kHd.unit), QString("KB"));
        QCOMPARE(Text(page, kSd.file), QString("img/sd.img"));
        QCOMPARE(Text(page, kSd.savePath), QString());
        m_page->OnOK();
        QCOMPARE(m_rec.disk.sdSize, 0);
        QCOMPARE(GetField(m_rec.disk.sdMemType), std::string("GB"));
        QCOMPARE(GetField(m_rec.disk.sdFile), std::string("img/sd.img"));
        QCOMPARE(m_rec.disk.hdSize, 0);
        QCOMPARE(GetField(m_rec.disk.hdMemType), std::string("MB"));
        QCOMPARE(GetField(m_rec.disk.hdFile), std::string("img/hd.img"));
    }

    void emptyFileChoiceIsAcceptedAsNoDisk() {
        EmulatorOptions rec = ZeroRecord();
        rec.disk.sdSize = 8;
        SetField(rec.disk.sdFile, "out/sd.img");
        CEmulatorDisk* page = Open(rec);
        for (const DiskIds& d : {kSd, kHd})
            Click(page, d.fileChoice);
        QVERIFY(AcceptsQuietly());
        m_page->OnOK();
        QCOMPARE(m_rec.disk.sdSize, 0);
        QCOMPARE(GetField(m_rec.disk.sdFile), std::string());
        QCOMPARE(m_rec.disk.hdSize, 0);
        QCOMPARE(GetField(m_rec.disk.hdFile), std::string());

        page = Reopen();
        QVERIFY(Checked(page, kSd.sizeChoice));
        QCOMPARE(Text(page, kSd.size), QString());
        QCOMPARE(Text(page, kSd.savePath), QString());
        QCOMPARE(Text(page, kSd.file), QString());
    }

    void enablingFollowsChoice_data() {
        QTest::addColumn<DiskIds>("d");
        QTest::newRow("SD") << kSd;
        QTest::newRow("hard disk") << kHd;
    }
    void enablingFollowsChoice() {
        QFETCH(DiskIds, d);
        CEmulatorDisk* page = Open(ZeroRecord());
        const auto expect = [&](bool file) {
            for (int32_t id : {d.file, d.browseFile})
                QVERIFY2(IsEnabled(page, id) == file, qPrintable(QString::number(id)));
            for (int32_t id : {d.size, d.unit, d.savePath, d.browseSave})
                QVERIFY2(IsEnabled(page, id) != file, qPrintable(QString::number(id)));
        };
        expect(false);
        SetText(page, d.size, "5");
        Click(page, d.fileChoice);
        expect(true);
        QCOMPARE(Text(page, d.size), QString("5")); // a disabled box keeps its text
        Click(page, d.sizeChoice);
        expect(false);
    }

    void missingUnitsStoreEmptyUnit() {
        TestBackend::SetList("GetMemType", {});
        CEmulatorDisk* page = Open(ZeroRecord());
        QCOMPARE(Ctl<QComboBox>(page, kSd.unit)->count(), 0);
        SetText(page, kSd.size, "10");
        m_page->OnOK();
        QCOMPARE(m_rec.disk.sdSize, 10);
        QCOMPARE(GetField(m_rec.disk.sdMemType), std::string());
    }

    void existenceTest_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::newRow("relative file") << m_files.Rel("img/sd.img") << true;
        QTest::newRow("absolute file") << m_files.Abs("img/sd.img") << true;
        QTest::newRow("directory") << m_files.Rel("img") << true;
        QTest::newRow("matching wildcard") << m_files.Rel("img/*.img") << true;
        QTest::newRow("missing file") << m_files.Rel("img/none.img") << false;
        QTest::newRow("wildcard matching nothing") << m_files.Rel("img/*.iso") << false;
    }
    void existenceTest() {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        for (const bool sd : {true, false}) {
            CEmulatorDisk* page = Open(ZeroRecord());
            const DiskIds& d = sd ? kSd : kHd;
            Click(page, d.fileChoice);
            SetText(page, d.file, path);
            // Relative paths name files beneath the program directory, not
            // beneath wherever a file dialog left the current directory.
            QVERIFY(QDir::setCurrent(QDir::rootPath()));
            if (exists)
                QVERIFY(AcceptsQuietly());
            else
                QCOMPARE(RefusalMessage(), sd ? QString("SD File no exist!!!")
                                              : QString("HardDisk File no exist!!!"));
        }
    }

    void bothMissingReportsSdFirst() {
        CEmulatorDisk* page = Open(ZeroRecord());
        Click(page, kSd.fileChoice);
        Click(page, kHd.fileChoice);
        SetText(page, kSd.file, m_files.Rel("gone/sd.img"));
        SetText(page, kHd.file, m_files.Rel("gone/hd.img"));
        const QByteArray before = BytesOf(m_rec);
        QCOMPARE(RefusalMessage(), QString("SD File no exist!!!"));
        SetText(page, kSd.file, m_files.Rel("img/sd.img"));
        QCOMPARE(RefusalMessage(), QString("HardDisk File no exist!!!"));
        QCOMPARE(BytesOf(m_rec), before);
        SetText(page, kHd.file, m_files.Rel("img/hd.img"));
        QVERIFY(AcceptsQuietly());
    }

    void sizeChoiceIgnoresMissingFile() {
        CEmulatorDisk* page = Open(ZeroRecord());
        SetText(page, kSd.file, "gone/sd.img"); // typed, then "Size:" kept
        QVERIFY(AcceptsQuietly());
    }

    void browseButtons_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("edit");
        QTest::addColumn<bool>("save");
        QTest::newRow("SD file") << int(kSd.browseFile) << int(kSd.file) << false;
        QTest::newRow("SD save path") << int(kSd.browseSave) << int(kSd.savePath) << true;
        QTest::newRow("hard-disk file") << int(kHd.browseFile) << int(kHd.file) << false;
        QTest::newRow("hard-disk save path") << int(kHd.browseSave) << int(kHd.savePath) << true;
    }
    void browseButtons() {
        QFETCH(int, button);
        QFETCH(int, edit);
        QFETCH(bool, save);
        EmulatorOptions rec = ZeroRecord();
        SetField(rec.disk.sdFile, "x"); // SD in "File:" so its browse button is enabled
        SetField(rec.disk.hdFile, "x");
        if (save)
            rec.disk.sdSize = rec.disk.hdSize = 1;
        CEmulatorDisk* page = Open(rec);
        const QString before = Text(page, edit);

        // Cancel leaves the box as it was.
        OnNextModal([](QWidget* modal) { modal->close(); });
        Click(page, button);
        QCOMPARE(Text(page, edit), before);

        // A save dialog asks before it names an existing file.
        const QString name = save ? QStringLiteral("img/new.img") : QStringLiteral("img/sd.img");
        QFileDialog::AcceptMode mode = save ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave;
        ChooseInNextFileDialog(m_files.Abs(name), &mode);
        Click(page, button);
        QCOMPARE(mode, save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QCOMPARE(Text(page, edit), m_files.Rel(name));
        QVERIFY(!m_files.Rel(name).startsWith('/'));
    }
};

QTEST_MAIN(TestDiskPage)
#include "tst_diskpage.moc"
