#include "IpEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <optional>

namespace {

constexpr int kMaxOctet = 255;

// Four numbers of 0 to 255 of one to three digits, or none.
std::optional<std::array<int, 4>> ParseAddress(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> out{};
    for (int i = 0; i < 4; ++i) {
        const QString& p = parts[i];
        if (p.isEmpty() || p.size() > 3)
            return std::nullopt;
        for (QChar c : p)
            if (c < u'0' || c > u'9')
                return std::nullopt;
        out[size_t(i)] = p.toInt();
        if (out[size_t(i)] > kMaxOctet)
            return std::nullopt;
    }
    return out;
}

}  // namespace

TIPEdit::TIPEdit(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 1, 3, 1);
    row->setSpacing(0);
    static const QRegularExpression kDigits(QStringLiteral("[0-9]{0,3}"));
    for (int i = 0; i < 4; ++i) {
        // Unnamed: the language table must not take the parts for components of the form.
        auto* f = new QLineEdit(this);
        f->setFrame(false);
        f->setAlignment(Qt::AlignCenter);
        f->setMaxLength(3);
        f->setValidator(new QRegularExpressionValidator(kDigits, f));
        f->setContextMenuPolicy(Qt::NoContextMenu);
        f->setAutoFillBackground(false);
        f->installEventFilter(this);
        connect(f, &QLineEdit::textChanged, this, [this, i] { OnFieldEdited(i); });
        connect(f, &QLineEdit::textEdited, this, [this, i] {
            // A third digit completes the number: typing goes on in the next one.
            QLineEdit* field = fields_[size_t(i)];
            if (i < 3 && field->text().size() == 3 && field->cursorPosition() == 3)
                FocusField(i + 1, true, false);
        });
        fields_[size_t(i)] = f;
        row->addWidget(f, 1);
        if (i < 3) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            row->addWidget(dot);
        }
    }
    setFocusProxy(fields_[0]);
    UpdateLook();
}

QString TIPEdit::text() const
{
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << QString::number(Octet(i));
    return parts.join(QLatin1Char('.'));
}

void TIPEdit::setText(const QString& address)
{
    const std::array<int, 4> octets = ParseAddress(address).value_or(std::array<int, 4>{});
    const QString before = text();
    setting_ = true;
    for (int i = 0; i < 4; ++i)
        fields_[size_t(i)]->setText(QString::number(octets[size_t(i)]));
    setting_ = false;
    if (text() != before)
        emit textChanged(text());
}

int TIPEdit::Octet(int i) const
{
    if (i < 0 || i > 3)
        return 0;
    return std::min(fields_[size_t(i)]->text().toInt(), kMaxOctet);
}

void TIPEdit::SetOctet(int i, int value)
{
    if (i < 0 || i > 3)
        return;
    fields_[size_t(i)]->setText(QString::number(std::clamp(value, 0, kMaxOctet)));
}

void TIPEdit::setReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    for (QLineEdit* f : fields_)
        f->setReadOnly(readOnly);
    UpdateLook();
}

QSize TIPEdit::sizeHint() const
{
    const QFontMetrics fm(font());
    // Four times "255" with room around each, three dots, the frame.
    const int number = fm.horizontalAdvance(QStringLiteral("2555"));
    const int dot = fm.horizontalAdvance(QStringLiteral(". "));
    const int h = std::max(fm.height() + 6, QLineEdit().sizeHint().height());
    return QSize(4 * number + 3 * dot + 10, h);
}

QSize TIPEdit::minimumSizeHint() const
{
    return sizeHint();
}

int TIPEdit::IndexOf(QObject* field) const
{
    for (int i = 0; i < 4; ++i)
        if (fields_[size_t(i)] == field)
            return i;
    return -1;
}

void TIPEdit::FocusField(int i, bool selectAll, bool atEnd)
{
    if (i < 0 || i > 3)
        return;
    QLineEdit* f = fields_[size_t(i)];
    f->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        f->selectAll();
    else
        f->setCursorPosition(atEnd ? int(f->text().size()) : 0);
}

void TIPEdit::OnFieldEdited(int i)
{
    if (setting_)
        return;
    QLineEdit* f = fields_[size_t(i)];
    if (f->text().toInt() > kMaxOctet) {
        const QSignalBlocker block(f);
        f->setText(QString::number(kMaxOctet));
    }
    emit textChanged(text());
}

bool TIPEdit::eventFilter(QObject* watched, QEvent* e)
{
    const int i = IndexOf(watched);
    if (i < 0)
        return QFrame::eventFilter(watched, e);
    QLineEdit* f = fields_[size_t(i)];
    if (e->type() == QEvent::FocusOut) {
        // "007" stays 7: the number is what counts.
        if (!f->text().isEmpty() && f->text() != QString::number(f->text().toInt())) {
            const QSignalBlocker block(f);
            f->setText(QString::number(std::min(f->text().toInt(), kMaxOctet)));
        }
        return false;
    }
    if (e->type() != QEvent::KeyPress)
        return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->matches(QKeySequence::Paste)) {
        if (readOnly_)
            return true;
        const QString pasted = QApplication::clipboard()->text().trimmed();
        if (ParseAddress(pasted)) {
            setText(pasted);
            FocusField(3, false, true);
            return true;
        }
        return false;  // the validator keeps what is not digits out
    }
    const bool noSelection = !f->hasSelectedText();
    switch (k->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        // Ends a number typed into; in one not typed into yet (just reached, all selected,
        // as after a third digit) it is taken for the separator already passed.
        if (i < 3 && !f->text().isEmpty() && f->selectedText() != f->text())
            FocusField(i + 1, true, false);
        return true;  // never typed into a number
    case Qt::Key_Backspace:
        if (noSelection && f->cursorPosition() == 0 && i > 0) {
            FocusField(i - 1, false, true);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (noSelection && f->cursorPosition() == 0 && i > 0) {
            FocusField(i - 1, false, true);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (noSelection && f->cursorPosition() == f->text().size() && i < 3) {
            FocusField(i + 1, false, false);
            return true;
        }
        return false;
    default:
        break;
    }
    const QString t = k->text();
    if (t.size() == 1 && t[0] >= u'0' && t[0] <= u'9' && !readOnly_ && noSelection &&
        f->text().size() == 3 && f->cursorPosition() == 3) {
        // A digit after a full number goes on into the next one.
        if (i < 3) {
            FocusField(i + 1, true, false);
            fields_[size_t(i + 1)]->insert(t);
        }
        return true;
    }
    return false;
}

void TIPEdit::changeEvent(QEvent* e)
{
    QFrame::changeEvent(e);
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::PaletteChange)
        UpdateLook();
}

void TIPEdit::UpdateLook()
{
    // Editable: the text background; read-only or disabled: the button face, as a read-only
    // line edit of the window shows it.
    const QPalette base = QApplication::palette(this);
    const QColor back = readOnly_ || !isEnabled() ? base.color(QPalette::Button)
                                                  : base.color(QPalette::Base);
    QPalette p = palette();
    if (p.color(QPalette::Window) == back && p.color(QPalette::Base) == back)
        return;
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::Base, back);
    setPalette(p);  // the number fields and dots inherit it
}
