#pragma once
// Device command words, first in first out, from the GUI thread and the history thread
// to the device thread. commandQueueLock is held only to append or remove words; the
// device thread executes a word after releasing it.
//
// The queue is bounded: beyond kCommandQueueLimit words the oldest are dropped, with
// one warning per overflow. Append only
// through appendCommands / appendCommandsLocked, take only through takeCommand.
#include <QReadWriteLock>
#include <QStringList>

extern QStringList commandQueue;
extern QReadWriteLock commandQueueLock;

// The device thread executes one word every two seconds, so 64 words are two minutes of
// work: more than anyone queues by hand, and a stale backlog is worth less than the
// newest request.
inline constexpr qsizetype kCommandQueueLimit = 64;

// Appends the words in one hold, so words queued together stay together.
void appendCommands(const QStringList &words);
// The same for a caller that already holds commandQueueLock for writing.
void appendCommandsLocked(const QStringList &words);
inline void appendCommand(const QString &word) { appendCommands(QStringList{word}); }
// Removes the oldest word; false when the queue is empty.
bool takeCommand(QString *word);
