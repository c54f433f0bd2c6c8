// Draws the program's pictures: plain vector drawings, so that they are our own and small.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

void Camera(QPainter& p, QPointF at, double s, QColor body) {
    p.save();
    p.translate(at);
    p.scale(s, s);
    p.setPen(QPen(body.darker(160), 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(-40, -22, 80, 44), 10, 10);          // housing
    p.setBrush(QColor(40, 44, 52));
    p.drawEllipse(QPointF(10, 0), 17, 17);                          // lens ring
    p.setBrush(QColor(90, 140, 210));
    p.drawEllipse(QPointF(10, 0), 9, 9);                            // glass
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(6, -4), 3, 3);                            // glint
    p.setBrush(QColor(220, 60, 60));
    p.drawEllipse(QPointF(-28, -12), 3, 3);                         // status light
    p.setPen(QPen(body.darker(160), 2));
    p.setBrush(body.darker(115));
    p.drawRect(QRectF(-6, 22, 12, 16));                             // stand
    p.drawRoundedRect(QRectF(-24, 38, 48, 8), 3, 3);
    p.restore();
}

void Logo(const QString& path) {
    QImage img(280, 74, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    Camera(p, QPointF(40, 32), 0.62, QColor(236, 236, 236));
    QFont f("DejaVu Sans", 26, QFont::Bold);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(84, 4, 196, 40), Qt::AlignLeft | Qt::AlignVCenter, "IPCam");
    f.setPointSize(13);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(120, 190, 255));
    p.drawText(QRectF(86, 42, 196, 28), Qt::AlignLeft | Qt::AlignVCenter, "Setup Wizard");
    img.save(path);
}

void Welcome(const QString& path) {
    QImage img(400, 720, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 720);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(1, QColor(30, 60, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(0, 0, 400, 720), 24, 24);
    // The LAN: camera, router, computer joined by cables.
    p.setPen(QPen(QColor(255, 210, 80), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(200, 200), QPointF(200, 330));
    p.drawLine(QPointF(200, 420), QPointF(200, 530));
    Camera(p, QPointF(200, 150), 2.0, QColor(240, 240, 240));
    // router
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(60, 64, 72));
    p.drawRoundedRect(QRectF(110, 340, 180, 60), 10, 10);
    p.setPen(QPen(QColor(60, 64, 72), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(135, 340), QPointF(120, 290));
    p.drawLine(QPointF(265, 340), QPointF(280, 290));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i % 2 ? QColor(80, 220, 120) : QColor(120, 255, 160));
        p.drawEllipse(QPointF(145 + i * 36, 370), 6, 6);
    }
    // computer
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(230, 230, 235));
    p.drawRoundedRect(QRectF(95, 530, 210, 130), 8, 8);
    p.setBrush(QColor(40, 90, 160));
    p.drawRect(QRectF(110, 545, 180, 100));
    p.setBrush(QColor(230, 230, 235));
    p.drawRect(QRectF(180, 660, 40, 20));
    p.drawRoundedRect(QRectF(140, 680, 120, 14), 4, 4);
    // a small camera picture on the computer's screen
    Camera(p, QPointF(200, 592), 0.7, QColor(240, 240, 240));
    img.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw-pictures FOLDER\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    Logo(dir + "/logo.png");
    Welcome(dir + "/welcome.png");
    return 0;
}
