// Bounded texts of the record: writing into fields, reading them.
#include "config/RecordText.h"

#include <QTest>
#include <cstring>

namespace {

const std::string kEuro = "\xE2\x82\xAC";      // 3 bytes
const std::string kUmlaut = "\xC3\xA4";        // 2 bytes
const std::string kEmoji = "\xF0\x9F\x98\x80"; // 4 bytes

struct Field261 {
    char bytes[261];
};

} // namespace

class TestRecordText : public QObject {
    Q_OBJECT
private slots:
    void cutAtRecordBounds_data() {
        QTest::addColumn<int>("fieldSize");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("stored");
        for (int n : {259, 260, 261, 300}) {
            QTest::addRow("261-byte field, %d", n) << 261 << n << std::min(n, 260);
            QTest::addRow("260-byte field, %d", n) << 260 << n << std::min(n, 259);
        }
        for (int n : {1023, 1024, 1025, 1100})
            QTest::addRow("command line, %d", n) << 1025 << n << std::min(n, 1024);
        for (int n : {31, 32, 33})
            QTest::addRow("arch, %d", n) << 32 << n << std::min(n, 31);
    }
    void cutAtRecordBounds() {
        QFETCH(int, fieldSize);
        QFETCH(int, length);
        QFETCH(int, stored);
        std::string text;
        for (int i = 0; i < length; ++i)
            text.push_back(char('a' + i % 26));
        // Guard bytes after the field show that nothing is written past it.
        std::vector<char> buffer(size_t(fieldSize) + 8, '\x5A');
        buffer[size_t(fieldSize) - 1] = 0; // the last byte as a zeroed record has it
        char* f = buffer.data();
        switch (fieldSize) {
        case 261:
            SetField(*reinterpret_cast<char(*)[261]>(f), text);
            break;
        case 260:
            SetField(*reinterpret_cast<char(*)[260]>(f), text);
            break;
        case 1025:
            SetField(*reinterpret_cast<char(*)[1025]>(f), text);
            break;
        case 32:
            SetField(*reinterpret_cast<char(*)[32]>(f), text);
            break;
        }
        QCOMPARE(std::string(f, size_t(stored)), text.substr(0, size_t(stored)));
        for (int i = stored; i < fieldSize; ++i)
            QCOMPARE(int(f[i]), 0);
        for (int i = fieldSize; i < fieldSize + 8; ++i)
            QCOMPARE(f[i], '\x5A');
        QCOMPARE(ReadField(f, size_t(fieldSize)), text.substr(0, size_t(stored)));
    }

    void lastByteOfWideFieldsIsNeverWritten() {
        Field261 field;
        std::memset(field.bytes, 0x77, sizeof field.bytes);
        SetField(field.bytes, std::string(300, 'n'));
        QCOMPARE(field.bytes[260], '\x77');
        SetField(field.bytes, "short");
        QCOMPARE(field.bytes[260], '\x77');
        QCOMPARE(field.bytes[5], '\0');
        QCOMPARE(field.bytes[259], '\0');
    }

    void multibyteAcrossTheBound() {
        char field[261] = {};
        // 259 ASCII bytes and a 3-byte character: only the ASCII fits in 260.
        const std::string text = std::string(259, 'p') + kEuro;
        SetField(field, text);
        QCOMPARE(GetField(field), std::string(259, 'p'));
        char peri[260] = {};
        SetField(peri, std::string(257, 'q') + kUmlaut + "tail");
        QCOMPARE(GetField(peri), std::string(257, 'q') + kUmlaut);
        SetField(peri, std::string(258, 'q') + kUmlaut);
        QCOMPARE(GetField(peri), std::string(258, 'q'));
        char cmd[1025] = {};
        SetField(cmd, std::string(1022, 'c') + kEmoji);
        QCOMPARE(GetField(cmd), std::string(1022, 'c'));
    }

    void fieldsWithoutNulAreReadWithinTheirWidth() {
        char record[261 + 32 + 4];
        std::memset(record, 'N', sizeof record);
        record[261 + 31] = 'A';
        QCOMPARE(GetField(*reinterpret_cast<char(*)[261]>(record)), std::string(261, 'N'));
        QCOMPARE(ReadField(record + 261, 32), std::string(31, 'N') + "A");
        QCOMPARE(ReadField(record, 0), std::string());
    }

    void garbageRecordIsReadFieldByField() {
        // Every byte set, none of them NUL: each read stops at its field's end.
        std::vector<char> garbage(12804);
        for (size_t i = 0; i < garbage.size(); ++i)
            garbage[i] = char(1 + (i * 131) % 255);
        const struct {
            size_t offset, width;
        } fields[] = {{0, 261},     {261, 32},    {293, 261},  {554, 261},  {820, 261},
                      {1081, 261},  {1352, 261},  {1613, 261}, {1880, 261}, {2141, 261},
                      {2408, 261},  {2669, 261},  {2936, 260}, {3196, 260}, {11256, 261},
                      {11517, 261}, {11778, 1025}};
        for (const auto& f : fields) {
            const std::string text = ReadField(garbage.data() + f.offset, f.width);
            QCOMPARE(text.size(), f.width);
            QCOMPARE(text, std::string(garbage.data() + f.offset, f.width));
        }
    }

    void embeddedNulEndsTheText() {
        char field[260] = {};
        SetField(field, std::string("ab\0cd", 5));
        QCOMPARE(GetField(field), std::string("ab"));
    }
};

QTEST_APPLESS_MAIN(TestRecordText)
#include "tst_recordtext.moc"
