#pragma once
// SIGTERM and SIGINT (a logout, `systemctl stop`, Ctrl+C in a terminal) end the program
// the way the window's Exit does: the event loop quits, and main's orderly exit stops
// the threads, closes the files and releases the serial ports' lock files.
//
// A signal handler may do almost nothing safely, so it only writes the signal's number
// into a socket pair; the notifier on the other end turns it into stopRequested on the
// GUI thread. One instance at a time; make it on the GUI thread after the application.
#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override; // the default actions again

    // False when the socket pair or a handler could not be set up (logged once): the
    // signals then keep their default action.
    bool installed() const { return m_installed; }

signals:
    void stopRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
    bool m_installed = false;
};
