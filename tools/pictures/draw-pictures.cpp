// Draws the program's pictures and its desktop icon: plain vector drawings, so that they are
// our own and small.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

namespace {

// The camera as a list of plain shapes, so that the same drawing goes to pixels (QPainter) and
// to the scalable icon (SVG). Local units: the housing is 80 wide, centred on the origin.
struct Shape {
    enum Kind { RoundedRect, Rect, Circle } kind;
    QRectF box;       // Circle: centre box.center(), radius box.width() / 2
    double radius;    // RoundedRect corners
    QColor fill;
    bool outlined;    // with the housing's outline colour, 2 units wide
};

QColor Outline(QColor body) { return body.darker(160); }

std::vector<Shape> CameraShapes(QColor body) {
    auto circle = [](QPointF c, double r, QColor fill, bool outlined) {
        return Shape{Shape::Circle, QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 0, fill, outlined};
    };
    return {
        {Shape::RoundedRect, QRectF(-40, -22, 80, 44), 10, body, true},   // housing
        circle(QPointF(10, 0), 17, QColor(40, 44, 52), true),             // lens ring
        circle(QPointF(10, 0), 9, QColor(90, 140, 210), true),            // glass
        circle(QPointF(6, -4), 3, Qt::white, false),                      // glint
        circle(QPointF(-28, -12), 3, QColor(220, 60, 60), false),         // status light
        {Shape::Rect, QRectF(-6, 22, 12, 16), 0, body.darker(115), true},  // stand
        {Shape::RoundedRect, QRectF(-24, 38, 48, 8), 3, body.darker(115), true},
    };
}

void Camera(QPainter& p, QPointF at, double s, QColor body) {
    p.save();
    p.translate(at);
    p.scale(s, s);
    for (const Shape& sh : CameraShapes(body)) {
        p.setPen(sh.outlined ? QPen(Outline(body), 2) : QPen(Qt::NoPen));
        p.setBrush(sh.fill);
        switch (sh.kind) {
        case Shape::RoundedRect: p.drawRoundedRect(sh.box, sh.radius, sh.radius); break;
        case Shape::Rect: p.drawRect(sh.box); break;
        case Shape::Circle: p.drawEllipse(sh.box.center(), sh.box.width() / 2, sh.box.height() / 2); break;
        }
    }
    p.restore();
}

// The program's icon on a 256-unit square: the camera on a rounded tile of the welcome
// picture's sky.
constexpr double kIconUnits = 256;
const QRectF kIconTile(16, 16, 224, 224);
constexpr double kIconTileRadius = 40;
const QColor kSkyTop(70, 130, 200), kSkyBottom(30, 60, 110), kIconBody(240, 240, 240);
const QPointF kIconCameraAt(128, 100.4);  // the camera's middle (local y 12) at the tile's
constexpr double kIconCameraScale = 2.3;

void IconPng(const QString& path, int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kIconUnits, size / kIconUnits);
    QLinearGradient sky(0, kIconTile.top(), 0, kIconTile.bottom());
    sky.setColorAt(0, kSkyTop);
    sky.setColorAt(1, kSkyBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(kIconTile, kIconTileRadius, kIconTileRadius);
    Camera(p, kIconCameraAt, kIconCameraScale, kIconBody);
    p.end();
    img.save(path);
}

QString Num(double v) { return QString::number(v, 'g', 6); }

void IconSvg(const QString& path) {
    QString svg;
    svg += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n");
    svg += QStringLiteral("<defs><linearGradient id=\"sky\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
                          "<stop offset=\"0\" stop-color=\"%1\"/><stop offset=\"1\" stop-color=\"%2\"/>"
                          "</linearGradient></defs>\n")
               .arg(kSkyTop.name(), kSkyBottom.name());
    svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" ry=\"%5\" fill=\"url(#sky)\"/>\n")
               .arg(Num(kIconTile.x()), Num(kIconTile.y()), Num(kIconTile.width()), Num(kIconTile.height()),
                    Num(kIconTileRadius));
    svg += QStringLiteral("<g transform=\"translate(%1 %2) scale(%3)\" stroke-width=\"2\">\n")
               .arg(Num(kIconCameraAt.x()), Num(kIconCameraAt.y()), Num(kIconCameraScale));
    for (const Shape& sh : CameraShapes(kIconBody)) {
        const QString paint = QStringLiteral("fill=\"%1\" stroke=\"%2\"")
                                  .arg(sh.fill.name(), sh.outlined ? Outline(kIconBody).name() : QStringLiteral("none"));
        switch (sh.kind) {
        case Shape::RoundedRect:
        case Shape::Rect:
            svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" ry=\"%5\" %6/>\n")
                       .arg(Num(sh.box.x()), Num(sh.box.y()), Num(sh.box.width()), Num(sh.box.height()),
                            Num(sh.radius), paint);
            break;
        case Shape::Circle:
            svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"%3\" %4/>\n")
                       .arg(Num(sh.box.center().x()), Num(sh.box.center().y()), Num(sh.box.width() / 2), paint);
            break;
        }
    }
    svg += QStringLiteral("</g>\n</svg>\n");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(svg.toUtf8());
}

// The sizes of the hicolor theme that desktops ask for, and the scalable one.
void Icons(const QString& dir) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(dir).arg(size);
        QDir().mkpath(folder);
        IconPng(folder + QStringLiteral("/ipcam-wizard.png"), size);
    }
    QDir().mkpath(dir + QStringLiteral("/hicolor/scalable/apps"));
    IconSvg(dir + QStringLiteral("/hicolor/scalable/apps/ipcam-wizard.svg"));
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
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: draw-pictures PICTURE_FOLDER [ICON_FOLDER]\n");
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
    if (argc == 3)
        Icons(QString::fromLocal8Bit(argv[2]));
    return 0;
}
