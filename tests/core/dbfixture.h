#pragma once
// Builds SQLite files the way another writer would (plain statements, no helper of ours),
// and snapshots files so a test can prove a reader left them alone.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QtTest>

inline bool runRawStatements(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString &sql : statements) {
            QSqlQuery q(db);
            ok = q.exec(sql) && ok;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
    return ok;
}

inline QList<QStringList> readRawRows(const QString &path, const QString &sql)
{
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql)) {
                while (q.next()) {
                    QStringList row;
                    for (int c = 0; c < q.record().count(); ++c)
                        row << q.value(c).toString();
                    rows << row;
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
    return rows;
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Every file name in a folder with a hash of its content.
inline QStringList folderSnapshot(const QString &dir)
{
    QStringList out;
    const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        QFile f(dir + QLatin1Char('/') + name);
        QByteArray hash;
        if (f.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
        out << name + QLatin1Char(' ') + QString::fromLatin1(hash);
    }
    return out;
}
