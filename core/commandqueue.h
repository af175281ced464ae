#pragma once
// Device command words, first in first out, from the GUI thread and the history thread
// to the device thread. commandQueueLock is held only to append or remove words; the
// device thread executes a word after releasing it.
//
// The queue is bounded: beyond kCommandQueueLimit words the oldest are dropped, with
// one warning per overflow. Append only through appendCommands / appendCommandsLocked /
// appendCommandWithValue, take only through takeCommand, empty only through clearCommands.
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
// A word whose register value its producer fixed when queueing it: the schedule gives the
// inverter the minutes left until the task, which the queue's delay must not stretch.
void appendCommandWithValue(const QString &word, quint16 value);
// Removes the oldest word; false when the queue is empty. *value, when given, receives the
// value fixed with the word, or -1 when the word takes its own value when executed.
bool takeCommand(QString *word, int *value = nullptr);
void clearCommands();
