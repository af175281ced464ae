#pragma once
// Device command words, first in first out, from the GUI thread and the history thread
// to the device thread. commandQueueLock is held only to append or remove words; the
// device thread executes a word after releasing it.
#include <QReadWriteLock>
#include <QStringList>

extern QStringList commandQueue;
extern QReadWriteLock commandQueueLock;

// Appends the words in one hold, so words queued together stay together.
void appendCommands(const QStringList &words);
inline void appendCommand(const QString &word) { appendCommands(QStringList{word}); }
// Removes the oldest word; false when the queue is empty.
bool takeCommand(QString *word);
