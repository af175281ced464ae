#include "core/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>

namespace {
// When a dialog closes the keyboard goes back to the widget that had it (and with the
// view, to its QML item): the window manager need not give it back, and a user at the
// keyboard would be left with nothing focused.
class FocusReturn
{
public:
    FocusReturn() : m_widget(QApplication::focusWidget()) {}
    ~FocusReturn()
    {
        if (!m_widget)
            return;
        m_widget->activateWindow();
        m_widget->setFocus(Qt::OtherFocusReason);
    }
    FocusReturn(const FocusReturn &) = delete;
    FocusReturn &operator=(const FocusReturn &) = delete;

private:
    QPointer<QWidget> m_widget;
};

class ModalDialogs : public Dialogs
{
public:
    QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter) override
    {
        FocusReturn focus;
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }
    QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter) override
    {
        FocusReturn focus;
        return QFileDialog::getSaveFileName(parent, caption, dir, filter);
    }
    QAbstractButton *execMessageBox(QMessageBox &box) override
    {
        FocusReturn focus;
        box.exec();
        return box.clickedButton();
    }
};

ModalDialogs modalDialogs;
Dialogs *installed = &modalDialogs;
}

Dialogs &dialogs()
{
    return *installed;
}

void setDialogs(Dialogs *d)
{
    installed = d ? d : &modalDialogs;
}

QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists())
        return documents;
    return QDir::homePath();
}
