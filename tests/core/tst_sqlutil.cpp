// The SQL helper against real SQLite files: connection names that never clash, the
// read-only mode, transactions, the row reader, a file another connection keeps busy.
#include "core/logging.h"
#include "core/sqlutil.h"
#include "dbfixture.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {
const QString kCreate = QStringLiteral("create table t(a varchar,b varchar)");

// Records the category of every message while it is installed.
QStringList g_categories;
QtMessageHandler g_previousHandler = nullptr;
void recordCategory(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_categories << QString::fromLatin1(context.category);
    g_previousHandler(type, context, message);
}
}

class TestSqlUtil : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneNameInManyThreads();
    void sameNameInsideAnotherCall();
    void namesKeepTheirPrefix();
    void readOnlyNeverCreates_data();
    void readOnlyNeverCreates();
    void readOnlyLeavesAnExistingFileAlone();
    void transactionKeepsOldOrNew_data();
    void transactionKeepsOldOrNew();
    void rowReaderPagesAndStops();
    void rawRowsAsStored();
    void failureGoesToTheCallersCategory();
    void busyFileIsWaitedFor();
    void busyFileGivesUpAfterTheTimeout_data();
    void busyFileGivesUpAfterTheTimeout();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSqlUtil::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSqlUtil::cleanup()
{
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    m_dir.reset();
}

// Every thread opens, writes and closes under the same name, over and over. A second
// registration under a live name would make Qt drop the first, whose statements then fail.
void TestSqlUtil::oneNameInManyThreads()
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 150;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        const QString file = path(QStringLiteral("thread%1.db").arg(t));
        threads.emplace_back([file, &failures] {
            for (int i = 0; i < kRounds; ++i) {
                DbConnection db(QStringLiteral("clash"), file, DbConnection::CreateIfMissing);
                const bool ok = db.isOpen() && db.createTableIfMissing(QStringLiteral("t"), kCreate)
                                && db.exec(QStringLiteral("insert into t values(?,?)"), {i, file})
                                && db.selectRows(QStringLiteral("select count(*) from t")).value(0).value(0)
                                       == QString::number(i + 1);
                if (!ok)
                    ++failures;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(failures.load(), 0);
}

// A reader opened inside a writer's call under the writer's own name leaves the writer's
// connection working.
void TestSqlUtil::sameNameInsideAnotherCall()
{
    DbConnection outer(QStringLiteral("same"), path(QStringLiteral("a.db")), DbConnection::CreateIfMissing);
    QVERIFY(outer.exec(kCreate));
    {
        DbConnection inner(QStringLiteral("same"), path(QStringLiteral("b.db")), DbConnection::CreateIfMissing);
        QVERIFY(inner.exec(kCreate));
    }
    QVERIFY(outer.exec(QStringLiteral("insert into t values(?,?)"), {1, 2}));
    QCOMPARE(outer.selectRows(QStringLiteral("select * from t")), (QList<QStringList>{{"1", "2"}}));
}

void TestSqlUtil::namesKeepTheirPrefix()
{
    DbConnection a(QStringLiteral("savemonthgen"), path(QStringLiteral("a.db")), DbConnection::CreateIfMissing);
    DbConnection b(QStringLiteral("savemonthgen"), path(QStringLiteral("a.db")), DbConnection::CreateIfMissing);
    QVERIFY(a.name().startsWith(QStringLiteral("savemonthgen#")));
    QVERIFY(b.name().startsWith(QStringLiteral("savemonthgen#")));
    QVERIFY(a.name() != b.name());
    QVERIFY(QSqlDatabase::contains(a.name()));
}

void TestSqlUtil::readOnlyNeverCreates_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addRow("missing file") << "missing.db";
    QTest::addRow("missing folder") << "nofolder/deeper/missing.db";
}

void TestSqlUtil::readOnlyNeverCreates()
{
    QFETCH(QString, relative);
    const QString file = path(relative);
    {
        DbConnection db(QStringLiteral("reader"), file, DbConnection::ReadExisting);
        QVERIFY(!db.isOpen());
        bool ok = true;
        QVERIFY(db.selectRows(QStringLiteral("select * from t"), {}, &ok).isEmpty());
        QVERIFY(!ok);
        QVERIFY(!db.exec(kCreate));
        QVERIFY(!db.hasTable(QStringLiteral("t")));
    }
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

// Nothing is written into a file opened to read, not even a journal beside it.
void TestSqlUtil::readOnlyLeavesAnExistingFileAlone()
{
    const QString file = path(QStringLiteral("kept.db"));
    QVERIFY(runRawStatements(file, {kCreate, QStringLiteral("insert into t values('x','y')")}));
    const QStringList before = folderSnapshot(m_dir->path());
    {
        DbConnection db(QStringLiteral("reader"), file, DbConnection::ReadExisting);
        QVERIFY(db.isOpen());
        QCOMPARE(db.selectRows(QStringLiteral("select * from t")), (QList<QStringList>{{"x", "y"}}));
        QVERIFY(!db.exec(QStringLiteral("insert into t values('z','z')")));
        QVERIFY(!db.transaction([&] { return db.exec(QStringLiteral("delete from t")); }));
    }
    QCOMPARE(folderSnapshot(m_dir->path()), before);
}

void TestSqlUtil::transactionKeepsOldOrNew_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<bool>("bodyResult");
    QTest::addColumn<bool>("committed");
    QTest::addRow("commit") << QStringList{"delete from t", "insert into t values('new','1')"} << true << true;
    QTest::addRow("body gives up after the delete") << QStringList{"delete from t"} << false << false;
    QTest::addRow("statement fails after the delete")
        << QStringList{"delete from t", "insert into nosuchtable values(1)"} << true << false;
}

void TestSqlUtil::transactionKeepsOldOrNew()
{
    QFETCH(QStringList, statements);
    QFETCH(bool, bodyResult);
    QFETCH(bool, committed);
    const QString file = path(QStringLiteral("tx.db"));
    QVERIFY(runRawStatements(file, {kCreate, QStringLiteral("insert into t values('old','0')")}));
    {
        DbConnection db(QStringLiteral("tx"), file, DbConnection::CreateIfMissing);
        const bool result = db.transaction([&] {
            for (const QString &sql : statements) {
                if (!db.exec(sql))
                    return false;
            }
            return bodyResult;
        });
        QCOMPARE(result, committed);
        // The connection stays usable after a rollback.
        QVERIFY(db.exec(QStringLiteral("select 1")));
    }
    const QList<QStringList> expected = committed ? QList<QStringList>{{"new", "1"}} : QList<QStringList>{{"old", "0"}};
    QCOMPARE(readRawRows(file, QStringLiteral("select * from t")), expected);
}

void TestSqlUtil::rowReaderPagesAndStops()
{
    const QString file = path(QStringLiteral("rows.db"));
    DbConnection db(QStringLiteral("rows"), file, DbConnection::CreateIfMissing);
    QVERIFY(db.transaction([&] {
        if (!db.exec(kCreate))
            return false;
        for (int i = 0; i < 1000; ++i) {
            if (!db.exec(QStringLiteral("insert into t values(?,?)"), {i, QStringLiteral("row%1").arg(i)}))
                return false;
        }
        return true;
    }));
    QStringList seen;
    QVERIFY(db.forEachRow(QStringLiteral("select b from t order by rowid desc limit ? offset ?"), {10, 990},
                          [&](const QSqlQuery &row) {
                              seen << row.value(0).toString();
                              return true;
                          }));
    QCOMPARE(seen, (QStringList{"row9", "row8", "row7", "row6", "row5", "row4", "row3", "row2", "row1", "row0"}));

    int visits = 0;
    QVERIFY(db.forEachRow(QStringLiteral("select * from t"), {}, [&](const QSqlQuery &) { return ++visits < 3; }));
    QCOMPARE(visits, 3);

    QVERIFY(!db.forEachRow(QStringLiteral("select * from nosuchtable"), {}, [](const QSqlQuery &) { return true; }));
    QVERIFY(!db.forEachRow(QStringLiteral("select * from t where a=?"), {}, [](const QSqlQuery &) { return true; }));
}

void TestSqlUtil::rawRowsAsStored()
{
    const QString file = path(QStringLiteral("raw.db"));
    DbConnection db(QStringLiteral("raw"), file, DbConnection::CreateIfMissing);
    QVERIFY(db.exec(QStringLiteral("create table r(a int, b varchar, c)")));
    QVERIFY(db.exec(QStringLiteral("insert into r values(?,?,?)"), {-7, QString::fromUtf8("短信,\"x\""), QVariant()}));
    QVERIFY(db.exec(QStringLiteral("insert into r values(?,?,?)"), {2, QString(), 1.5}));
    QList<QByteArrayList> rows;
    QVERIFY(db.forEachRawRow(QStringLiteral("select * from r order by rowid"), [&](const RawRow &row) {
        QByteArrayList cells;
        for (int c = 0; c <= row.columnCount(); ++c) // one past the row reads as empty
            cells << row.text(c).toByteArray();
        rows << cells;
        return true;
    }));
    QCOMPARE(rows, (QList<QByteArrayList>{{"-7", QString::fromUtf8("短信,\"x\"").toUtf8(), "", ""},
                                          {"2", "", "1.5", ""}}));
    QList<qint64> numbers;
    QVERIFY(db.forEachRawRow(QStringLiteral("select a, rowid, c from r order by rowid"), [&](const RawRow &row) {
        numbers << row.integer(0) << row.integer(1) << row.integer(2) << row.integer(3);
        return true;
    }));
    QCOMPARE(numbers, (QList<qint64>{-7, 1, 0, 0, 2, 2, 1, 0}));
    int visits = 0;
    QVERIFY(db.forEachRawRow(QStringLiteral("select * from r"), [&](const RawRow &) { return ++visits < 1; }));
    QCOMPARE(visits, 1);
    QVERIFY(!db.forEachRawRow(QStringLiteral("select * from nosuchtable"), [](const RawRow &) { return true; }));
    DbConnection missing(QStringLiteral("raw"), path(QStringLiteral("missing.db")), DbConnection::ReadExisting);
    QVERIFY(!missing.forEachRawRow(QStringLiteral("select 1"), [](const RawRow &) { return true; }));
}

void TestSqlUtil::failureGoesToTheCallersCategory()
{
    g_categories.clear();
    g_previousHandler = qInstallMessageHandler(recordCategory);
    {
        DbConnection db(QStringLiteral("category"), path(QStringLiteral("c.db")), DbConnection::CreateIfMissing,
                        lcHistory);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("statement failed.*nosuchtable")));
        QVERIFY(!db.exec(QStringLiteral("insert into nosuchtable values(1)")));
    }
    qInstallMessageHandler(g_previousHandler);
    QCOMPARE(g_categories, QStringList{"kestrava.history"});
}

namespace {
// Another connection (another thread, like the history thread against the browser) that
// holds the file's write lock from inside a transaction until told to let go.
class LockHolder
{
public:
    explicit LockHolder(const QString &file)
        : m_thread([this, file] {
              DbConnection db(QStringLiteral("holder"), file, DbConnection::CreateIfMissing);
              const bool locked = db.exec(QStringLiteral("begin immediate"))
                                  && db.exec(QStringLiteral("insert into t values('holder','1')"));
              m_locked = locked;
              m_ready.release();
              m_release.acquire();
              m_committed = locked && db.exec(QStringLiteral("commit"));
          })
    {
        m_ready.acquire();
    }
    ~LockHolder() { release(); }
    bool locked() const { return m_locked; }
    bool release()
    {
        if (m_thread.joinable()) {
            m_release.release();
            m_thread.join();
        }
        return m_committed;
    }

private:
    QSemaphore m_ready;
    QSemaphore m_release;
    bool m_locked = false;
    bool m_committed = false;
    std::thread m_thread;
};
}

void TestSqlUtil::busyFileIsWaitedFor()
{
    const QString file = path(QStringLiteral("busy.db"));
    QVERIFY(runRawStatements(file, {kCreate}));
    LockHolder holder(file);
    QVERIFY(holder.locked());
    std::thread letGo([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.release();
    });
    bool written;
    {
        DbConnection db(QStringLiteral("waiter"), file, DbConnection::CreateIfMissing);
        written = db.exec(QStringLiteral("insert into t values('waiter','2')"));
    }
    letGo.join();
    QVERIFY(written);
    QCOMPARE(readRawRows(file, QStringLiteral("select a from t order by rowid")),
             (QList<QStringList>{{"holder"}, {"waiter"}}));
}

void TestSqlUtil::busyFileGivesUpAfterTheTimeout_data()
{
    QTest::addColumn<int>("processWaitMs"); // set by setBusyWaitMs, 0 for the program's
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("belowMs");
    QTest::newRow("the program's wait") << 0 << 2000 << 30000;
    // What the tests that must see a give-up use in place of the program's seconds.
    QTest::newRow("a shorter process-wide wait") << 200 << 150 << 2000;
}

void TestSqlUtil::busyFileGivesUpAfterTheTimeout()
{
    QFETCH(int, processWaitMs);
    QFETCH(int, atLeastMs);
    QFETCH(int, belowMs);
    QCOMPARE(busyWaitMs(), kDefaultBusyWaitMs);
    setBusyWaitMs(processWaitMs);
    const auto restore = qScopeGuard([] { setBusyWaitMs(0); });
    const QString file = path(QStringLiteral("busy.db"));
    QVERIFY(runRawStatements(file, {kCreate}));
    LockHolder holder(file);
    QVERIFY(holder.locked());
    QElapsedTimer timer;
    timer.start();
    {
        DbConnection db(QStringLiteral("waiter"), file, DbConnection::CreateIfMissing);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("statement failed.*locked")));
        QVERIFY(!db.exec(QStringLiteral("insert into t values('waiter','2')")));
    }
    // It waited for the other side, but not for ever.
    QVERIFY2(timer.elapsed() >= atLeastMs, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(timer.elapsed() < belowMs, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(holder.release());
    QCOMPARE(readRawRows(file, QStringLiteral("select a from t")), (QList<QStringList>{{"holder"}}));
}

QTEST_GUILESS_MAIN(TestSqlUtil)
#include "tst_sqlutil.moc"
