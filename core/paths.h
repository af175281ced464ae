#pragma once
// Paths and folders of the program, the generation-file stems of each device family,
// the pointer to the QML view and the record-page column keys.
//
// Written by main() on the GUI thread before any worker thread exists; afterwards
// appPaths and the stems are read-only and may be read from any thread without a lock.
// declarativeView and recordColumnKeys are used by the GUI thread alone.

#include <QString>
#include <QStringList>

class QQuickWidget;

struct AppPaths
{
    QString paramIniPath;
    QString dataDir;
    QString smtpRecDbPath;
    QString smsRecDbPath;
    QString scheduleDbPath;
    QString paramDir;
    QString alarmDbDir;
    QString analogDbDir;
    QString smsDbDir;
    QString dayGenDbDir;
    QString monthGenDbDir;
    QString yearGenDbDir;
    QString totalGenDbDir;
    QString appDir;
};

struct GenTableNames
{
    QString day;
    QString month;
    QString year;
    QString total;
};

extern AppPaths appPaths;
extern GenTableNames inverterGenTables;
extern GenTableNames threeUpsGenTables;
extern GenTableNames singleUpsGenTables;

// The view that hosts the user interface; null until the main window creates it.
extern QQuickWidget *declarativeView;
extern QStringList recordColumnKeys;

// Fills every field of appPaths from the platform's data location (backslashes become
// "/") and the program's folder, which holds the history folders.
void initAppPaths(const QString &dataLocation, const QString &appDir);
// Points the seven history folders into root (the program's folder, or the data folder
// when the program's folder cannot be written).
void placeHistoryFolders(const QString &root);
// Whether a file can really be created in folder.
bool folderIsWritable(const QString &folder);
// Creates the param folder (with its parents) and the seven history folders when missing.
void createAppFolders();
// Assigns the twelve fixed stems (core/historyfiles); the bridge and the history thread call it in their
// constructors, before any worker thread starts.
void assignGenTableNames();

// The generation-file stems of the family of a protocol code.
const GenTableNames &genTablesFor(const QString &comProtocol);
