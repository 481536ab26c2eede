// The plain rules the manager and the back end share: cutting UTF-8, the
// one-text format, atomic replacement.
#include "LangTestUtil.h"
#include "base/AtomicFile.h"
#include "base/FormatText.h"
#include "base/Utf8.h"

#include <QFileInfo>
#include <csignal>
#include <cstring>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kEuro = "\xE2\x82\xAC";      // 3 bytes
const QByteArray kUmlaut = "\xC3\xA4";        // 2 bytes
const QByteArray kEmoji = "\xF0\x9F\x98\x80"; // 4 bytes

} // namespace

class TestBase : public QObject {
    Q_OBJECT
private slots:
    void cutUtf8_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("bound");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("short") << QByteArray("abc") << 5 << QByteArray("abc");
        QTest::newRow("exact") << QByteArray("abcde") << 5 << QByteArray("abcde");
        QTest::newRow("ascii cut") << QByteArray("abcdef") << 5 << QByteArray("abcde");
        QTest::newRow("zero bound") << QByteArray("abc") << 0 << QByteArray();
        QTest::newRow("two-byte fits") << ("abc" + kUmlaut + "x") << 5 << ("abc" + kUmlaut);
        QTest::newRow("two-byte across") << ("abcd" + kUmlaut) << 5 << QByteArray("abcd");
        QTest::newRow("three-byte across 1") << ("abcd" + kEuro) << 5 << QByteArray("abcd");
        QTest::newRow("three-byte across 2") << ("abc" + kEuro) << 5 << QByteArray("abc");
        QTest::newRow("three-byte fits") << ("ab" + kEuro + "z") << 5 << ("ab" + kEuro);
        QTest::newRow("four-byte across") << ("a" + kEmoji + "z") << 4 << QByteArray("a");
        QTest::newRow("four-byte at the start") << (kEmoji + "z") << 2 << QByteArray();
        QTest::newRow("only multibyte") << (kEuro + kEuro) << 5 << kEuro;
        QTest::newRow("invalid bytes are single")
            << QByteArray("abcd\xFF\xFEz") << 5 << QByteArray("abcd\xFF");
        QTest::newRow("lead without continuation")
            << QByteArray("abcd\xE2xy") << 5 << QByteArray("abcd\xE2");
        QTest::newRow("sequence broken after the bound")
            << QByteArray("ab\xE2\x82xy") << 3 << QByteArray("ab\xE2");
        QTest::newRow("stray continuation")
            << QByteArray("abcd\x80\x80") << 5 << QByteArray("abcd\x80");
        QTest::newRow("continuations only")
            << QByteArray("\x80\x80\x80\x80\x80") << 3 << QByteArray("\x80\x80\x80");
        QTest::newRow("truncated sequence at end")
            << QByteArray("abcd\xE2\x82") << 5 << QByteArray("abcd\xE2");
        QTest::newRow("C0 is no lead") << QByteArray("abcd\xC0\xAF") << 5 << QByteArray("abcd\xC0");
    }
    void cutUtf8() {
        QFETCH(QByteArray, text);
        QFETCH(int, bound);
        QFETCH(QByteArray, expected);
        const std::string_view cut =
            base::CutUtf8(std::string_view(text.constData(), size_t(text.size())), size_t(bound));
        QCOMPARE(QByteArray(cut.data(), qsizetype(cut.size())), expected);
    }

    void formatWithText_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("default") << QString("Edit Virutal Machine %s")
                                 << QString("Edit Virutal Machine vm");
        QTest::newRow("no conversion") << QString("Edit") << QString("Edit");
        QTest::newRow("empty") << QString("") << QString("");
        QTest::newRow("second %s kept") << QString("%s and %s") << QString("vm and %s");
        QTest::newRow("escaped percent") << QString("100%% %s") << QString("100% vm");
        QTest::newRow("other conversions kept") << QString("%d%n %s %x") << QString("%d%n vm %x");
        QTest::newRow("trailing percent") << QString("%s 50%") << QString("vm 50%");
    }
    void formatWithText() {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(base::FormatWithText(format.toStdString(), "vm")),
                 expected);
    }

    // A kill at any moment leaves the old or the new file; beyond the
    // language file's tests, what the back end asks for: a private new file
    // and an error that names the file.
    void replacement() {
        QTemporaryDir dir;
        const std::string path = PathIn(dir, "file");
        QVERIFY(base::ReplaceFileAtomically(path, "old", {.newFileMode = 0600}));
        QCOMPARE(QFile::permissions(dir.filePath("file")) & 0x0FFF,
                 QFile::ReadUser | QFile::WriteUser);
        const base::ReplaceFault fault{base::ReplaceFault::Step::Rename};
        std::string error;
        QVERIFY(!base::ReplaceFileAtomically(path, "new", {.error = &error, .fault = &fault}));
        QCOMPARE(error, "cannot replace " + path + ": " + std::strerror(EIO));

        // A link is written through for the language file; the back end,
        // whose reads refuse links, gets the link itself replaced.
        const std::string link = PathIn(dir, "link");
        QVERIFY(::symlink(path.c_str(), link.c_str()) == 0);
        QVERIFY(base::ReplaceFileAtomically(link, "through"));
        QCOMPARE(ReadBytes(path), std::string("through"));
        QVERIFY(base::ReplaceFileAtomically(link, "own", {.followLink = false}));
        QVERIFY(!QFileInfo(dir.filePath("link")).isSymLink());
        QCOMPARE(ReadBytes(link), std::string("own"));
        QCOMPARE(ReadBytes(path), std::string("through"));
        QVERIFY(::unlink(link.c_str()) == 0);

        // Large enough that a kill often lands inside a write.
        std::string a = "[English]\n", b = "[English]\n";
        for (int i = 0; a.size() < (8u << 20); ++i) {
            a += "A" + std::to_string(i) + "=first\n";
            b += "B" + std::to_string(i) + "=second run\n";
        }
        QVERIFY(base::ReplaceFileAtomically(path, a));
        std::mt19937 rng(5);
        for (int round = 0; round < 30; ++round) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                for (unsigned i = 0;; ++i)
                    base::ReplaceFileAtomically(path, i % 2 ? a : b);
            }
            ::usleep(static_cast<useconds_t>(2'000 + rng() % 40'000));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            const std::string now = ReadBytes(path);
            QVERIFY2(now == a || now == b, "a killed write left a mixed file");
        }
        // A kill may strand a hidden temporary file; never anything else.
        for (const QString& name : Leftovers(dir, "file"))
            QVERIFY2(name.startsWith(".file.") && name.endsWith(".tmp"), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(TestBase)
#include "tst_base.moc"
