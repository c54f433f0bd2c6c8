// libsoakprobe.so: loaded into the program with LD_PRELOAD by scripts/soak, never linked into
// it. Once the application object exists, every few seconds (on the user-interface thread)
// appends "SECONDS ROWS" to the file $SOAK_PROBE_OUT: the rows of the camera table, the item
// view named "ListView". Nothing but Qt's own interfaces is used.

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QTimer>
#include <QWidget>

namespace {

void Report()
{
    const QByteArray out = qgetenv("SOAK_PROBE_OUT");
    if (out.isEmpty())
        return;
    int rows = -1;
    for (QWidget* w : QApplication::allWidgets()) {
        auto* view = qobject_cast<QAbstractItemView*>(w);
        if (view && view->objectName() == QLatin1String("ListView") && view->model())
            rows = view->model()->rowCount();
    }
    QFile f(QString::fromLocal8Bit(out));
    if (f.open(QIODevice::Append))
        f.write(QByteArray::number(QDateTime::currentSecsSinceEpoch()) + ' ' + QByteArray::number(rows) + '\n');
}

void Start()
{
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, &Report);
    timer->start(5000);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
