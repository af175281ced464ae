#include "tests/support/recordingdialogs.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>

#include <tuple>

bool RecordingDialogs::FileCall::operator==(const FileCall &o) const
{
    return std::tie(parent, caption, dir, filter) == std::tie(o.parent, o.caption, o.dir, o.filter);
}

bool RecordingDialogs::BoxSeen::operator==(const BoxSeen &o) const
{
    return std::tie(parent, title, text, styleSheet, defaultButton, icon, buttons)
        == std::tie(o.parent, o.title, o.text, o.styleSheet, o.defaultButton, o.icon, o.buttons);
}

QStringList RecordingDialogs::titles() const
{
    QStringList out;
    for (const BoxSeen &b : boxes)
        out << b.title;
    return out;
}

QStringList RecordingDialogs::texts() const
{
    QStringList out;
    for (const BoxSeen &b : boxes)
        out << b.text;
    return out;
}

QList<QMessageBox::Icon> RecordingDialogs::icons() const
{
    QList<QMessageBox::Icon> out;
    for (const BoxSeen &b : boxes)
        out << b.icon;
    return out;
}

QString RecordingDialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                          const QString &filter)
{
    openCalls.append({parent, caption, dir, filter});
    return openAnswer;
}

QString RecordingDialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                          const QString &filter)
{
    saveCalls.append({parent, caption, dir, filter});
    return saveAnswer;
}

QAbstractButton *RecordingDialogs::execMessageBox(QMessageBox &box)
{
    BoxSeen seen{box.parentWidget(), box.windowTitle(), box.text(), box.styleSheet(),
                 box.defaultButton() ? box.defaultButton()->text() : QString(), box.icon(), {}};
    QAbstractButton *answer = nullptr;
    for (QAbstractButton *b : box.buttons()) {
        seen.buttons.append(b->text());
        const QMessageBox::ButtonRole role = box.buttonRole(b);
        if (buttonAnswer.isEmpty() ? (boxAnswer == Accept && role == QMessageBox::AcceptRole)
                                         || (boxAnswer == Reject && role == QMessageBox::RejectRole)
                                   : b->text() == buttonAnswer)
            answer = b;
    }
    if (tickCheckBox && box.checkBox())
        box.checkBox()->setChecked(true);
    boxes.append(seen);
    if (whileOpen) {
        auto act = std::move(whileOpen);
        whileOpen = nullptr;
        act();
    }
    return answer;
}
