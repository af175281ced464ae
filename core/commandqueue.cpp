#include "core/commandqueue.h"

#include "core/logging.h"

namespace {
// Whether the latest append dropped words, so that a lasting overflow logs once.
// Guard: commandQueueLock.
bool droppingCommands = false;
// The value fixed with each queued word, by position; kOwnValue for a plain word.
// Guard: commandQueueLock.
QList<int> commandValues;
constexpr int kOwnValue = -1;

// Caller holds commandQueueLock for writing. Appends words with their values and drops the
// oldest beyond the limit.
void appendLocked(const QStringList &words, int value)
{
    commandQueue.append(words);
    commandValues.insert(commandValues.size(), words.size(), value);
    const qsizetype excess = commandQueue.size() - kCommandQueueLimit;
    if (excess <= 0) {
        droppingCommands = false;
        return;
    }
    commandQueue.remove(0, excess);
    commandValues.remove(0, excess);
    if (!droppingCommands)
        qCWarning(lcCore, "command queue full (%lld words, the device thread takes none): the oldest are dropped",
                  static_cast<long long>(kCommandQueueLimit));
    droppingCommands = true;
}
}

void appendCommandsLocked(const QStringList &words)
{
    appendLocked(words, kOwnValue);
}

void appendCommands(const QStringList &words)
{
    QWriteLocker locker(&commandQueueLock);
    appendCommandsLocked(words);
}

void appendCommandWithValue(const QString &word, quint16 value)
{
    QWriteLocker locker(&commandQueueLock);
    appendLocked(QStringList{word}, value);
}

bool takeCommand(QString *word, int *value)
{
    QWriteLocker locker(&commandQueueLock);
    if (commandQueue.isEmpty())
        return false;
    *word = commandQueue.takeFirst();
    // Out of step only if the queue was changed behind these functions; a value is then
    // never given to a word it was not queued with.
    const int fixed = commandValues.size() == commandQueue.size() + 1 ? commandValues.takeFirst() : kOwnValue;
    if (commandValues.size() != commandQueue.size())
        commandValues = QList<int>(commandQueue.size(), kOwnValue);
    if (value)
        *value = fixed;
    return true;
}

void clearCommands()
{
    QWriteLocker locker(&commandQueueLock);
    commandQueue.clear();
    commandValues.clear();
}
