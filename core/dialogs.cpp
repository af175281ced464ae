#include "core/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {
class ModalDialogs : public Dialogs
{
public:
    QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter) override
    {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }
    QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter) override
    {
        return QFileDialog::getSaveFileName(parent, caption, dir, filter);
    }
    QAbstractButton *execMessageBox(QMessageBox &box) override
    {
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
