// The language manager over real files: loading, lookup, write-back.
#include "LangTestUtil.h"
#include "TestRow.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <random>

namespace {

// One run of the program: the manager from start-up to shutdown.
class Run {
public:
    explicit Run(const std::string& path, const char* language = "English") {
        CreateLanguageManager(language, path);
    }
    ~Run() { End(); }
    void End() {
        delete g_pLangManager;
        g_pLangManager = nullptr;
    }
    std::string Text(const char* key, const char* defaultText) {
        std::string result;
        return GetLangText(key, defaultText, result);
    }
    const std::map<std::string, std::string>& Map() const {
        return static_cast<CLanguageIniManger*>(g_pLangManager)->Texts();
    }
};

// What the main window asks for when it opens: its captions by id, then
// its column headings.
void OpenMainWindow(Run& run) {
    std::string caption;
    if (g_pLangManager->GetTextById(102, caption) == 0)
        caption = "Tarnwick";
    g_pLangManager->SetTextById(102, caption);
    for (auto [id, text] : {std::pair{res::Main::New::id, "new"},
                            {res::Main::ListLabel::id, "List of existing virtual machine"},
                            {res::Main::Delete::id, "delete"},
                            {res::Main::Edit::id, "edit"},
                            {res::Main::Start::id, "start"}})
        g_pLangManager->SetTextById(id, text);
    run.Text("VM_NAME", "Name");
    run.Text("VM_ARCH", "Arch");
    run.Text("VM_TARGET", "Target");
    run.Text("VM_CPU", "CPU");
}

const char kFirstRunFile[] = "[English]\n"
                             "1002=new\n"
                             "1012=List of existing virtual machine\n"
                             "102=Tarnwick\n"
                             "1040=delete\n"
                             "1042=edit\n"
                             "1044=start\n"
                             "VM_ARCH=Arch\n"
                             "VM_CPU=CPU\n"
                             "VM_NAME=Name\n"
                             "VM_TARGET=Target\n";

} // namespace

class TestLanguageManager : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup() {
        delete g_pLangManager;
        g_pLangManager = nullptr;
        QFile::remove(m_dir.filePath("English.lng"));
    }

    void firstRunWritesUsedKeysInOrder();
    void secondRunKeepsFileAndShowsEditedText();
    void lookups_data();
    void lookups();
    void duplicateNamesAllHoldTheFirstValue();
    void loadEqualsListingThenReadingEachName();
    void longValueReadWhole();
    void otherSectionsAndCommentsKept();
    void crLfFileKeepsItsEndings();
    void protectedValuesSurviveRuns();
    void lineBreakTextsNotWritten();
    void idsAreSignedDecimal();
    void twoInstancesKeepBothWrites();
    void lookupWithoutManagerGivesDefault();
    void keyAliasingResult();

private:
    std::string Path() const { return PathIn(m_dir, "English.lng"); }
    QTemporaryDir m_dir;
};

void TestLanguageManager::firstRunWritesUsedKeysInOrder() {
    {
        Run run(Path());
        QVERIFY(run.Map().empty());
        OpenMainWindow(run);
        COMPARE_BYTES(run.Text("VM_NAME", "Name"), "Name");
        QVERIFY(!Exists(Path())); // nothing is written before shutdown
    }
    COMPARE_BYTES(ReadBytes(Path()), kFirstRunFile);
}

void TestLanguageManager::secondRunKeepsFileAndShowsEditedText() {
    std::string edited = kFirstRunFile;
    edited.replace(edited.find("VM_NAME=Name"), 12, "VM_NAME=Nom de la machine");
    WriteBytes(Path(), edited);
    {
        Run run(Path());
        OpenMainWindow(run);
        COMPARE_BYTES(run.Text("VM_NAME", "Name"), "Nom de la machine");
    }
    COMPARE_BYTES(ReadBytes(Path()), edited);
}

void TestLanguageManager::lookups_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<QByteArray>("after");

    const QByteArray kDefault = "Create New Virtual Machine";
    Row("no file", QByteArray(), kDefault, QByteArray("[English]\nNEW_VM=" + kDefault + "\n"));
    Row("empty value", QByteArray("[English]\nNEW_VM=\n"), QByteArray(),
        QByteArray("[English]\nNEW_VM=\n"));
    // The map is case-sensitive; the file is not: the default goes to the
    // small-letter line, which the small-letter key then writes back.
    Row("small letters not found", QByteArray("[English]\nnew_vm=klein\n"), kDefault,
        QByteArray("[English]\nnew_vm=klein\n"));
    Row("padded key and value", QByteArray("[English]\n  NEW_VM   =   Neu   \n"), QByteArray("Neu"),
        QByteArray("[English]\n  NEW_VM   =Neu\n"));
    Row("other section only", QByteArray("[Deutsch]\nNEW_VM=Neu\n"), kDefault,
        QByteArray("[Deutsch]\nNEW_VM=Neu\n[English]\nNEW_VM=" + kDefault + "\n"));
    Row("entries outside any section", QByteArray("NEW_VM=Neu"), kDefault,
        QByteArray("NEW_VM=Neu\n[English]\nNEW_VM=" + kDefault + "\n"));
    Row("CR only", QByteArray("[English]\rA=1\rNEW_VM=x"), QByteArray("x"),
        QByteArray("[English]\rA=1\rNEW_VM=x"));
    Row("NUL bytes kept", QByteArray("[English]\nNEW_VM=a\0b\n", 21), QByteArray("a\0b", 3),
        QByteArray("[English]\nNEW_VM=a\0b\n", 21));
}

void TestLanguageManager::lookups() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, after);
    if (!file.isNull())
        WriteBytes(Path(), file.toStdString());
    {
        Run run(Path());
        COMPARE_BYTES(run.Text("NEW_VM", "Create New Virtual Machine"), shown.toStdString());
    }
    COMPARE_BYTES(ReadBytes(Path()), after.toStdString());
}

void TestLanguageManager::duplicateNamesAllHoldTheFirstValue() {
    const std::string file = "[English]\nVM_CPU=first\nVM_CPU=second\nvm_cpu=third\n";
    WriteBytes(Path(), file);
    {
        Run run(Path());
        COMPARE_BYTES(run.Text("VM_CPU", "CPU"), "first");
        COMPARE_BYTES(run.Map().at("vm_cpu"), "first");
    }
    // The first line is written with its own value; the others stay.
    COMPARE_BYTES(ReadBytes(Path()), file);
}

void TestLanguageManager::loadEqualsListingThenReadingEachName() {
    static const char* const kKeys[] = {"A", "a", "B", "b", "10", "2", "1002", "102", "Z_", "z_"};
    std::mt19937 rng(31);
    for (int round = 0; round < 200; ++round) {
        std::string file = rng() % 2 ? "[English]\n" : "[X]\nA=x\n[ english ]\r\n";
        const int lines = static_cast<int>(rng() % 40);
        for (int i = 0; i < lines; ++i)
            file += std::string(kKeys[rng() % std::size(kKeys)]) + (rng() % 3 ? "=" : " = ") + "v" +
                    std::to_string(i) + "\n";
        WriteBytes(Path(), file);

        std::map<std::string, std::string> expected; // the loading steps, done literally
        CIni ini(Path());
        std::vector<std::string> names;
        ini.ListKeys("English", names);
        for (const std::string& name : names)
            expected[name] = ini.ReadValue("English", name);

        CLanguageIniManger manager(Path(), "English");
        QVERIFY(manager.Texts() == expected);
    }
}

void TestLanguageManager::longValueReadWhole() {
    std::string value;
    for (int i = 0; value.size() < 2000; ++i)
        value += std::to_string(i % 10);
    WriteBytes(Path(), "[English]\nEDIT_VM=" + value + "\n");
    {
        Run run(Path());
        QCOMPARE(run.Text("EDIT_VM", "Edit Virutal Machine %s").size(), std::size_t(2000));
        COMPARE_BYTES(run.Text("EDIT_VM", ""), value);
    }
    COMPARE_BYTES(ReadBytes(Path()), "[English]\nEDIT_VM=" + value + "\n");
}

void TestLanguageManager::otherSectionsAndCommentsKept() {
    const std::string before = "; Tarnwick texts\n[Deutsch]\nVM_NAME=Name DE\n\n";
    const std::string middle = "; translated by hand\n\t; indented\n   \nnot an entry\n";
    const std::string after = "\n[Other]\nVM_ARCH=zzz\n";
    WriteBytes(Path(), before + "[English]\nVM_NAME=Nom\n" + middle + after);
    {
        Run run(Path());
        COMPARE_BYTES(run.Text("VM_NAME", "Name"), "Nom");
        run.Text("VM_ARCH", "Arch");
    }
    COMPARE_BYTES(ReadBytes(Path()),
                  before + "[English]\nVM_NAME=Nom\nVM_ARCH=Arch\n" + middle + after);
}

void TestLanguageManager::crLfFileKeepsItsEndings() {
    WriteBytes(Path(), "[English]\r\n");
    {
        Run run(Path());
        OpenMainWindow(run);
    }
    std::string expected = kFirstRunFile;
    for (std::size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += 2)
        expected.insert(at, 1, '\r');
    COMPARE_BYTES(ReadBytes(Path()), expected);
}

void TestLanguageManager::protectedValuesSurviveRuns() {
    const std::map<std::string, std::string> texts = {
        {"A", " leading"}, {"B", "trailing\t"}, {"C", "\"quoted\""},
        {"D", "'single'"}, {"E", "  "},         {"F", "plain"},
        {"G", ""}};
    {
        Run run(Path());
        for (const auto& [key, text] : texts)
            g_pLangManager->SetText(key, text);
    }
    const std::string first = ReadBytes(Path());
    COMPARE_BYTES(first, "[English]\nA=\" leading\"\nB=\"trailing\t\"\nC=\"\"quoted\"\"\n"
                         "D=\"'single'\"\nE=\"  \"\nF=plain\nG=\n");
    for (int runs = 0; runs < 3; ++runs) {
        Run run(Path());
        QVERIFY(run.Map() == texts);
    }
    COMPARE_BYTES(ReadBytes(Path()), first);
}

void TestLanguageManager::lineBreakTextsNotWritten() {
    WriteBytes(Path(), "[English]\nKEEP=old\n");
    {
        Run run(Path());
        g_pLangManager->SetText("KEEP", "two\nlines");
        g_pLangManager->SetText("NEW", "cr\rinside");
        g_pLangManager->SetText("OK", "fine");
    }
    COMPARE_BYTES(ReadBytes(Path()), "[English]\nKEEP=old\nOK=fine\n");
}

void TestLanguageManager::idsAreSignedDecimal() {
    Run run(Path());
    g_pLangManager->SetTextById(-1, "minus");
    g_pLangManager->SetTextById(1013, "x");
    g_pLangManager->SetTextById(INT32_MIN, "min");
    std::string text;
    QCOMPARE(g_pLangManager->GetText("-1", text), 1);
    COMPARE_BYTES(text, "minus");
    QCOMPARE(g_pLangManager->GetTextById(1013, text), 1);
    COMPARE_BYTES(text, "x");
    QVERIFY(run.Map().count("-2147483648"));
    text = "untouched";
    QCOMPARE(g_pLangManager->GetTextById(7, text), 0);
    COMPARE_BYTES(text, "untouched");
}

void TestLanguageManager::twoInstancesKeepBothWrites() {
    WriteBytes(Path(), "[English]\n102=Tarnwick\n");
    auto* first = new CLanguageIniManger(Path(), "English");
    auto* second = new CLanguageIniManger(Path(), "English");
    first->SetText("A", "from first");
    second->SetText("B", "from second");
    second->SetText("102", "Zweite");
    delete first;
    delete second;
    COMPARE_BYTES(ReadBytes(Path()), "[English]\n102=Zweite\nA=from first\nB=from second\n");
}

void TestLanguageManager::lookupWithoutManagerGivesDefault() {
    std::string result = "stale";
    COMPARE_BYTES(GetLangText("NEW_VM", "Create New Virtual Machine", result),
                  "Create New Virtual Machine");
}

void TestLanguageManager::keyAliasingResult() {
    WriteBytes(Path(), "[English]\nK=from file\n");
    Run run(Path());
    std::string s = "K";
    COMPARE_BYTES(GetLangText(s, "default", s), "from file");
}

QTEST_GUILESS_MAIN(TestLanguageManager)
#include "tst_languagemanager.moc"
