// The Disk page on its own (Create), on the DiskOptions block of a record.
#include "../ConfigFixture.h"
#include "config/EmulatorDisk.h"

#include <QRadioButton>
#include <QValidator>

using namespace config_test;

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

    // Both disks as stored, "size|unit|file".
    QStringList Stored() const {
        const DiskOptions& d = m_rec.disk;
        const auto one = [](int32_t size, const auto& unit, const auto& file) {
            return QStringLiteral("%1|%2|%3")
                .arg(size)
                .arg(FromLocal(GetField(unit)), FromLocal(GetField(file)));
        };
        return {one(d.sdSize, d.sdMemType, d.sdFile), one(d.hdSize, d.hdMemType, d.hdFile)};
    }

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
        QCOMPARE(Stored(), QStringList({"0|KB|", "0|KB|"}));
    }

    void sizeChoiceStores_data() {
        Columns<QString, int, QString>("size", "storedSize", "storedFile");
        const QString save = QStringLiteral("out/new.img");
        Row("empty size drops the save path", "", 0, "");
        Row("size 0 drops the save path", "0", 0, "");
        Row("size keeps the save path", "512", 512, save);
        Row("largest size", "2147483647", 2147483647, save);
        Row("too large for the field", "2147483648", 0, "");
        Row("far too large", "99999999999999999999", 0, "");
        Row("negative keeps the save path", "-5", -5, save);
        Row("no number", "abc", 0, "");
    }
    void sizeChoiceStores() {
        auto [size, storedSize, storedFile] =
            Fetch<QString, int, QString>("size", "storedSize", "storedFile");
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
        const QString both = QStringLiteral("%1|GB|%2").arg(storedSize).arg(storedFile);
        QCOMPARE(Stored(), QStringList({both, both}));
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
        Columns<int, int>("sdSize", "hdSize");
        Row("sizes", 64, 2);
        // The digits-only boxes must not lose a sign the back end stored.
        Row("negative sizes", -5, -2147483647 - 1);
    }
    void sizeRecordLoadsAndStoresBack() {
        auto [sdSize, hdSize] = Fetch<int, int>("sdSize", "hdSize");
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
        QCOMPARE(Stored(), QStringList({QStringLiteral("%1|GB|out/sd.img").arg(sdSize),
                                        QStringLiteral("%1|MB|out/hd.img").arg(hdSize)}));
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
        QCOMPARE(Stored(), QStringList({"0|GB|img/sd.img", "0|MB|img/hd.img"}));
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
        Columns<DiskIds>("d");
        Row("SD", kSd);
        Row("hard disk", kHd);
    }
    void enablingFollowsChoice() {
        auto [d] = Fetch<DiskIds>("d");
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
        Columns<QString, bool>("path", "exists");
        Row("relative file", m_files.Rel("img/sd.img"), true);
        Row("absolute file", m_files.Abs("img/sd.img"), true);
        Row("directory", m_files.Rel("img"), true);
        Row("matching wildcard", m_files.Rel("img/*.img"), true);
        Row("missing file", m_files.Rel("img/none.img"), false);
        Row("wildcard matching nothing", m_files.Rel("img/*.iso"), false);
    }
    void existenceTest() {
        auto [path, exists] = Fetch<QString, bool>("path", "exists");
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
};

QTEST_MAIN(TestDiskPage)
#include "tst_diskpage.moc"
