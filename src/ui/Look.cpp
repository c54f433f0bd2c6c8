#include "Look.h"

#include <QApplication>
#include <QFile>

static void InitPictures() { Q_INIT_RESOURCE(pictures); }

QPixmap Picture(const QString& name) {
    static const bool once = (InitPictures(), true);
    (void)once;
    return QPixmap(QStringLiteral(":/pictures/") + name);
}

bool ApplySkinFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // A style sheet is small; anything larger is not one of ours.
    const QByteArray css = f.read(1 << 20);
    qApp->setStyleSheet(QString::fromUtf8(css));
    return true;
}
