#pragma once
// The one seam through which the program asks the user something: file dialogs and
// message boxes, for the window and the bridge alike. The program shows the real, modal
// ones; tests install a Dialogs of their own that answers at once, so no test blocks on a
// dialog.
#include <QString>

class QAbstractButton;
class QMessageBox;
class QWidget;

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                    const QString &filter) = 0;
    virtual QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                    const QString &filter) = 0;
    // Shows a prepared box and returns the button the user clicked (null when none).
    virtual QAbstractButton *execMessageBox(QMessageBox &box) = 0;
};

// The process-wide seam; never null. setDialogs(nullptr) restores the real dialogs.
// The caller keeps ownership of what it installs. GUI thread only.
Dialogs &dialogs();
void setDialogs(Dialogs *d);

// Where the file dialogs start: the user's documents folder, or the home folder on a
// system that has none.
QString documentsFolder();
