// Stored machines: the file format, file names from hostile machine names,
// atomic replacement and the list protocol around them.
#include "BackendTestUtil.h"
#include "Keeper.h"
#include "MachineFile.h"
#include "NameCodec.h"
#include "Sha256.h"
#include "Store.h"
#include "Text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bx;
using namespace bxtest;

namespace {
// Every byte value 1..255 spread over every text field, with line breaks,
// blanks at both ends and invalid UTF-8 among them.
EmulatorOptions FullRecord() {
    EmulatorOptions r = ZeroRecord();
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(char(c));
    WriteField(r.general.name, " name\twith\r\nbreaks \\ \xff\xc3(");
    WriteField(r.general.arch, "arm");
    WriteField(r.general.target, all.substr(0, 200));
    WriteField(r.general.cpu, all.substr(55, 200));
    r.general.memSize = -2147483647 - 1;
    WriteField(r.general.memType, all.substr(120, 135));
    WriteField(r.general.tapAdapter, "tap0 ");
    r.general.displayEnable = 7;
    r.disk.sdSize = 2147483647;
    WriteField(r.disk.sdMemType, "GB");
    WriteField(r.disk.sdFile, "img/sd card.img");
    r.disk.hdSize = -1;
    WriteField(r.disk.hdMemType, "\xe2\x82\xac");
    WriteField(r.disk.hdFile, std::string(260, 'h'));
    r.peri.serialEnable = 1;
    WriteField(r.peri.serialType, "file");
    WriteField(r.peri.serialParam, "=value=with=equals");
    r.peri.periCount = 3;
    for (int i = 0; i < MAX_PERI; ++i) {
        WriteField(r.peri.peris[i].device, "dev" + std::to_string(i));
        WriteField(r.peri.peris[i].param, all.substr(i * 10, 259));
    }
    WriteField(r.os.osImage, "/boot/zImage");
    WriteField(r.os.initrdImage, "");
    WriteField(r.os.cmdLine, std::string(1024, 'c'));
    return r;
}

std::vector<std::string> FilesIn(const QString& dir) {
    std::vector<std::string> files;
    for (const QString& f :
         QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        files.push_back(f.toStdString());
    return files;
}
} // namespace

class TestBackendStore : public QObject {
    Q_OBJECT

private slots:
    void listProtocol();
    void errorTextProtocol();
    void escapeRoundTripsEveryByte();
    void recordRoundTripsThroughFile();
    void malformedFilesDoNotParse_data();
    void malformedFilesDoNotParse();
    void hostileNamesStayInTheStore_data();
    void hostileNamesStayInTheStore();
    void longNamesGetDistinctFiles();
    void namesListedInByteOrder();
    void emptyNameIsNotStored();
    void tornWritesAreSkipped();
    void unreadableFileIsKeptAside();
    void copiedFileIsNotListedTwice();
    void removeKeepsTheLastVersion();
    void recreatedImageIsDecidedAfresh();
    void nameCutBySlotStillLoads();
    void periCountIsClamped();
    void twoProcessesSaveAtOnce();
    void sha256KnownAnswers();
};

void TestBackendStore::listProtocol() {
    const std::vector<std::string> items = {"one", std::string(300, 'x'), "three"};
    QCOMPARE(WriteList(items, nullptr, 0, 260), 3u);
    std::vector<char> buffer(2 * 260, '\x7f');
    QCOMPARE(WriteList(items, buffer.data(), 2, 260), 2u);
    QCOMPARE(std::string(buffer.data()), std::string("one"));
    QCOMPARE(std::string(buffer.data() + 260), std::string(259, 'x'));
    QCOMPARE(buffer[260 + 259], '\0');
    // Slots are NUL-filled, so nothing of an earlier text shows through.
    QCOMPARE(buffer[10], '\0');
    QCOMPARE(WriteList(items, buffer.data(), 2, 0), 0u);
    QCOMPARE(WriteList({}, buffer.data(), 2, 260), 0u);
}

void TestBackendStore::errorTextProtocol() {
    const std::string text(30, 'e');
    QCOMPARE(WriteErrorText(text, nullptr, 0), 30u);
    // The manager passes n with a buffer of n + 1 bytes and sets byte n itself.
    std::vector<char> buffer(31, '\x7f');
    QCOMPARE(WriteErrorText(text, buffer.data(), 30), 30u);
    QCOMPARE(std::string(buffer.data(), 30), text);
    QCOMPARE(buffer[30], '\x7f');
    std::vector<char> small(11, '\x7f');
    QCOMPARE(WriteErrorText(text, small.data(), 10), 30u);
    QCOMPARE(small[10], '\x7f');
    std::vector<char> roomy(64, '\x7f');
    QCOMPARE(WriteErrorText("abc", roomy.data(), 64), 3u);
    QCOMPARE(std::string(roomy.data()), std::string("abc"));
}

void TestBackendStore::escapeRoundTripsEveryByte() {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(char(c));
    for (const std::string& value :
         {all, std::string(" lead"), std::string("trail "), std::string(" "),
          std::string("\xc3\xa9t\xc3\xa9"), std::string("\\x41"), std::string("\xed\xa0\x80")}) {
        const std::string escaped = EscapeValue(value);
        QVERIFY(escaped.find('\n') == std::string::npos);
        QVERIFY(escaped.find('\r') == std::string::npos);
        QVERIFY(escaped.empty() || (escaped.front() != ' ' && escaped.back() != ' '));
        QCOMPARE(UnescapeValue(escaped).value_or("<bad>"), value);
    }
    QCOMPARE(EscapeValue("\xc3\xa9"), std::string("\xc3\xa9")); // readable UTF-8 stays
    QVERIFY(!UnescapeValue("bad\\"));
    QVERIFY(!UnescapeValue("\\q"));
    QVERIFY(!UnescapeValue("\\x4"));
    QVERIFY(!UnescapeValue("\\x00")); // no NUL inside a field's text
}

void TestBackendStore::recordRoundTripsThroughFile() {
    const EmulatorOptions record = FullRecord();
    const std::string text = SerializeMachine(record);
    QVERIFY(text.rfind("tarnwick-machine 1\n", 0) == 0);
    QVERIFY(text.find("\nmemSize=-2147483648\n") != std::string::npos);
    const std::optional<EmulatorOptions> back = ParseMachine(text);
    QVERIFY(back);
    QVERIFY(SameRecord(*back, record));
    // CR LF line ends (a file edited on another system) read alike.
    QString crlf = QString::fromLatin1(text.c_str());
    crlf.replace("\n", "\r\n");
    QVERIFY(ParseMachine(crlf.toLatin1().toStdString()));
}

void TestBackendStore::malformedFilesDoNotParse_data() {
    QTest::addColumn<QByteArray>("text");
    const QByteArray good = QByteArray::fromStdString(SerializeMachine(NamedRecord("vm")));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no version") << QByteArray("name=vm\nend\n");
    QTest::newRow("later version") << QByteArray("tarnwick-machine 2\nname=vm\nend\n");
    QTest::newRow("no end") << good.left(good.size() - 4);
    QTest::newRow("no final line break") << good.left(good.size() - 1);
    QTest::newRow("bad number") << QByteArray("tarnwick-machine 1\nname=vm\nmemSize=12x\nend\n");
    QTest::newRow("number too big")
        << QByteArray("tarnwick-machine 1\nname=vm\nsdSize=4294967296\nend\n");
    QTest::newRow("bad escape") << QByteArray("tarnwick-machine 1\nname=v\\m\nend\n");
    // A raw NUL is refused like its escape: it would cut the value silently.
    QTest::newRow("raw NUL") << QByteArray("tarnwick-machine 1\nname=v\0m\nend\n", 32);
    QTest::newRow("no name") << QByteArray("tarnwick-machine 1\ncpu=x\nend\n");
    QTest::newRow("name emptied by a later line")
        << QByteArray("tarnwick-machine 1\nname=vm\nname=\nend\n");
    QTest::newRow("line without =") << QByteArray("tarnwick-machine 1\nname=vm\njunk\nend\n");
    QTest::newRow("binary junk") << QByteArray("\x00\x01\x02tarnwick", 11);
}

void TestBackendStore::malformedFilesDoNotParse() {
    QFETCH(QByteArray, text);
    QVERIFY(!ParseMachine(std::string_view(text.constData(), text.size())));
}

void TestBackendStore::hostileNamesStayInTheStore_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("dot") << QByteArray(".");
    QTest::newRow("dotdot") << QByteArray("..");
    QTest::newRow("slash") << QByteArray("/");
    QTest::newRow("traversal") << QByteArray("../../etc/passwd");
    QTest::newRow("absolute") << QByteArray("/tmp/evil");
    QTest::newRow("percent") << QByteArray("%2F..%2F");
    QTest::newRow("tilde") << QByteArray("~root");
    QTest::newRow("leading dash") << QByteArray("-rf");
    QTest::newRow("blanks and quotes") << QByteArray(" my \"vm\" 'x' ");
    QTest::newRow("line breaks") << QByteArray("a\nb\rc");
    QTest::newRow("utf8") << QByteArray("r\xc3\xa9seau \xe2\x82\xac");
    QTest::newRow("control and high") << QByteArray("\x01\x7f\xff\xfe");
    QTest::newRow("260 slashes") << QByteArray(260, '/');
    QTest::newRow("260 bytes") << QByteArray(260, 'n');
    QTest::newRow("suffix lookalike") << QByteArray("x.vm");
}

void TestBackendStore::hostileNamesStayInTheStore() {
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString() + "/machines");
    EmulatorOptions record = FullRecord();
    WriteField(record.general.name, name.toStdString());
    QVERIFY(store.Save(record));

    const std::string stem = FileStemForName(name.toStdString());
    QVERIFY(stem.size() <= kMaxStem);
    QVERIFY(stem.find('/') == std::string::npos);
    QVERIFY(stem != "." && stem != "..");
    // Exactly one machine file, directly in the store, and nothing outside it.
    const std::vector<std::string> files = FilesIn(dir.path() + "/machines");
    QCOMPARE(files.size(), std::size_t(1));
    QCOMPARE(FilesIn(dir.path()).size(), std::size_t(1));

    QCOMPARE(store.Names(), std::vector<std::string>{name.toStdString()});
    const std::optional<EmulatorOptions> back = store.Load(name.toStdString());
    QVERIFY(back);
    QVERIFY(SameRecord(*back, record));
}

void TestBackendStore::longNamesGetDistinctFiles() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    // Same long head, different tails: the digest keeps them apart.
    const std::string head(250, '#');
    std::set<std::string> stems;
    for (const char* tail : {"a", "b", "c"}) {
        QVERIFY(store.Save(NamedRecord(head + tail)));
        stems.insert(FileStemForName(head + tail));
    }
    QCOMPARE(stems.size(), std::size_t(3));
    QCOMPARE(store.Names().size(), std::size_t(3));
    QVERIFY(store.Load(head + "b"));
}

void TestBackendStore::namesListedInByteOrder() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    const std::vector<std::string> names = {"beta", "Alpha", "alpha", "\xc3\xa9t\xc3\xa9",
                                            "10",   "9",     "a b"};
    for (const std::string& n : names)
        QVERIFY(store.Save(NamedRecord(n)));
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(store.Names(), sorted);
}

void TestBackendStore::emptyNameIsNotStored() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    QVERIFY(!store.Save(ZeroRecord()));
    QVERIFY(FilesIn(dir.path()).empty());
    QVERIFY(!store.Load(""));
}

void TestBackendStore::tornWritesAreSkipped() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    QVERIFY(store.Save(NamedRecord("whole")));
    const std::string text = SerializeMachine(FullRecord());
    // A temporary file left by a crash before its rename.
    QVERIFY(WriteBytes(ToStd(dir.path()) + "/.whole.vm.0123456789.tmp", text));
    // Truncated copies of a machine file, cut at many lengths.
    for (std::size_t cut :
         {std::size_t(0), std::size_t(10), text.size() / 2, text.size() - 5, text.size() - 1}) {
        EmulatorOptions torn = FullRecord();
        const std::string name = "torn" + std::to_string(cut);
        WriteField(torn.general.name, name);
        const std::string full = SerializeMachine(torn);
        QVERIFY(WriteBytes(store.PathFor(name, MachineStore::kSuffix),
                           full.substr(0, std::min(cut, full.size() - 1))));
        QVERIFY2(!store.Load(name), name.c_str());
    }
    QCOMPARE(store.Names(), std::vector<std::string>{"whole"});
}

void TestBackendStore::unreadableFileIsKeptAside() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    const std::string path = store.PathFor("vm", MachineStore::kSuffix);
    QVERIFY(WriteBytes(path, "tarnwick-machine 1\nname=vm\nmemSize=oops\n"));
    QVERIFY(store.Names().empty());
    QVERIFY(store.Save(NamedRecord("vm")));
    QVERIFY(store.Load("vm"));
    QVERIFY(Bytes(ReadBytes(path + ".unreadable")).contains("memSize=oops"));
}

void TestBackendStore::copiedFileIsNotListedTwice() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    QVERIFY(store.Save(NamedRecord("vm")));
    QVERIFY(QFile::copy(QString::fromStdString(store.PathFor("vm", ".vm")),
                        dir.path() + "/copy of vm.vm"));
    QCOMPARE(store.Names(), std::vector<std::string>{"vm"});
}

void TestBackendStore::removeKeepsTheLastVersion() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    QVERIFY(store.Save(NamedRecord("vm")));
    QVERIFY(store.Save(NamedRecord("other")));
    QVERIFY(store.Remove("vm"));
    QVERIFY(!store.Remove("never stored"));
    QCOMPARE(store.Names(), std::vector<std::string>{"other"});
    QVERIFY(!store.Load("vm"));
    QVERIFY(QFile::exists(dir.path() + "/deleted/vm.vm"));
    // Saved again after an edit: back in the list.
    QVERIFY(store.Save(NamedRecord("vm")));
    QCOMPARE(store.Names(), (std::vector<std::string>{"other", "vm"}));
}

// An image deleted and made anew at its path is another image, also where
// the file system hands the new file the old one's inode.
void TestBackendStore::recreatedImageIsDecidedAfresh() {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const MachineStore store(base + "/machines");
    const MachineKeeper keeper(store, base);
    const std::string image = base + "/disk.img";
    auto inode = [&image] {
        struct stat st {};
        return ::stat(image.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    QVERIFY(WriteBytes(image, "QFI\xfb"));
    EmulatorOptions r = NamedRecord("vm");
    WriteField(r.disk.hdFile, image);
    QVERIFY(keeper.Save(r, std::nullopt));
    const ino_t old = inode();
    QVERIFY(QFile::remove(QString::fromStdString(image)));
    QVERIFY(WriteBytes(image, "raw"));
    if (inode() != old)
        QSKIP("this file system gave the new image a new inode");
    QVERIFY(keeper.Save(r, std::nullopt));
    const std::optional<StoredMachine> stored = store.LoadStored("vm");
    QVERIFY(stored && !stored->images.empty());
    QCOMPARE(stored->images.back().path, image);
    QCOMPARE(stored->images.back().format, std::string("raw"));
}

void TestBackendStore::nameCutBySlotStillLoads() {
    QTemporaryDir dir;
    const MachineStore store(dir.path().toStdString());
    const std::string full(260, 'L');
    QVERIFY(store.Save(NamedRecord(full)));
    // The list gives 259 bytes of it; they must lead back to the machine.
    std::vector<char> slot(BREVANTIX_SLOT_SIZE);
    QCOMPARE(WriteList(store.Names(), slot.data(), 1, BREVANTIX_SLOT_SIZE), 1u);
    const std::optional<EmulatorOptions> back = store.Load(slot.data());
    QVERIFY(back);
    QCOMPARE(ReadField(back->general.name), full);
    // A 259-byte machine of its own wins over the cut.
    QVERIFY(store.Save(NamedRecord(std::string(259, 'L'))));
    QCOMPARE(ReadField(store.Load(std::string(259, 'L'))->general.name), std::string(259, 'L'));
    QVERIFY(!store.Load(std::string(200, 'L')));
}

void TestBackendStore::periCountIsClamped() {
    for (int32_t count : {-5, 17, 1000}) {
        EmulatorOptions record = NamedRecord("vm");
        record.peri.periCount = count;
        const std::optional<EmulatorOptions> back = ParseMachine(SerializeMachine(record));
        QVERIFY(back);
        QVERIFY(back->peri.periCount >= 0 && back->peri.periCount <= MAX_PERI);
    }
}

void TestBackendStore::twoProcessesSaveAtOnce() {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString();
    constexpr int kRounds = 150;
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = fork();
        QVERIFY(children[child] >= 0);
        if (children[child] == 0) {
            const MachineStore store(path);
            for (int i = 0; i < kRounds; ++i) {
                // Both write the shared name with their own, whole record.
                EmulatorOptions shared = FullRecord();
                WriteField(shared.general.name, "shared");
                WriteField(shared.general.cpu, child == 0 ? "first" : "second");
                shared.general.memSize = child;
                store.Save(shared);
                store.Save(NamedRecord("own" + std::to_string(child) + "-" + std::to_string(i)));
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const MachineStore store(path);
    QCOMPARE(store.Names().size(), std::size_t(2 * kRounds + 1));
    const std::optional<EmulatorOptions> shared = store.Load("shared");
    QVERIFY(shared);
    const std::string cpu = ReadField(shared->general.cpu);
    QVERIFY(cpu == "first" || cpu == "second");
    QCOMPARE(shared->general.memSize, cpu == "first" ? 0 : 1);
    for (const std::string& file : FilesIn(dir.path()))
        QVERIFY2(file.front() != '.', file.c_str()); // a temporary file left behind
}

void TestBackendStore::sha256KnownAnswers() {
    QCOMPARE(Sha256Hex(""),
             std::string("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    QCOMPARE(Sha256Hex("abc"),
             std::string("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    QCOMPARE(Sha256Hex(std::string(1000, 'a')).substr(0, 16), std::string("41edece42d63e8d9"));
}

QTEST_GUILESS_MAIN(TestBackendStore)
#include "tst_backend_store.moc"
