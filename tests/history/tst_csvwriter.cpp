// The CSV writer of the export and the report mail: the quoting of every kind of field from
// a text and from UTF-8 bytes, lines across block boundaries read back from a real file, and
// a device that takes no bytes.
#include "history/csvwriter.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestCsvWriter : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void linesReadBackAcrossBlocks();
    void fullDeviceFailsTheWriter();
};

void TestCsvWriter::fields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain") << "12.5" << QByteArray("12.5");
    QTest::newRow("empty") << "" << QByteArray("");
    QTest::newRow("comma") << "1,5" << QByteArray("\"1,5\"");
    QTest::newRow("double quote") << "say \"hi\"" << QByteArray("\"say \"\"hi\"\"\"");
    QTest::newRow("comma and double quote") << "a, \"b\"" << QByteArray("\"a, \"\"b\"\"\"");
    QTest::newRow("only a quote") << "\"" << QByteArray("\"\"\"\"");
    QTest::newRow("line feed") << "a\nb" << QByteArray("\"a\nb\"");
    QTest::newRow("carriage return") << "a\rb" << QByteArray("\"a\rb\"");
    QTest::newRow("semicolon, tab and blanks stay") << " a;\tb " << QByteArray(" a;\tb ");
    QTest::newRow("non-ASCII as UTF-8") << QString::fromUtf8("短信 ü") << QByteArray("\xe7\x9f\xad\xe4\xbf\xa1 \xc3\xbc");
    QTest::newRow("non-ASCII quoted") << QString::fromUtf8("ü,\"") << QByteArray("\"\xc3\xbc,\"\"\"");
}

void TestCsvWriter::fields()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QCOMPARE(csvField(text).toUtf8(), field);
    QCOMPARE(csvFieldBytes(text.toUtf8()), field);

    // In a line, between other fields, from a text and from bytes alike.
    QByteArray written;
    {
        QBuffer buffer(&written);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        CsvWriter csv(buffer);
        csv.addLine({QStringLiteral("x"), text, QStringLiteral("y")});
        csv.addField("x");
        csv.addField(text.toUtf8());
        csv.addMadeField(csvFieldBytes(text.toUtf8()));
        QVERIFY(csv.endLine());
        QVERIFY(csv.finish());
    }
    QCOMPARE(written, "x," + field + ",y\n" + "x," + field + ',' + field + '\n');
}

void TestCsvWriter::linesReadBackAcrossBlocks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("out.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray expected;
    {
        CsvWriter csv(file);
        // Far more than one block, with quoted fields falling on every place of a block.
        for (int i = 0; i < 40000; ++i) {
            const QString text = QStringLiteral("row %1, \"quoted\"").arg(i);
            csv.addLine({QString::number(i), text});
            expected += QByteArray::number(i) + ",\"row " + QByteArray::number(i) + ", \"\"quoted\"\"\"\n";
        }
        QVERIFY(csv.finish());
    }
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(expected.size() > 1024 * 1024);
    QCOMPARE(file.readAll(), expected);
}

void TestCsvWriter::fullDeviceFailsTheWriter()
{
    QFile full(QStringLiteral("/dev/full"));
    if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        QSKIP("no /dev/full here");
    CsvWriter csv(full);
    // A line as long as a block fills it: its end writes, and the write fails.
    csv.addLine({QString(300 * 1024, QLatin1Char('a'))});
    QVERIFY(csv.failed());
    // Once failed, it stays failed: no later line is taken for written.
    QVERIFY(!csv.endLine());
    QVERIFY(!csv.finish());

    QFile again(QStringLiteral("/dev/full"));
    QVERIFY(again.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    CsvWriter small(again);
    small.addLine({QStringLiteral("a"), QStringLiteral("b")});
    QVERIFY(!small.failed()); // still in its block
    QVERIFY(!small.finish());
}

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
