#include "core/commandqueue.h"

#include "core/logging.h"

namespace {
// Whether the latest append dropped words, so that a lasting overflow logs once.
// Guard: commandQueueLock.
bool droppingCommands = false;

void appendLocked(const QList<QueuedCommand> &commands)
{
    commandQueue.append(commands);
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
}

void appendQueuedCommands(const QList<QueuedCommand> &commands)
{
    QWriteLocker locker(&commandQueueLock);
    appendLocked(commands);
}

void appendCommands(const QStringList &words)
{
    QList<QueuedCommand> commands;
    commands.reserve(words.size());
    for (const QString &word : words)
        commands.append(QueuedCommand{word, {}});
    appendQueuedCommands(commands);
}

void appendCommandWithValue(const QString &word, quint16 value)
{
    appendQueuedCommands({QueuedCommand{word, {QString::number(value)}}});
}

bool takeCommand(QueuedCommand *command)
{
    QWriteLocker locker(&commandQueueLock);
    if (commandQueue.isEmpty())
        return false;
    *command = commandQueue.takeFirst();
    return true;
}

void clearCommands()
{
    QWriteLocker locker(&commandQueueLock);
    commandQueue.clear();
}
