#include "core/commandqueue.h"

void appendCommands(const QStringList &words)
{
    QWriteLocker locker(&commandQueueLock);
    commandQueue.append(words);
}

bool takeCommand(QString *word)
{
    QWriteLocker locker(&commandQueueLock);
    if (commandQueue.isEmpty())
        return false;
    *word = commandQueue.takeFirst();
    return true;
}
