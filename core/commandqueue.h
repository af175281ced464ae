#pragma once
// Device command words, first in first out, from the GUI thread and the history thread
// to the device thread. commandQueueLock is held only to append or remove words; the
// device thread executes a word after releasing it.
//
// The queue is bounded: beyond kCommandQueueLimit words the oldest are dropped, with
// one warning per overflow. Append only through appendCommands / appendQueuedCommands /
// appendCommandWithValue, take only through takeCommand, empty only through clearCommands.
#include <QList>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

// A word and the texts its register values are read from, fixed by its producer when it
// queued the word, so that a later change never reaches a word queued before it: the
// schedule's minutes left until its task, a working mode's three hour bands. Empty: the
// word reads its values from the settings when it is executed.
struct QueuedCommand
{
    QString word;
    QStringList values;
};

extern QList<QueuedCommand> commandQueue;
extern QReadWriteLock commandQueueLock;

// The device thread executes one word every two seconds, so 64 words are two minutes of
// work: more than anyone queues by hand, and a stale backlog is worth less than the
// newest request.
inline constexpr qsizetype kCommandQueueLimit = 64;

// Appends the words in one hold, so words queued together stay together.
void appendCommands(const QStringList &words);
inline void appendCommand(const QString &word) { appendCommands(QStringList{word}); }
// The same for words that carry their values.
void appendQueuedCommands(const QList<QueuedCommand> &commands);
// A word whose register value its producer fixed when queueing it: the schedule gives the
// inverter the minutes left until the task, which the queue's delay must not stretch.
void appendCommandWithValue(const QString &word, quint16 value);
// Removes the oldest word with its values; false when the queue is empty.
bool takeCommand(QueuedCommand *command);
void clearCommands();
