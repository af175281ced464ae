#include "core/commandqueue.h"

#include "core/logging.h"

namespace {
// Whether the latest append dropped words, so that a lasting overflow logs once.
// Guard: commandQueueLock.
bool droppingCommands = false;
}

void appendCommandsLocked(const QStringList &words)
{
    commandQueue.append(words);
    const qsizetype excess = commandQueue.size() - kCommandQueueLimit;
    if (excess <= 0) {
        droppingCommands = false;
        return;
    }
    commandQueue.remove(0, excess);
    if (!droppingCommands)
        qCWarning(lcCore, "command queue full (%lld words, the device thread takes none): the oldest are dropped",
                  static_cast<long long>(kCommandQueueLimit));
    droppingCommands = true;
}

void appendCommands(const QStringList &words)
{
    QWriteLocker locker(&commandQueueLock);
    appendCommandsLocked(words);
}

bool takeCommand(QString *word)
{
    QWriteLocker locker(&commandQueueLock);
    if (commandQueue.isEmpty())
        return false;
    *word = commandQueue.takeFirst();
    return true;
}
