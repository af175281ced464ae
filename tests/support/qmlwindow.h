#pragma once
// Driving the program's window in the real QML engine from a test: finding items by object
// name, letting the QML run, turning pages, clicking as a user would, and recording what
// the engine warns about. GUI thread only; declarativeView must hold the window's view.
#include <QString>
#include <QStringList>
#include <QtMessageHandler>
#include <Qt>

class QObject;
class QQuickItem;

// Every warning and error while it lives, the program's own categories aside: a QML typo,
// a failed binding, a script error in a page or a text the Chinese catalogue lacks.
class QmlWarningRecorder
{
public:
    QmlWarningRecorder();
    ~QmlWarningRecorder();
    QmlWarningRecorder(const QmlWarningRecorder &) = delete;
    QmlWarningRecorder &operator=(const QmlWarningRecorder &) = delete;

    // Each one as "[category] text".
    QStringList messages() const;
    // The texts alone, one a line.
    QString text() const;

private:
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &message);
    struct Message
    {
        QString category, text;
    };
    static inline QList<Message> s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};

// By object name through the visual tree, which also holds what repeaters and loaders made
// (those have no object parent to search).
QQuickItem *findVisualItem(QQuickItem *item, const QString &name);

// From the window's content item: popups live beside the root, in the overlay.
QQuickItem *findItem(const QString &name);

// Below the root item only, the overlay's popups left out.
QQuickItem *pageItem(const QString &name);

// Any object of that name below the root, a popup or a timer too. Pages built as they come
// into view belong to no object of the tree, only to the items' tree, so this searches the
// objects each item holds.
QObject *findObject(const QString &name);

// Lets the QML run: loaders, bindings, the replies of the requests a shown page sends.
void settle();

void showPage(const QString &page);

// A live page's refresh period, shortened so a test sees its next requests within a
// fraction of a second instead of the page's own seconds. The page is named as its object
// ("overviewPage"); false when there is none.
inline constexpr int kQuickRefreshMs = 200;
bool quickenRefresh(const QString &pageObject);

// A key pressed and released on the view, as from the keyboard, and the QML let run.
void sendKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The item that has the keyboard now.
QQuickItem *focusedItem();

// Clicks the page item of that name (the first found below `within` when given) as a user
// can: false when it is missing, disabled or hidden.
bool click(const QString &name, const QString &within = QString());

// What a person sees, kept with the build for a look: artifacts/pages/NAME.png.
void savePageShot(const QString &name);
