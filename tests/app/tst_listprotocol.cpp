// The list protocol and the error-text protocol against back ends that lie.
#include "TestBackendControl.h"
#include "TestBytes.h"
#include "TestRow.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ListProtocol.h"

#include <QtTest>

#include <new>

namespace {

uint32_t MemTypes(char* buffer, uint32_t capacity, uint32_t slot) {
    return Emu::GetMemType(buffer, capacity, slot);
}

QList<QByteArray> Fetched() {
    const auto items = FetchList(MemTypes);
    return items ? Bytes(*items) : QList<QByteArray>{"<none>"};
}

// The capacity the fill call was given, from the log.
QByteArray FillCapacity() {
    const std::vector<BackendCall> calls = TestBackend::CallsOf("GetMemType");
    return calls.size() == 2 ? Bytes(calls[1].args[1]) : QByteArray("<no fill call>");
}

constexpr qint64 kTruthful = -1;
const QByteArray kMaxItems = QByteArray::number(kMaxListItems);

} // namespace

class TestListProtocol : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(TestBackend::Load()); }
    void init() { TestBackend::Reset(); }
    void cleanupTestCase() { FreeEmulatorLibrary(); }

    void hostileLists_data() {
        QTest::addColumn<QList<QByteArray>>("items");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("written");
        QTest::addColumn<bool>("noNul");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::addColumn<QByteArray>("capacity");

        const QList<QByteArray> two{"KB", "MB"};
        QTest::newRow("honest") << two << kTruthful << kTruthful << false << two << QByteArray("2");
        Row("count above the items", two, qint64(5), kTruthful, false, two, QByteArray("5"));
        // Slots beyond the two items stay zero: read as empty texts.
        Row("written above the items, within the count", two, qint64(4), qint64(4), false,
            QList<QByteArray>{"KB", "MB", "", ""}, QByteArray("4"));
        Row("written above the count", two, kTruthful, qint64(1000), false, two, QByteArray("2"));
        Row("written the largest number", two, kTruthful, qint64(UINT32_MAX), false, two,
            QByteArray("2"));
        Row("written below the items", two, kTruthful, qint64(1), false, QList<QByteArray>{"KB"},
            QByteArray("2"));
        Row("nothing written", two, kTruthful, qint64(0), false, QList<QByteArray>{},
            QByteArray("2"));
        Row("no NUL in the slots", two, kTruthful, kTruthful, true,
            QList<QByteArray>{"KB" + QByteArray(258, '#'), "MB" + QByteArray(258, '#')},
            QByteArray("2"));
        Row("item as long as its slot, no NUL", QList<QByteArray>{QByteArray(300, 'x')}, kTruthful,
            kTruthful, true, QList<QByteArray>{QByteArray(260, 'x')}, QByteArray("1"));
        Row("huge count", two, qint64(UINT32_MAX), kTruthful, false, two, kMaxItems);
        Row("count zero", two, qint64(0), kTruthful, false, QList<QByteArray>{"<none>"},
            QByteArray("<no fill call>"));
        Row("no items", QList<QByteArray>{}, kTruthful, kTruthful, false,
            QList<QByteArray>{"<none>"}, QByteArray("<no fill call>"));
    }

    void hostileLists() {
        QFETCH(QList<QByteArray>, items);
        QFETCH(qint64, count);
        QFETCH(qint64, written);
        QFETCH(bool, noNul);
        QFETCH(QList<QByteArray>, expected);
        QFETCH(QByteArray, capacity);

        std::vector<std::string> list;
        for (const QByteArray& item : items) {
            list.push_back(item.toStdString());
        }
        TestBackend::SetList("GetMemType", list);
        TestBackend::SetListQuirks("GetMemType", count, written, noNul);
        QCOMPARE(Fetched(), expected);
        QCOMPARE(FillCapacity(), capacity);
    }

    void hugeCountAndWrittenStayWithinTheBuffer() {
        TestBackend::SetList("GetMemType", {"KB"});
        TestBackend::SetListQuirks("GetMemType", UINT32_MAX, UINT32_MAX, true);
        const auto items = FetchList(MemTypes);
        QVERIFY(items.has_value());
        QCOMPARE(items->size(), size_t(kMaxListItems));
        QCOMPARE(Bytes(items->front()), "KB" + QByteArray(258, '#'));
        QCOMPARE(Bytes(items->back()), QByteArray());
    }

    void protocolCallsAreCountThenFill() {
        TestBackend::SetList("GetEmulatorCPU", {"arm926"}, "versatile");
        TestBackend::SetList("GetEmulatorCPU", {"any"});
        const auto items = FetchList([](char* b, uint32_t c, uint32_t s) {
            return Emu::GetEmulatorCPU("versatile", b, c, s);
        });
        QCOMPARE(Bytes(items.value()), QList<QByteArray>{"arm926"});
        const std::vector<BackendCall> calls = TestBackend::CallsOf("GetEmulatorCPU");
        QCOMPARE(calls.size(), size_t(2));
        QCOMPARE(Bytes(calls[0].args), (QList<QByteArray>{"versatile", "<null>", "0", "260"}));
        QCOMPARE(Bytes(calls[1].args), (QList<QByteArray>{"versatile", "<buffer>", "1", "260"}));
    }

    void fillBufferIsZeroedAndSizedByTheCount() {
        uint32_t seenCapacity = 0;
        bool zeroed = false;
        const auto items = FetchList([&](char* buffer, uint32_t capacity, uint32_t slot) {
            if (!buffer) {
                return 3u;
            }
            seenCapacity = capacity;
            zeroed = std::all_of(buffer, buffer + size_t(capacity) * slot,
                                 [](char c) { return c == 0; });
            strcpy(buffer + slot, "second");
            return 3u;
        });
        QCOMPARE(seenCapacity, 3u);
        QVERIFY(zeroed);
        QCOMPARE(Bytes(items.value()), (QList<QByteArray>{"", "second", ""}));
    }

    void allocationFailureCountsAsNoList() {
        const auto items = FetchList([](char* buffer, uint32_t, uint32_t) -> uint32_t {
            if (!buffer) {
                return 2;
            }
            throw std::bad_alloc();
        });
        QVERIFY(!items.has_value());
    }

    void errorText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("claimed");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("sizeAsked"); // of the second call; empty: none

        Row("honest", QByteArray("boom"), kTruthful, QByteArray("boom"), QByteArray("4"));
        QTest::newRow("no text") << QByteArray() << kTruthful << QByteArray() << QByteArray();
        Row("text but length 0", QByteArray("boom"), qint64(0), QByteArray(), QByteArray());
        Row("claimed shorter: cut at the claim", QByteArray("abcdef"), qint64(3), QByteArray("abc"),
            QByteArray("3"));
        Row("claimed longer", QByteArray("abc"), qint64(100), QByteArray("abc"), QByteArray("100"));
        Row("claimed the largest length", QByteArray("abc"), qint64(UINT32_MAX), QByteArray("abc"),
            QByteArray::number(kMaxTextLength));
        Row("embedded NUL ends the text", QByteArray("ab\0cd", 5), kTruthful, QByteArray("ab"),
            QByteArray("5"));
    }

    void errorText() {
        QFETCH(QByteArray, text);
        QFETCH(qint64, claimed);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, sizeAsked);
        TestBackend::SetStart("vm", 0, text.toStdString(), claimed);
        QCOMPARE(Bytes(FetchStartErrorText("vm")), expected);
        const std::vector<BackendCall> calls = TestBackend::CallsOf("GetStartEmulatorErrInfo");
        QCOMPARE(Bytes(calls.at(0).args), (QList<QByteArray>{"vm", "<null>", "0"}));
        QCOMPARE(calls.size(), size_t(sizeAsked.isEmpty() ? 1 : 2));
        if (!sizeAsked.isEmpty()) {
            QCOMPARE(Bytes(calls[1].args), (QList<QByteArray>{"vm", "<buffer>", sizeAsked}));
        }
    }

    void errorTextOfTheWholeClaimedLength() {
        const std::string text(kMaxTextLength + 10, 'e');
        TestBackend::SetStart("vm", 0, text);
        QCOMPARE(FetchStartErrorText("vm").size(), size_t(kMaxTextLength));
    }
};

QTEST_GUILESS_MAIN(TestListProtocol)
#include "tst_listprotocol.moc"
