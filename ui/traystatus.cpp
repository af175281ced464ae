#include "ui/traystatus.h"

#include "core/devicestate.h"
#include "core/events.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>

namespace {
const char kProgramIcon[] = ":/images/vemlo.png";
// The mark covers the lower right of the icon, large enough to be seen at the tray's
// usual 16 to 24 pixels.
constexpr qreal kMarkShare = 0.55;
const QColor kAlarmMark(0xd3, 0x2f, 0x2f);
const QColor kNoLinkMark(0x61, 0x61, 0x61);

// The tray's texts belong with the window's, under its translation context.
QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString alarmName(const DeviceStatus &status, int index)
{
    // Code 2i + 1 is the condition of index i coming.
    return eventText(2 * index + 1, status.protocol);
}

QImage greyed(const QImage &source)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return image;
}

QPixmap marked(QImage image, const QColor &colour, const QString &sign)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = image.width() * kMarkShare;
    const QRectF mark(image.width() - side, image.height() - side, side, side);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(colour);
    painter.drawEllipse(mark.adjusted(0.75, 0.75, -0.75, -0.75));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(qMax(6, int(side * 0.75)));
    painter.setFont(font);
    painter.drawText(mark, Qt::AlignCenter, sign);
    painter.end();
    return QPixmap::fromImage(image);
}
}

TrayStatus trayStatus(const DeviceStatus &status)
{
    const QString program = windowText(QT_TRANSLATE_NOOP("MainWindow", "Kestrava"));
    if (status.comm != CommOk) {
        const QString link = status.comm == CommLost ? windowText(QT_TRANSLATE_NOOP("MainWindow", "No link to the device")) : windowText(QT_TRANSLATE_NOOP("MainWindow", "Connecting to the device"));
        return {TrayLevel::NoLink, program + QLatin1Char('\n') + link};
    }
    const QList<int> alarms = activeAlarms(status);
    if (alarms.isEmpty())
        return {TrayLevel::Normal, program + QLatin1Char('\n') + windowText(QT_TRANSLATE_NOOP("MainWindow", "Normal"))};
    const QString first = alarmName(status, alarms.first());
    const QString line = alarms.size() == 1 ? windowText(QT_TRANSLATE_NOOP("MainWindow", "Alarm: %1")).arg(first)
                                            : windowText(QT_TRANSLATE_NOOP("MainWindow", "Alarm: %1, and %2 more")).arg(first).arg(alarms.size() - 1);
    return {TrayLevel::Alarm, program + QLatin1Char('\n') + line};
}

QIcon trayFace(TrayLevel level)
{
    const QImage base(QString::fromLatin1(kProgramIcon));
    switch (level) {
    case TrayLevel::Normal:
        return QIcon(QPixmap::fromImage(base));
    case TrayLevel::Alarm:
        return QIcon(marked(base, kAlarmMark, QStringLiteral("!")));
    case TrayLevel::NoLink:
        return QIcon(marked(greyed(base), kNoLinkMark, QStringLiteral("–")));
    }
    return QIcon();
}
