// The split of the command line into language name and further argument.
#include "TestBytes.h"
#include "TestRow.h"
#include "app/CommandLine.h"

#include <QtTest>

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void split_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QByteArray>("extra");

        QTest::newRow("empty") << QByteArray() << QByteArray("English") << QByteArray();
        Row("white space only", QByteArray(" \t\r\n\v\f "), QByteArray("English"), QByteArray());
        Row("one word padded", QByteArray("  \tDeutsch \r\n"), QByteArray("Deutsch"), QByteArray());
        Row("three words", QByteArray("Deutsch vexpress a9"), QByteArray("Deutsch"),
            QByteArray("vexpress a9"));
        Row("two blanks between two words", QByteArray("Deutsch  extra"), QByteArray("Deutsch"),
            QByteArray(" extra"));
        Row("tab does not split", QByteArray("Deutsch\textra"), QByteArray("Deutsch\textra"),
            QByteArray());
        Row("tab before the first blank", QByteArray("a\tb c"), QByteArray("a\tb"),
            QByteArray("c"));
        Row("further argument keeps its inner white space", QByteArray(" English a \t b\v "),
            QByteArray("English"), QByteArray("a \t b"));
        Row("bytes above ASCII",
            QByteArray("Fran\xc3\xa7"
                       "ais x"),
            QByteArray("Fran\xc3\xa7"
                       "ais"),
            QByteArray("x"));
    }

    void split() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, language);
        QFETCH(QByteArray, extra);
        const CommandLineArgs args = SplitCommandLine(line.toStdString());
        QCOMPARE(Bytes(args.language), language);
        QCOMPARE(Bytes(args.extraArg), extra);
    }

    void argumentsJoinWithSingleBlanks() {
        const char* argv[] = {"tarnwick", "Deutsch", "a  b", ""};
        QCOMPARE(Bytes(JoinArguments(4, argv)), QByteArray("Deutsch a  b "));
        QCOMPARE(Bytes(JoinArguments(1, argv)), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
