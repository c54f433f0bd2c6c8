#include "Controls.h"

#include <QMouseEvent>
#include <QPainter>

TPanel::TPanel(QWidget* parent, const QString& name) : QFrame(parent) {
    if (!name.isEmpty())
        setObjectName(name);
}

void TPanel::SetCaption(const QString& c) {
    caption_ = c;
    update();
}

void TPanel::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    if (caption_.isEmpty())
        return;
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

TImage::TImage(QWidget* parent, const QString& name) : QWidget(parent) {
    if (!name.isEmpty())
        setObjectName(name);
}

void TImage::SetPicture(const QPixmap& p) {
    pixmap_ = p;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (pixmap_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (stretch_) {
        p.drawPixmap(rect(), pixmap_);
        return;
    }
    QSize s = pixmap_.size() / pixmap_.devicePixelRatio();
    if (s.width() > width() || s.height() > height())
        s.scale(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
    p.drawPixmap(target, pixmap_);
}

void TImage::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        emit clicked();
    QWidget::mousePressEvent(e);
}

TClickLabel::TClickLabel(QWidget* parent, const QString& name) : QLabel(parent) {
    if (!name.isEmpty())
        setObjectName(name);
    setCursor(Qt::PointingHandCursor);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(e);
}

QString TFileDialogFilter::QtFilter() const {
    // "Name (*.a)|*.a|Other|*.b" -> "Name (*.a) (*.a);;Other (*.b)"; Qt reads the patterns
    // from the brackets, so each description gets its pattern list once.
    const QStringList parts = filter_.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}
