#include "tests/support/qmlwindow.h"

#include "core/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QQuickItem>
#include <QQuickWidget>
#include <QQuickWindow>

QmlWarningRecorder::QmlWarningRecorder()
{
    s_messages.clear();
    s_previous = qInstallMessageHandler(&QmlWarningRecorder::record);
}

QmlWarningRecorder::~QmlWarningRecorder()
{
    qInstallMessageHandler(s_previous);
}

QStringList QmlWarningRecorder::messages() const
{
    QStringList out;
    for (const Message &m : s_messages)
        out << QStringLiteral("[%1] %2").arg(m.category, m.text);
    return out;
}

QString QmlWarningRecorder::text() const
{
    QStringList out;
    for (const Message &m : s_messages)
        out << m.text;
    return out.join(QLatin1Char('\n'));
}

void QmlWarningRecorder::record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray category(context.category ? context.category : "");
    if (type != QtDebugMsg && type != QtInfoMsg && !category.startsWith("kestrava."))
        s_messages << Message{QString::fromLatin1(category), message};
    s_previous(type, context, message);
}

QQuickItem *findVisualItem(QQuickItem *item, const QString &name)
{
    if (!item)
        return nullptr;
    if (item->objectName() == name)
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = findVisualItem(child, name))
            return found;
    }
    return nullptr;
}

QQuickItem *findItem(const QString &name)
{
    return findVisualItem(declarativeView->quickWindow()->contentItem(), name);
}

QQuickItem *pageItem(const QString &name)
{
    return findVisualItem(qobject_cast<QQuickItem *>(declarativeView->rootObject()), name);
}

namespace {
QObject *findHeldObject(QQuickItem *item, const QString &name)
{
    if (!item)
        return nullptr;
    if (QObject *found = item->findChild<QObject *>(name, Qt::FindDirectChildrenOnly))
        return found;
    for (QQuickItem *child : item->childItems()) {
        if (QObject *found = findHeldObject(child, name))
            return found;
    }
    return nullptr;
}
} // namespace

QObject *findObject(const QString &name)
{
    auto *root = qobject_cast<QQuickItem *>(declarativeView->rootObject());
    if (QObject *found = root ? root->findChild<QObject *>(name) : nullptr)
        return found;
    return findHeldObject(root, name);
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

bool quickenRefresh(const QString &pageObject)
{
    QQuickItem *page = pageItem(pageObject);
    return page && page->setProperty("interval", kQuickRefreshMs);
}

void showPage(const QString &page)
{
    declarativeView->rootObject()->setProperty("page", page);
    settle();
}

void sendKey(int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(declarativeView->quickWindow(), &press);
    QCoreApplication::sendEvent(declarativeView->quickWindow(), &release);
    settle();
}

QQuickItem *focusedItem()
{
    return declarativeView->quickWindow()->activeFocusItem();
}

bool click(const QString &name, const QString &within)
{
    QQuickItem *i = within.isEmpty() ? pageItem(name) : findVisualItem(pageItem(within), name);
    if (!i || !i->isEnabled() || !i->isVisible())
        return false;
    QMetaObject::invokeMethod(i, "clicked");
    settle();
    return true;
}

void savePageShot(const QString &name)
{
    const QString folder = QStringLiteral(KESTRAVA_BINARY_DIR "/artifacts/pages");
    QDir().mkpath(folder);
    declarativeView->grabFramebuffer().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}
