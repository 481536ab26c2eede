// The General page on its own (Create) and inside the configuration sheet.
#include "../ConfigFixture.h"
#include "app/TarnwickApp.h"
#include "config/EmulatorDev.h"
#include "config/EmulatorDlg.h"

#include <QCheckBox>
#include <cstring>
#include <optional>

using namespace config_test;

namespace {
using Ids = res::General;

EmulatorOptions BaseRecord() {
    EmulatorOptions rec = NamedRecord("vm1");
    SetField(rec.general.target, "versatilepb");
    SetField(rec.general.cpu, "arm926");
    SetField(rec.general.memType, "MB");
    SetField(rec.general.tapAdapter, "tap1");
    rec.general.memSize = 128;
    rec.general.displayEnable = 1;
    return rec;
}

void ScriptDefaults() {
    TestBackend::SetList("GetEmulatorTarget", {"versatilepb", "vexpress-a9", "vexpress-a15"});
    TestBackend::SetList("GetEmulatorCPU", {"arm926", "arm1176"}, "versatilepb");
    TestBackend::SetList("GetEmulatorCPU", {"cortex-a9"}, "vexpress-a9");
    TestBackend::SetList("GetEmulatorCPU", {"cortex-a15", "cortex-a7"}, "vexpress-a15");
    TestBackend::SetList("GetMemType", {"KB", "MB", "GB"});
    TestBackend::SetList("RefreshTapNetWork", {"tap0", "tap1"});
    TestBackend::SetArch("versatilepb", "arm");
    TestBackend::SetArch("vexpress-a9", "armv7");
}
} // namespace

class TestGeneralPage : public QObject, private PageHarness<CEmulatorDev> {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_program.Start()); }
    void cleanupTestCase() { Stop(); }
    void init() {
        TestBackend::Reset();
        theApp.m_strExtraArg.clear();
        ScriptDefaults();
    }
    void cleanup() { m_page.reset(); }

    void loadsRecordIntoControls() {
        CEmulatorDev* page = Open(BaseRecord());
        QCOMPARE(Edit(page, Ids::Name::id)->text(), QString("vm1"));
        QCOMPARE(Current(page, Ids::Target::id), QString("versatilepb"));
        QCOMPARE(Items(page, Ids::Cpu::id), QStringList({"arm926", "arm1176"}));
        QCOMPARE(Current(page, Ids::Cpu::id), QString("arm926"));
        QCOMPARE(Edit(page, Ids::MemSize::id)->text(), QString("128"));
        QCOMPARE(Current(page, Ids::MemType::id), QString("MB"));
        QCOMPARE(Current(page, Ids::Adapter::id), QString("tap1"));
        QCOMPARE(TestBackend::CallNames().front(), std::string("GetEmulatorTarget"));
    }

    void extraArgumentKeysTargets_data() {
        Columns<QString, QString>("extra", "key");
        Row("given", "--board  x", "--board  x");
        Row("empty gives null", "", "<null>");
    }
    void extraArgumentKeysTargets() {
        auto [extra, key] = Fetch<QString, QString>("extra", "key");
        theApp.m_strExtraArg = ToLocal(extra);
        CEmulatorDev* page = Open(BaseRecord());
        // The name check lists the same store: with another key our back end
        // would switch stores, and the save that follows would land there.
        QVERIFY(page->OnKillActive());
        for (const char* function : {"GetEmulatorTarget", "EnumAllEmulator"}) {
            const QStringList keys = ArgsOf(function, 0);
            QVERIFY2(!keys.isEmpty(), function);
            for (const QString& k : keys)
                QCOMPARE(k, key);
        }
    }

    void storedTarget_data() {
        Columns<QString, QString, QString, QString, QString>("stored", "shown", "cpuKey", "written",
                                                             "arch");
        // Nothing begins with it: the first entry stays, the CPUs are the record's.
        Row("unlisted", "zynq", "versatilepb", "zynq", "versatilepb", "arm");
        Row("prefix, case ignored", "VEXPRESS", "vexpress-a9", "VEXPRESS", "vexpress-a9", "armv7");
        Row("empty: first entry", "", "versatilepb", "versatilepb", "versatilepb", "arm");
    }
    void storedTarget() {
        auto [stored, shown, cpuKey, written, arch] =
            Fetch<QString, QString, QString, QString, QString>("stored", "shown", "cpuKey",
                                                               "written", "arch");
        EmulatorOptions rec = BaseRecord();
        SetField(rec.general.target, ToLocal(stored));
        SetField(rec.general.cpu, "");
        TestBackend::SetList("GetEmulatorCPU", {"zcpu"}, "zynq");
        TestBackend::SetList("GetEmulatorCPU", {"vcpu"}, "VEXPRESS");
        CEmulatorDev* page = Open(rec);
        QCOMPARE(Current(page, Ids::Target::id), shown);
        QCOMPARE(ArgsOf("GetEmulatorCPU", 0).value(0), cpuKey);
        page->OnOK();
        QCOMPARE(FromLocal(GetField(m_rec.general.target)), written);
        QCOMPARE(FromLocal(GetField(m_rec.general.arch)), arch);
        QCOMPARE(ArgsOf("GetArch", 0), QStringList{written});
    }

    // Names that are no UTF-8, shown alike as "board\uFFFD", go back as listed.
    void listedBytesComeBackExact_data() {
        Columns<QByteArray, QByteArray>("stored", "target");
        Row("first entry taken", QByteArray(), QByteArray("board\xE4"));
        Row("stored one found by its bytes", QByteArray("board\xE5"), QByteArray("board\xE5"));
    }
    void listedBytesComeBackExact() {
        auto [stored, target] = Fetch<QByteArray, QByteArray>("stored", "target");
        TestBackend::SetList("GetEmulatorTarget", {"board\xE4", "board\xE5"});
        TestBackend::SetList("GetEmulatorCPU", {"cpu\xE4"}, "board\xE4");
        TestBackend::SetList("GetEmulatorCPU", {"cpu\xE5"}, "board\xE5");
        TestBackend::SetList("GetMemType", {"K\xE4", "M\xE4"});
        TestBackend::SetList("RefreshTapNetWork", {"tap\xE4"});
        EmulatorOptions rec = BaseRecord();
        SetField(rec.general.target, stored.toStdString());
        SetField(rec.general.cpu, "");
        SetField(rec.general.memType, "M\xE4");
        Open(rec)->OnOK();
        QCOMPARE(GetField(m_rec.general.target), target.toStdString());
        QCOMPARE(GetField(m_rec.general.cpu), "cpu" + target.right(1).toStdString());
        QCOMPARE(GetField(m_rec.general.memType), std::string("M\xE4"));
        QCOMPARE(GetField(m_rec.general.tapAdapter), std::string("tap\xE4"));
        QCOMPARE(TestBackend::CallsOf("GetArch").at(0).args.at(0), target.toStdString());
    }

    void targetChangeRefillsCpus_data() {
        Columns<QStringList, QString, QStringList, QString>("newCpus", "selectedBefore",
                                                            "cpusAfter", "selectedAfter");
        Row("kept by prefix", QStringList{"arm11", "arm1176jzf"}, "arm1176",
            QStringList{"arm11", "arm1176jzf"}, "arm1176jzf");
        Row("not listed: first", QStringList{"cortex-a9", "cortex-a5"}, "arm1176",
            QStringList{"cortex-a9", "cortex-a5"}, "cortex-a9");
        Row("no CPUs: list and choice stay", QStringList{}, "arm1176",
            QStringList{"arm926", "arm1176"}, "arm1176");
    }
    void targetChangeRefillsCpus() {
        auto [newCpus, selectedBefore, cpusAfter, selectedAfter] =
            Fetch<QStringList, QString, QStringList, QString>("newCpus", "selectedBefore",
                                                              "cpusAfter", "selectedAfter");
        TestBackend::SetList("GetEmulatorCPU", ToLocalList(newCpus), "vexpress-a15");
        CEmulatorDev* page = Open(BaseRecord());
        auto* cpus = GetDlgItem<Ids::Cpu>(page);
        cpus->setCurrentIndex(cpus->findText(selectedBefore));
        auto* targets = GetDlgItem<Ids::Target>(page);
        TestBackend::ClearLog();
        targets->setCurrentIndex(2);
        emit targets->activated(2);
        QCOMPARE(ArgsOf("GetEmulatorCPU", 0).value(0), QString("vexpress-a15"));
        QCOMPARE(Items(page, Ids::Cpu::id), cpusAfter);
        QCOMPARE(Current(page, Ids::Cpu::id), selectedAfter);
        page->OnOK();
        QCOMPARE(FromLocal(GetField(m_rec.general.cpu)), selectedAfter);
        QCOMPARE(FromLocal(GetField(m_rec.general.target)), QString("vexpress-a15"));
    }

    void memorySize_data() {
        Columns<int, QString, bool, QString, int>("stored", "shown", "retype", "typed", "written");
        Row("0 shows empty", 0, "", false, "", 0);
        Row("typed 0 stores 0", 64, "64", true, "0", 0);
        Row("emptied keeps", 64, "64", true, "", 64);
        Row("largest", 64, "64", true, "2147483647", 2147483647);
        // Set past the box's own check: the write-back must still not wrap.
        Row("too large keeps", 64, "64", true, "2147483648", 64);
        Row("huge keeps", 64, "64", true, "99999999999999999999", 64);
        Row("back end's negative kept", -5, "-5", false, "", -5);
        Row("no digits keeps", 64, "64", true, "abc", 64);
    }
    void memorySize() {
        auto [stored, shown, retype, typed, written] = Fetch<int, QString, bool, QString, int>(
            "stored", "shown", "retype", "typed", "written");
        EmulatorOptions rec = BaseRecord();
        rec.general.memSize = stored;
        CEmulatorDev* page = Open(rec);
        QCOMPARE(Edit(page, Ids::MemSize::id)->text(), shown);
        if (retype)
            Edit(page, Ids::MemSize::id)->setText(typed);
        page->OnOK();
        QCOMPARE(m_rec.general.memSize, written);
    }

    void memoryBoxTakesDigitsOnly_data() {
        Columns<QString>("keys");
        Row("letters and sign", "-1a2+3 ");
        Row("beyond int32", "99999999999");
        Row("just beyond", "2147483648");
    }
    void memoryBoxTakesDigitsOnly() {
        auto [keys] = Fetch<QString>("keys");
        CEmulatorDev* page = Open(BaseRecord());
        QLineEdit* mem = Edit(page, Ids::MemSize::id);
        mem->clear();
        mem->setFocus();
        QTest::keyClicks(mem, keys);
        const QString text = mem->text();
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        QVERIFY2(ok && !text.contains('-') && !text.contains('+'), qPrintable(text));
        QVERIFY(value >= 0 && value <= 2147483647);
        page->OnOK();
        QCOMPARE(static_cast<qlonglong>(m_rec.general.memSize), value);
    }

    void nameCheck_data() {
        // translation: of GEN_NAME_ERR, empty for the default; message: empty when accepted.
        Columns<QString, QStringList, QString, QString, QString>("name", "stored", "ownName",
                                                                 "translation", "message");
        const QStringList store{"alpha", "my vm", "Taken", "%s%n"};
        Row("blanks", "my  vm ", store, "", "", "");
        Row("case differs", "taken", store, "", "", "");
        Row("own name while editing", "Taken", store, "Taken", "", "");
        Row("empty", "", store, "", "", "Please enter the Virtual Machine name");
        Row("empty while editing", "", store, "Taken", "", "Please enter the Virtual Machine name");
        Row("taken", "Taken", store, "", "", "Virtual Machine Name Taken have exist!");
        Row("another machine's name while editing", "alpha", store, "Taken", "",
            "Virtual Machine Name alpha have exist!");
        Row("format characters in the name", "%s%n", store, "", "",
            "Virtual Machine Name %s%n have exist!");
        Row("translation: first %s only", "alpha", store, "", "%d: %s und %s", "%d: alpha und %s");
        Row("translation without %s", "alpha", store, "", "Vergeben", "Vergeben");
        Row("no machines stored", "alpha", QStringList{}, "", "", "");
    }
    void nameCheck() {
        auto [name, stored, ownName, translation, message] =
            Fetch<QString, QStringList, QString, QString, QString>("name", "stored", "ownName",
                                                                   "translation", "message");
        TestBackend::SetList("EnumAllEmulator", ToLocalList(stored));
        std::string savedTranslation;
        const bool hadTranslation = g_pLangManager->GetText("GEN_NAME_ERR", savedTranslation);
        if (!translation.isEmpty())
            g_pLangManager->SetText("GEN_NAME_ERR", ToLocal(translation));

        CEmulatorDev* page = Open(BaseRecord());
        page->SetOwnName(ToLocal(ownName));
        Edit(page, Ids::Name::id)->setText(name);
        GetDlgItem<Ids::Target>(page)->setFocus();
        const QByteArray before = BytesOf(m_rec);

        QString shown;
        std::optional<UnexpectedModalGuard> guard;
        if (message.isEmpty())
            guard.emplace();
        else
            AcceptNextMessageBox(&shown);
        const bool accepted = page->OnKillActive();
        if (!translation.isEmpty())
            g_pLangManager->SetText("GEN_NAME_ERR", hadTranslation
                                                        ? savedTranslation
                                                        : "Virtual Machine Name %s have exist!");
        if (guard)
            QVERIFY2(!guard->Opened(), "a message box was shown");

        QCOMPARE(accepted, message.isEmpty());
        if (!accepted) {
            QCOMPARE(shown, message);
            QCOMPARE(page->focusWidget(), GetDlgItem<Ids::Name>(page));
            QCOMPARE(BytesOf(m_rec), before);
        }
        for (const QString& key : ArgsOf("EnumAllEmulator", 0))
            QCOMPARE(key, QString("<null>"));
    }

    void nameIsBoundedTo260Bytes_data() {
        Columns<QString, int, QString, QString>("start", "cursor", "inserted", "expected");
        const QString a300(300, 'a');
        Row("ascii paste", "", 0, a300, QString(260, 'a'));
        // Two-byte characters: 130 whole ones fit.
        Row("two-byte", "", 0, QString(150, QChar(0xE9)), QString(130, QChar(0xE9)));
        // Three-byte characters: 86 fit (258 bytes), never half of one.
        Row("three-byte", "", 0, QString(100, QChar(0x20AC)), QString(86, QChar(0x20AC)));
        Row("paste in the middle keeps the tail", "abc", 1, QString(300, 'x'),
            "a" + QString(257, 'x') + "bc");
        Row("typing at the bound is refused", QString(260, 'n'), 260, "z", QString(260, 'n'));
    }
    void nameIsBoundedTo260Bytes() {
        auto [start, cursor, inserted, expected] =
            Fetch<QString, int, QString, QString>("start", "cursor", "inserted", "expected");
        CEmulatorDev* page = Open(BaseRecord());
        QLineEdit* name = Edit(page, Ids::Name::id);
        name->setText(start);
        name->setCursorPosition(cursor);
        name->insert(inserted);
        QCOMPARE(name->text(), expected);
        page->OnOK();
        QCOMPARE(FromLocal(GetField(m_rec.general.name)), expected);
    }

    void typedNameStopsAt260Bytes() {
        CEmulatorDev* page = Open(BaseRecord());
        QLineEdit* name = Edit(page, Ids::Name::id);
        name->clear();
        name->setFocus();
        QTest::keyClicks(name, QString(300, 'k'));
        QCOMPARE(name->text(), QString(260, 'k'));
    }

    void recordFieldsWithoutNul() {
        EmulatorOptions rec = BaseRecord();
        std::memset(rec.general.name, 'n', sizeof rec.general.name);
        std::memset(rec.general.cpu, 'c', sizeof rec.general.cpu);
        std::memset(rec.general.tapAdapter, 't', sizeof rec.general.tapAdapter);
        CEmulatorDev* page = Open(rec);
        QCOMPARE(Edit(page, Ids::Name::id)->text(), QString(260, 'n'));
        page->OnOK();
        QCOMPARE(GetField(m_rec.general.name).substr(0, 260), std::string(260, 'n'));
        QCOMPARE(GetField(m_rec.general.cpu), std::string("arm926"));
        // No listed adapter begins with the record's: the first one is stored.
        QCOMPARE(GetField(m_rec.general.tapAdapter), std::string("tap0"));
    }

    void displayFlag_data() {
        Columns<int, bool, int>("stored", "ticked", "written");
        Row("0", 0, false, 0);
        Row("1", 1, true, 1);
        Row("7 clears", 7, false, 0);
        Row("-1 clears", -1, false, 0);
    }
    void displayFlag() {
        auto [stored, ticked, written] = Fetch<int, bool, int>("stored", "ticked", "written");
        EmulatorOptions rec = BaseRecord();
        rec.general.displayEnable = stored;
        CEmulatorDev* page = Open(rec);
        auto* box = GetDlgItem<Ids::Display>(page);
        QVERIFY(box);
        QVERIFY(!box->isEnabled());
        QCOMPARE(box->isChecked(), ticked);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->isChecked(), ticked);
        page->OnOK();
        QCOMPARE(m_rec.general.displayEnable, written);
    }

    void noAdapters() {
        TestBackend::SetList("RefreshTapNetWork", {});
        CEmulatorDev* page = Open(BaseRecord());
        QVERIFY(Items(page, Ids::Adapter::id).isEmpty());
        TestBackend::ClearLog();
        {
            UnexpectedModalGuard guard;
            Click(page, Ids::Rename::id);
            QVERIFY(!guard.Opened());
        }
        QVERIFY(TestBackend::CallNames().empty());
        page->OnOK();
        QCOMPARE(GetField(m_rec.general.tapAdapter), std::string());
    }

    void refreshSelectsFirstAdapter() {
        CEmulatorDev* page = Open(BaseRecord());
        QCOMPARE(Current(page, Ids::Adapter::id), QString("tap1"));
        TestBackend::SetList("RefreshTapNetWork", {"tapA", "tap1", "tapC"});
        Click(page, Ids::Refresh::id);
        QCOMPARE(Items(page, Ids::Adapter::id), QStringList({"tapA", "tap1", "tapC"}));
        QCOMPARE(Current(page, Ids::Adapter::id), QString("tapA"));
    }

    void install_data() {
        Columns<QStringList, int, bool, QStringList>("versions", "choose", "confirm", "installed");
        Row("second version", QStringList{"9.21", "9.9"}, 1, true, QStringList{"9.9"});
        Row("no versions: empty text", QStringList{}, -1, true, QStringList{""});
        Row("cancelled", QStringList{"9.21"}, 0, false, QStringList{});
    }
    void install() {
        auto [versions, choose, confirm, installed] = Fetch<QStringList, int, bool, QStringList>(
            "versions", "choose", "confirm", "installed");
        TestBackend::SetList("GetTapDrvVer", ToLocalList(versions));
        CEmulatorDev* page = Open(BaseRecord());
        TestBackend::SetList("RefreshTapNetWork", {"tapNew", "tap1"});
        TestBackend::ClearLog();
        QStringList shownVersions;
        OnNextModal([&](QWidget* dlg) {
            shownVersions = Items(dlg, res::InstallTap::Version::id);
            if (choose >= 0)
                Ctl<QComboBox>(dlg, res::InstallTap::Version::id)->setCurrentIndex(choose);
            Click(dlg, confirm ? res::InstallTap::Ok::id : res::InstallTap::Cancel::id);
        });
        Click(page, Ids::Install::id);
        QCOMPARE(shownVersions, versions);
        QCOMPARE(ArgsOf("InstallTapNetWork", 0), installed);
        if (confirm) {
            QVERIFY(CountOf("RefreshTapNetWork") > 0);
            QCOMPARE(Current(page, Ids::Adapter::id), QString("tapNew"));
        } else {
            QCOMPARE(CountOf("RefreshTapNetWork"), 0);
            QCOMPARE(Current(page, Ids::Adapter::id), QString("tap1"));
        }
    }

    void rename_data() {
        Columns<QString, bool, bool>("typed", "confirm", "renamed");
        Row("blanks kept", "  new  name ", true, true);
        Row("plain", "tapX", true, true);
        Row("empty: nothing", "", true, false);
        Row("cancelled", "tapX", false, false);
    }
    void rename() {
        auto [typed, confirm, renamed] = Fetch<QString, bool, bool>("typed", "confirm", "renamed");
        CEmulatorDev* page = Open(BaseRecord());
        QCOMPARE(Current(page, Ids::Adapter::id), QString("tap1"));
        TestBackend::SetList("RefreshTapNetWork", {"tap0", ToLocal(typed)});
        TestBackend::ClearLog();
        OnNextModal([&](QWidget* dlg) {
            Edit(dlg, res::RenameTap::NewName::id)->setText(typed);
            Click(dlg, confirm ? res::RenameTap::Ok::id : res::RenameTap::Cancel::id);
        });
        Click(page, Ids::Rename::id);
        if (renamed) {
            const auto calls = TestBackend::CallsOf("ReNameTapNetWork");
            QCOMPARE(calls.size(), size_t(1));
            QCOMPARE(calls[0].args.at(0), std::string("tap1"));
            QCOMPARE(FromLocal(calls[0].args.at(1)), typed);
            QCOMPARE(Current(page, Ids::Adapter::id), typed);
            page->OnOK();
            QCOMPARE(FromLocal(GetField(m_rec.general.tapAdapter)), typed);
        } else {
            QVERIFY(TestBackend::CallNames().empty());
            QCOMPARE(Current(page, Ids::Adapter::id), QString("tap1"));
        }
    }

    void okWritesOnlyTheGeneralBlock() {
        EmulatorOptions rec = BaseRecord();
        std::memset(reinterpret_cast<char*>(&rec) + sizeof(GeneralOptions), 0x5A,
                    sizeof rec - sizeof(GeneralOptions));
        rec.general.reserved0[0] = 0x11;
        rec.general.reserved1[0] = 0x22;
        CEmulatorDev* page = Open(rec);
        Edit(page, Ids::Name::id)->setText("renamed");
        page->OnOK();
        QCOMPARE(GetField(m_rec.general.name), std::string("renamed"));
        QCOMPARE(GetField(m_rec.general.arch), std::string("arm"));
        QCOMPARE(m_rec.general.name[260], '\0');
        QCOMPARE(m_rec.general.reserved0[0], char(0x11));
        QCOMPARE(m_rec.general.reserved1[0], char(0x22));
        const char* tail = reinterpret_cast<const char*>(&m_rec) + sizeof(GeneralOptions);
        for (size_t i = 0; i < sizeof m_rec - sizeof(GeneralOptions); ++i)
            QCOMPARE(tail[i], char(0x5A));
    }

    // Through the sheet: OK checks the name and keeps the sheet open on a refusal.
    void sheetChecksTheName_data() {
        Columns<QString, QString, QString>("name", "ownName",
                                           "message"); // message: empty when accepted
        Row("empty", "", "", "Please enter the Virtual Machine name");
        Row("taken", "vm1", "", "Virtual Machine Name vm1 have exist!");
        Row("own name while editing", "vm1", "vm1", "");
    }
    void sheetChecksTheName() {
        auto [name, ownName, message] =
            Fetch<QString, QString, QString>("name", "ownName", "message");
        TestBackend::SetList("EnumAllEmulator", {"other", "vm1"});
        EmulatorOptions rec = BaseRecord();
        SetField(rec.general.name, ToLocal(name));
        const EmulatorOptions original = rec;
        CEmulatorDlg sheet("Edit Virutal Machine vm1", &rec);
        sheet.SetOwnName(ToLocal(ownName));
        QString shown;
        bool unexpected = false, stillOpen = false;
        OnNextModal([&](QWidget* modal) {
            std::optional<UnexpectedModalGuard> guard;
            if (message.isEmpty())
                guard.emplace();
            else
                AcceptNextMessageBox(&shown);
            Click(modal, IDOK);
            unexpected = guard && guard->Opened();
            stillOpen = modal->isVisible();
            if (stillOpen)
                Click(modal, IDCANCEL);
        });
        const int result = sheet.DoModal();
        QVERIFY2(!unexpected, "a message box was shown");
        QCOMPARE(shown, message);
        QCOMPARE(stillOpen, !message.isEmpty());
        QCOMPARE(result, message.isEmpty() ? IDOK : IDCANCEL);
        if (message.isEmpty()) {
            QCOMPARE(GetField(rec.general.name), std::string("vm1"));
            QCOMPARE(GetField(rec.general.arch), std::string("arm"));
        } else {
            QVERIFY(SameRecord(rec, original));
        }
    }
};

QTEST_MAIN(TestGeneralPage)
#include "tst_generalpage.moc"
