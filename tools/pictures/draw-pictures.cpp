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


QImage Canvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void Router(QPainter& p, QPointF at, double s) {
    p.save();
    p.translate(at);
    p.scale(s, s);
    p.setPen(QPen(QColor(60, 64, 72), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-65, -30), QPointF(-75, -75));
    p.drawLine(QPointF(65, -30), QPointF(75, -75));
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(60, 64, 72));
    p.drawRoundedRect(QRectF(-90, -30, 180, 60), 10, 10);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i % 2 ? QColor(80, 220, 120) : QColor(120, 255, 160));
        p.drawEllipse(QPointF(-55 + i * 36, 0), 6, 6);
    }
    p.restore();
}

void Computer(QPainter& p, QPointF at, double s) {
    p.save();
    p.translate(at);
    p.scale(s, s);
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(230, 230, 235));
    p.drawRoundedRect(QRectF(-105, -65, 210, 130), 8, 8);
    p.setBrush(QColor(40, 90, 160));
    p.drawRect(QRectF(-90, -50, 180, 100));
    p.setBrush(QColor(230, 230, 235));
    p.drawRect(QRectF(-20, 65, 40, 20));
    p.drawRoundedRect(QRectF(-60, 85, 120, 14), 4, 4);
    p.restore();
}

void Cable(QPainter& p, QPointF a, QPointF b, QColor c) {
    p.setPen(QPen(c, 6, Qt::SolidLine, Qt::RoundCap));
    QPainterPath path(a);
    path.cubicTo(QPointF((a.x() + b.x()) / 2, a.y()), QPointF((a.x() + b.x()) / 2, b.y()), b);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Led(QPainter& p, QPointF at, double r, QColor c, bool glow) {
    p.setPen(QPen(c.darker(170), 2));
    if (glow) {
        QRadialGradient g(at, r * 2.4);
        QColor halo = c;
        halo.setAlpha(120);
        g.setColorAt(0, halo);
        g.setColorAt(1, Qt::transparent);
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(at, r * 2.4, r * 2.4);
        p.restore();
    }
    p.setBrush(glow ? c : c.darker(250));
    p.drawEllipse(at, r, r);
}

// Step 1: the camera and its power adapter, plugged in at the camera's power socket.
void Power(const QString& path) {
    QImage img = Canvas(520, 240);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    Camera(p, QPointF(120, 100), 1.6, QColor(240, 240, 240));
    // the adapter: a box with a plug, its cord into the camera's back
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(50, 50, 56));
    p.drawRoundedRect(QRectF(360, 70, 90, 70), 10, 10);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(380, 40, 10, 30));
    p.drawRect(QRectF(420, 40, 10, 30));
    Cable(p, QPointF(360, 110), QPointF(190, 150), QColor(40, 40, 40));
    p.setPen(QPen(QColor(220, 60, 60), 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(190, 150), 16, 16);  // the power socket
    img.save(path);
}

// Step 1: the camera's lights after power-up (one green light on).
void Lights(const QString& path) {
    QImage img = Canvas(240, 180);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(235, 235, 235));
    p.drawRoundedRect(QRectF(20, 30, 200, 120), 16, 16);
    Led(p, QPointF(80, 90), 16, QColor(40, 210, 80), true);
    Led(p, QPointF(160, 90), 16, QColor(230, 70, 60), false);
    img.save(path);
}

// Step 2: router, camera and computer joined by network cables.
void Wiring(const QString& path) {
    QImage img = Canvas(520, 240);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    Cable(p, QPointF(250, 150), QPointF(95, 130), QColor(255, 190, 60));
    Cable(p, QPointF(290, 150), QPointF(420, 150), QColor(80, 150, 255));
    Router(p, QPointF(270, 160), 0.9);
    Camera(p, QPointF(90, 90), 1.3, QColor(240, 240, 240));
    Computer(p, QPointF(440, 110), 0.6);
    img.save(path);
}

// Step 2: the network jack with its two indicators (yellow flashing, green on).
void Jack(const QString& path) {
    QImage img = Canvas(240, 180);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 3));
    p.setBrush(QColor(200, 200, 205));
    p.drawRoundedRect(QRectF(30, 30, 180, 130), 10, 10);
    p.setBrush(QColor(40, 40, 46));
    QPainterPath hole;
    hole.addRect(QRectF(80, 70, 80, 60));
    hole.addRect(QRectF(105, 130, 30, 14));
    p.drawPath(hole.simplified());
    Led(p, QPointF(60, 55), 10, QColor(255, 200, 40), true);
    Led(p, QPointF(180, 55), 10, QColor(40, 210, 80), true);
    img.save(path);
}

// The question mark in front of the help links.
void Help(const QString& path) {
    QImage img = Canvas(48, 48);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 120, 220));
    p.drawEllipse(QRectF(2, 2, 44, 44));
    QFont f("DejaVu Sans", 26, QFont::Bold);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 2, 44, 44), Qt::AlignCenter, "?");
    img.save(path);
}

// Step 4 while it works: a ring of dots, darker towards its head.
void Busy(const QString& path) {
    QImage img = Canvas(96, 96);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 12; ++i) {
        p.save();
        p.translate(48, 48);
        p.rotate(i * 30.0);
        p.setBrush(QColor(40, 120, 220, 40 + i * 18));
        p.drawEllipse(QPointF(0, -34), 7, 7);
        p.restore();
    }
    img.save(path);
}

// The arrow that points at an address to open.
void Arrow(const QString& path) {
    QImage img = Canvas(80, 48);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath a;
    a.moveTo(78, 24);
    a.lineTo(46, 2);
    a.lineTo(46, 14);
    a.lineTo(2, 14);
    a.lineTo(2, 34);
    a.lineTo(46, 34);
    a.lineTo(46, 46);
    a.closeSubpath();
    p.setPen(QPen(QColor(160, 40, 20), 2));
    p.setBrush(QColor(240, 90, 40));
    // pointing left, at the field before it
    p.translate(80, 0);
    p.scale(-1, 1);
    p.drawPath(a);
    img.save(path);
}

// The label on the camera's shell with its DDNS account.
void Label(const QString& path) {
    QImage img = Canvas(300, 160);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.setBrush(QColor(250, 250, 250));
    p.drawRoundedRect(QRectF(4, 4, 292, 152), 8, 8);
    QFont f("DejaVu Sans", 13, QFont::Bold);
    p.setFont(f);
    p.drawText(QRectF(16, 12, 270, 30), Qt::AlignLeft | Qt::AlignVCenter, "IP Camera");
    f.setBold(false);
    f.setPointSize(11);
    p.setFont(f);
    p.drawText(QRectF(16, 48, 270, 24), Qt::AlignLeft | Qt::AlignVCenter, "SN: ab1234");
    p.drawText(QRectF(16, 74, 270, 24), Qt::AlignLeft | Qt::AlignVCenter, "Password: ******");
    // a bar code
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20));
    for (int i = 0, x = 16; x < 280; ++i) {
        const int w = 1 + (i * 7 % 4);
        p.drawRect(QRectF(x, 110, w, 34));
        x += w + 2 + (i * 5 % 3);
    }
    img.save(path);
}

// Step 8: the camera with a tick.
void Done(const QString& path) {
    QImage img = Canvas(300, 300);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    Camera(p, QPointF(150, 120), 2.4, QColor(240, 240, 240));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 180, 80));
    p.drawEllipse(QPointF(220, 220), 56, 56);
    p.setPen(QPen(Qt::white, 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(194, 222), QPointF(214, 242), QPointF(248, 200)}));
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
    Power(dir + "/power.png");
    Lights(dir + "/lights.png");
    Wiring(dir + "/cable.png");
    Jack(dir + "/jack.png");
    Help(dir + "/help.png");
    Busy(dir + "/busy.png");
    Arrow(dir + "/arrow.png");
    Label(dir + "/label.png");
    Done(dir + "/done.png");
    return 0;
}
