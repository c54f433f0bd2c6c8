#include "CameraText.h"

#include <QStringDecoder>

namespace {

bool Decode(QStringDecoder& decoder, const QByteArray& raw, QString& out)
{
    if (!decoder.isValid())
        return false;
    out = decoder.decode(raw);
    return !decoder.hasError();
}

}  // namespace

QString CameraTextFromBytes(const QByteArray& raw)
{
    QString text;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    if (Decode(utf8, raw, text))
        return text;
    // Without ICU the toolkit has no GB18030 decoder; the bytes are then shown one by one.
    QStringDecoder gb("GB18030", QStringConverter::Flag::Stateless);
    if (Decode(gb, raw, text))
        return text;
    return QString::fromLatin1(raw);
}

QByteArray CameraTextBytes(const QString& text, const QByteArray& raw)
{
    if (raw.isEmpty())
        return text.toUtf8();
    if (CameraTextFromBytes(raw) == text)
        return raw;
    // Trail bytes of GBK and UTF-8 are never ASCII blanks, so trimming cannot cut a character
    // in half.
    const QByteArray trimmed = raw.trimmed();
    if (CameraTextFromBytes(trimmed) == text.trimmed())
        return trimmed;
    return text.toUtf8();
}
