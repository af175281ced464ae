#pragma once
// A Dialogs for tests: answers every file dialog and message box at once with what the
// test set, and records each call with what the user would have seen.
#include "core/dialogs.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class RecordingDialogs : public Dialogs
{
public:
    // Which button of a box the "user" clicks: none (closed, Escape), or the box's
    // button of the accept or the reject role.
    enum Answer { Close, Accept, Reject };
    struct FileCall
    {
        QWidget *parent;
        QString caption, dir, filter;
        bool operator==(const FileCall &o) const;
    };
    struct BoxSeen
    {
        QWidget *parent;
        QString title, text, styleSheet, defaultButton;
        QMessageBox::Icon icon;
        QStringList buttons;
        bool operator==(const BoxSeen &o) const;
    };

    QString openAnswer;
    QString saveAnswer;
    Answer boxAnswer = Accept;
    // When set, the button of this text is clicked instead, whatever its role.
    QString buttonAnswer;
    // Ticks the box's check box, when it has one, before answering.
    bool tickCheckBox = false;
    // Runs once, the next time a box is "open", as a user acting behind a modal box.
    std::function<void()> whileOpen;

    QList<FileCall> openCalls, saveCalls;
    QList<BoxSeen> boxes;

    QStringList titles() const;
    QStringList texts() const;
    QList<QMessageBox::Icon> icons() const;
    qsizetype fileDialogCount() const { return openCalls.size() + saveCalls.size(); }

    QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter) override;
    QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter) override;
    QAbstractButton *execMessageBox(QMessageBox &box) override;
};
