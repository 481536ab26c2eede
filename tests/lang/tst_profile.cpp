// Reading and writing of one profile document in memory.
#include "LangTestUtil.h"
#include "NaiveProfile.h"
#include "lang/Profile.h"

#include <random>

namespace {

struct WriteOp {
    std::string section, key, value;
};

// "section|key|value"
WriteOp ParseOp(const QByteArray& op) {
    const QList<QByteArray> parts = op.split('|');
    return {parts.value(0).toStdString(), parts.value(1).toStdString(),
            parts.value(2).toStdString()};
}

} // namespace

class TestProfile : public QObject {
    Q_OBJECT
private slots:
    void readValue_data();
    void readValue();
    void listKeys_data();
    void listKeys();
    void write_data();
    void write();
    void refusedWrites_data();
    void refusedWrites();
    void unchangedValueIsNoModification();
    void protectedValuesReadBack_data();
    void protectedValuesReadBack();
    void matchesNaiveSingleWrites_data();
    void matchesNaiveSingleWrites();
    void randomFilesMatchNaiveSingleWrites();
    void garbageSerializesUnchanged();
    void longValueAndLongLine();
};

void TestProfile::readValue_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");

    auto row = [](const char* name, QByteArray file, const char* section, const char* key,
                  bool found, QByteArray value = {}) {
        QTest::newRow(name) << file << QByteArray(section) << QByteArray(key) << found << value;
    };
    row("plain", "[E]\nA=1\n", "E", "A", true, "1");
    row("names ignore ASCII case", "[english]\nnew_vm=x\n", "ENGLISH", "NEW_VM", true, "x");
    row("padded header", "  [ E ]  \nA=1\n", "E", "A", true, "1");
    row("padded entry", "[E]\n  NEW_VM   =   Hello World   \n", "E", "NEW_VM", true, "Hello World");
    row("tabs trimmed", "[E]\n\tK\t=\tv w\t\n", "E", "K", true, "v w");
    row("double quotes keep inner blanks", "[E]\nK=  \"  a b  \"  \n", "E", "K", true, "  a b  ");
    row("single quotes", "[E]\nK='x'\n", "E", "K", true, "x");
    row("mismatched quotes kept", "[E]\nK=\"x'\n", "E", "K", true, "\"x'");
    row("lone quote kept", "[E]\nK=\"\n", "E", "K", true, "\"");
    row("one pair stripped", "[E]\nK=\"\"x\"\"\n", "E", "K", true, "\"x\"");
    row("empty value", "[E]\nNEW_VM=\n", "E", "NEW_VM", true, "");
    row("blank value", "[E]\nNEW_VM=   \n", "E", "NEW_VM", true, "");
    row("equals in value", "[E]\nK=a=b\n", "E", "K", true, "a=b");
    row("backslash n stays", "[E]\nK=a\\nb\n", "E", "K", true, "a\\nb");
    row("semicolon in value", "[E]\nK=a;b\n", "E", "K", true, "a;b");
    row("inner blank in name", "[E]\nA B = 1\n", "E", "A B", true, "1");
    row("comment skipped", "[E]\n;K=1\nK=2\n", "E", "K", true, "2");
    row("indented comment", "[E]\n  ;K=1\n", "E", "K", false);
    row("no equals", "[E]\nK\n", "E", "K", false);
    row("empty name", "[E]\n  =1\n", "E", "", false);
    row("first duplicate wins", "[E]\nVM_CPU=first\nvm_cpu=second\n", "E", "VM_CPU", true, "first");
    row("first section only", "[E]\nA=1\n[F]\n[e]\nB=2\n", "E", "B", false);
    row("other section", "[F]\nA=1\n[E]\n", "E", "A", false);
    row("before any section", "A=1\n[E]\n", "E", "A", false);
    row("CR LF", "[E]\r\nA=1\r\nB=2\r\n", "E", "B", true, "2");
    row("CR only", "[E]\rA=1\rB=2", "E", "B", true, "2");
    row("mixed endings", "[E]\nA=1\r\nB=2\rC=3", "E", "C", true, "3");
    row("CR CR LF is two lines", "[E]\r\r\nA=1", "E", "A", true, "1");
    row("no final newline", "[E]\nA=1", "E", "A", true, "1");
    row("byte order mark", "\xEF\xBB\xBF[E]\nA=1\n", "E", "A", true, "1");
    row("text after header", "[E] ; note\nA=1\n", "E", "A", true, "1");
    row("unclosed header", "[E\nA=1\n", "E", "A", false);
    row("NUL byte kept", QByteArray("[E]\nA=x\0y\n", 10), "E", "A", true, QByteArray("x\0y", 3));
    row("empty file", "", "E", "A", false);
    row("header only", "[E]", "E", "A", false);
    row("high bytes", "[E]\n\xC3\xA9t\xC3\xA9=\xE2\x82\xAC\n", "E", "\xC3\xA9t\xC3\xA9", true,
        "\xE2\x82\xAC");
}

void TestProfile::readValue() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);
    const ProfileDocument doc(Bytes(file));
    const auto read = doc.Find(Bytes(section), Bytes(key));
    QCOMPARE(read.has_value(), found);
    COMPARE_BYTES(doc.ReadValue(Bytes(section), Bytes(key)), Bytes(value));
}

void TestProfile::listKeys_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");
    // Section "E" is asked for unless the file names English.
    QTest::newRow("order, duplicates, non-entries skipped")
        << QByteArray("[E]\nB=1\n;c=3\nA=2\nb=4\n  \nnoeq\n=5\n[x\n") << QStringList{"B", "A", "b"};
    QTest::newRow("trimmed") << QByteArray("[E]\n  X y \t= 1\n") << QStringList{"X y"};
    QTest::newRow("missing section") << QByteArray("[F]\nA=1\n") << QStringList{};
    QTest::newRow("first section only")
        << QByteArray("[E]\nA=1\n[F]\nB=1\n[e]\nC=1") << QStringList{"A"};
    QTest::newRow("header matched without case")
        << QByteArray("[ eNgLiSh ]\r\nK=1\r\n") << QStringList{"K"};
}

void TestProfile::listKeys() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    const ProfileDocument doc(Bytes(file));
    std::vector<std::string> listed{"stale"};
    const char* section = file.toLower().contains("english") ? "English" : "E";
    doc.ListKeys(section, listed);
    QStringList got;
    for (const auto& n : listed)
        got << QString::fromStdString(n);
    QCOMPARE(got, names);
}

void TestProfile::write_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new file") << QByteArray() << QByteArrayList{"E|A|1", "E|B|2"}
                              << QByteArray("[E]\nA=1\nB=2\n");
    QTest::newRow("after last entry, before comments")
        << QByteArray("[E]\nA=1\n\n;c\n[F]\n") << QByteArrayList{"E|B|2", "E|C|3"}
        << QByteArray("[E]\nA=1\nB=2\nC=3\n\n;c\n[F]\n");
    QTest::newRow("after header when no entry")
        << QByteArray("[E]\n;c\n") << QByteArrayList{"E|B|2"} << QByteArray("[E]\nB=2\n;c\n");
    QTest::newRow("replace keeps the name text")
        << QByteArray("[E]\n  Key  =  old  \n") << QByteArrayList{"E|KEY|new"}
        << QByteArray("[E]\n  Key  =new\n");
    QTest::newRow("replace first duplicate only")
        << QByteArray("[E]\nK=1\nK=2\n") << QByteArrayList{"E|k|3"}
        << QByteArray("[E]\nK=3\nK=2\n");
    QTest::newRow("missing section at end")
        << QByteArray("[F]\nX=1\n;end\n") << QByteArrayList{"E|A|1"}
        << QByteArray("[F]\nX=1\n;end\n[E]\nA=1\n");
    QTest::newRow("missing section, no final newline")
        << QByteArray("[F]\r\nX=1") << QByteArrayList{"E|A|1"}
        << QByteArray("[F]\r\nX=1\r\n[E]\r\nA=1\r\n");
    QTest::newRow("new entry, no final newline")
        << QByteArray("[E]\nA=1") << QByteArrayList{"E|B|2"} << QByteArray("[E]\nA=1\nB=2\n");
    QTest::newRow("header without newline")
        << QByteArray("[E]") << QByteArrayList{"E|B|2"} << QByteArray("[E]\nB=2\n");
    QTest::newRow("CR LF file") << QByteArray("[E]\r\nA=1\r\n") << QByteArrayList{"E|A|9", "E|B|2"}
                                << QByteArray("[E]\r\nA=9\r\nB=2\r\n");
    QTest::newRow("CR only file") << QByteArray("[E]\rA=1\r") << QByteArrayList{"E|B|2"}
                                  << QByteArray("[E]\rA=1\rB=2\r");
    QTest::newRow("new lines take the first line's ending")
        << QByteArray("[E]\r\nA=1\n") << QByteArrayList{"E|B|2"}
        << QByteArray("[E]\r\nA=1\nB=2\r\n");
    QTest::newRow("first matching section")
        << QByteArray("[E]\nA=1\n[F]\n[e]\nB=2\n") << QByteArrayList{"E|B|9"}
        << QByteArray("[E]\nA=1\nB=9\n[F]\n[e]\nB=2\n");
    QTest::newRow("entries before any section untouched")
        << QByteArray("A=1\n") << QByteArrayList{"E|A|2"} << QByteArray("A=1\n[E]\nA=2\n");
    QTest::newRow("empty value") << QByteArray("[E]\nA=1\n") << QByteArrayList{"E|A|"}
                                 << QByteArray("[E]\nA=\n");
    QTest::newRow("byte order mark kept")
        << QByteArray("\xEF\xBB\xBF[E]\nA=1\n") << QByteArrayList{"E|A|2"}
        << QByteArray("\xEF\xBB\xBF[E]\nA=2\n");
    QTest::newRow("quoted value replaced")
        << QByteArray("[E]\nA=\"x\"\n") << QByteArrayList{"E|A|y"} << QByteArray("[E]\nA=y\n");
}

void TestProfile::write() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, writes);
    QFETCH(QByteArray, expected);
    ProfileDocument doc(Bytes(file));
    for (const QByteArray& w : writes) {
        const WriteOp op = ParseOp(w);
        QVERIFY(doc.Write(op.section, op.key, op.value));
    }
    QVERIFY(doc.Modified());
    COMPARE_BYTES(doc.Serialize(), Bytes(expected));
}

void TestProfile::refusedWrites_data() {
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("LF in value") << QByteArray("E") << QByteArray("A") << QByteArray("x\ny");
    QTest::newRow("CR in value") << QByteArray("E") << QByteArray("B") << QByteArray("x\ry");
    QTest::newRow("empty key") << QByteArray("E") << QByteArray("") << QByteArray("v");
    QTest::newRow("equals in key") << QByteArray("E") << QByteArray("a=b") << QByteArray("v");
    QTest::newRow("padded key") << QByteArray("E") << QByteArray(" a") << QByteArray("v");
    QTest::newRow("comment key") << QByteArray("E") << QByteArray(";a") << QByteArray("v");
    QTest::newRow("header-like key") << QByteArray("E") << QByteArray("[a]") << QByteArray("v");
    QTest::newRow("line break in key") << QByteArray("E") << QByteArray("a\nb") << QByteArray("v");
    QTest::newRow("line break in section")
        << QByteArray("G\n") << QByteArray("a") << QByteArray("v");
    QTest::newRow("padded section") << QByteArray(" G") << QByteArray("a") << QByteArray("v");
}

void TestProfile::refusedWrites() {
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    const std::string file = "[E]\nA=1\n";
    ProfileDocument doc(file);
    QVERIFY(!doc.Write(Bytes(section), Bytes(key), Bytes(value)));
    QVERIFY(!doc.Modified());
    COMPARE_BYTES(doc.Serialize(), file);
}

void TestProfile::unchangedValueIsNoModification() {
    ProfileDocument doc("[E]\nA=1\nB=\n");
    QVERIFY(doc.Write("E", "a", "1"));
    QVERIFY(doc.Write("E", "B", ""));
    QVERIFY(!doc.Modified());
}

void TestProfile::protectedValuesReadBack_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("leading blank") << QByteArray(" lead") << QByteArray("K=\" lead\"");
    QTest::newRow("trailing blank") << QByteArray("trail ") << QByteArray("K=\"trail \"");
    QTest::newRow("tabs") << QByteArray("\tx\t") << QByteArray("K=\"\tx\t\"");
    QTest::newRow("only blanks") << QByteArray("   ") << QByteArray("K=\"   \"");
    QTest::newRow("double-quoted") << QByteArray("\"q\"") << QByteArray("K=\"\"q\"\"");
    QTest::newRow("single-quoted") << QByteArray("'q'") << QByteArray("K=\"'q'\"");
    QTest::newRow("empty quotes") << QByteArray("\"\"") << QByteArray("K=\"\"\"\"");
    QTest::newRow("lone quote as is") << QByteArray("\"") << QByteArray("K=\"");
    QTest::newRow("mismatched as is") << QByteArray("\"a'") << QByteArray("K=\"a'");
    QTest::newRow("inner quotes as is") << QByteArray("a \"b\" c") << QByteArray("K=a \"b\" c");
    QTest::newRow("empty as is") << QByteArray("") << QByteArray("K=");
    QTest::newRow("plain as is") << QByteArray("x y") << QByteArray("K=x y");
}

void TestProfile::protectedValuesReadBack() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, line);
    ProfileDocument doc;
    QVERIFY(doc.Write("E", "K", Bytes(value)));
    const std::string bytes = doc.Serialize();
    COMPARE_BYTES(bytes, "[E]\n" + Bytes(line) + "\n");
    // Stable over any number of runs.
    ProfileDocument next(bytes);
    COMPARE_BYTES(next.ReadValue("E", "K"), Bytes(value));
    next.Write("E", "K", next.ReadValue("E", "K"));
    QVERIFY(!next.Modified());
}

void TestProfile::matchesNaiveSingleWrites_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("none") << QByteArray();
    QTest::newRow("empty section") << QByteArray("[English]\n");
    QTest::newRow("other sections around")
        << QByteArray("; top\n[Deutsch]\n102=Tarnwick DE\n\n[ english ]\r\nVM_CPU = Prozessor\r\n"
                      "; keep\r\n\r\n[Other]\nVM_CPU=x\n");
    QTest::newRow("CR only") << QByteArray("[English]\r102=T\rzz=1\r");
    QTest::newRow("no final newline") << QByteArray("[English]\n1002=neu");
    QTest::newRow("section last, no newline") << QByteArray("[X]\nA=1\n[English]");
    QTest::newRow("no section, text only") << QByteArray("just some text");
    QTest::newRow("duplicates and case")
        << QByteArray("[English]\nvm_name=n1\nVM_NAME=n2\n[ENGLISH]\nVM_ARCH=a\n");
    QTest::newRow("garbage lines") << QByteArray("[English]\n=\n==x\n[\n]\n;;\n \t \n1040=del\n");
}

void TestProfile::matchesNaiveSingleWrites() {
    QFETCH(QByteArray, file);
    const std::vector<std::pair<std::string, std::string>> writes = {
        {"1002", "new"},     {"1012", "List of existing virtual machine"},
        {"102", "Tarnwick"}, {"1040", "delete"},
        {"VM_ARCH", "Arch"}, {"VM_CPU", "CPU"},
        {"VM_NAME", "Name"}, {"vm_name", "lower"},
        {"zz", "2"}};
    ProfileDocument doc(Bytes(file));
    NaiveProfile naive(Bytes(file));
    for (const auto& [key, value] : writes) {
        doc.Write("English", key, value);
        naive.Write("English", key, value);
    }
    COMPARE_BYTES(doc.Serialize(), naive.Bytes());
}

void TestProfile::randomFilesMatchNaiveSingleWrites() {
    static const char* const kLines[] = {"[E]", " [ e ] ", "[F]",  "[G] x", "A=1", " b = 2 ",
                                         "a=3", ";A=4",    "noeq", "=x",    "",    "  ",
                                         "B=",  "c='q'",   "[E",   "10=ten"};
    static const char* const kEols[] = {"\n", "\r\n", "\r"};
    static const char* const kSections[] = {"E", "e", "F", "G", "H"};
    static const char* const kKeys[] = {"A", "a", "B", "b", "C", "10", "2"};
    std::mt19937 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        std::string file = rng() % 8 == 0 ? "\xEF\xBB\xBF" : "";
        const int lines = static_cast<int>(rng() % 12);
        for (int i = 0; i < lines; ++i) {
            file += kLines[rng() % std::size(kLines)];
            if (i + 1 < lines || rng() % 3)
                file += kEols[rng() % 3 == 0 ? rng() % 3 : round % 3];
        }
        ProfileDocument doc(file);
        NaiveProfile naive(file);
        std::vector<WriteOp> ops;
        const int writes = static_cast<int>(rng() % 10);
        for (int i = 0; i < writes; ++i) {
            WriteOp op{kSections[rng() % std::size(kSections)], kKeys[rng() % std::size(kKeys)],
                       "v" + std::to_string(i)};
            doc.Write(op.section, op.key, op.value);
            naive.Write(op.section, op.key, op.value);
            ops.push_back(op);
        }
        const std::string bytes = doc.Serialize();
        if (bytes != naive.Bytes())
            qWarning("round %d input: %s", round,
                     QByteArray::fromStdString(file).toPercentEncoding().constData());
        COMPARE_BYTES(bytes, naive.Bytes());
        // Every value written reads back, the last write of a name winning.
        const ProfileDocument reread(bytes);
        for (const WriteOp& op : ops) {
            std::string last;
            for (const WriteOp& other : ops)
                if (AsciiLower(other.section) == AsciiLower(op.section) &&
                    AsciiLower(other.key) == AsciiLower(op.key))
                    last = other.value;
            COMPARE_BYTES(reread.ReadValue(op.section, op.key), last);
        }
    }
}

void TestProfile::garbageSerializesUnchanged() {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::string bytes(1 + rng() % 20000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng() % 4 == 0 ? "[]=;\r\n \t"[rng() % 8] : rng() & 0xFF);
        ProfileDocument doc(bytes);
        COMPARE_BYTES(doc.Serialize(), bytes);
        std::vector<std::string> names;
        doc.ListKeys("English", names);
        doc.Write("English", "102", "Tarnwick");
        const std::string written = doc.Serialize();
        QVERIFY(written.size() > bytes.size());
        COMPARE_BYTES(ProfileDocument(written).ReadValue("English", "102"), "Tarnwick");
    }
}

void TestProfile::longValueAndLongLine() {
    const std::string big(10 << 20, 'x');
    const std::string file = "[E]\nNOEQ" + big + "\nBIG=" + big + "\nA=1";
    ProfileDocument doc(file);
    QVERIFY(doc.ReadValue("E", "BIG") == big);
    COMPARE_BYTES(doc.ReadValue("E", "A"), "1");
    doc.Write("E", "BIG", "small");
    COMPARE_BYTES(doc.Serialize(), "[E]\nNOEQ" + big + "\nBIG=small\nA=1");
}

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
