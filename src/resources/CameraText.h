#pragma once
// Texts that cameras keep as 8-bit bytes (names, network names). A camera that was named in a
// legacy code page (GBK on most of these cameras) sends bytes that are no UTF-8; they are shown
// decoded as well as can be, and go back to the camera exactly as received whenever the user
// did not change the text, so that a settings change never renames a camera by accident.
// Stateless; any thread.

#include <QByteArray>
#include <QString>

// UTF-8 when the bytes are valid UTF-8; else GB18030 (a superset of GBK and GB2312) when they
// are valid in it; else one character per byte.
QString CameraTextFromBytes(const QByteArray& raw);

// What to send for text: the received bytes when text still reads as they do (blanks at both
// ends aside: fields are sent trimmed), trimmed of ASCII blanks the same way; otherwise text as
// UTF-8. raw may be empty (a text that did not come from the camera).
QByteArray CameraTextBytes(const QString& text, const QByteArray& raw);
