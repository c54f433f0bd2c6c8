#pragma once
// Address and hexadecimal conversions shared by the families' settings commands. Every text
// that goes into a command is checked first: a malformed one is refused rather than wrapped,
// so that a camera never gets half of a settings change.

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

using TIp4 = std::array<quint8, 4>;

// Exactly four "."-separated decimal numbers of one to three digits, each 0..255; anything
// else (blanks, signs, empty parts, 256) is refused rather than wrapped into a byte.
std::optional<TIp4> IpToBytes(const QString& text);
// Four bytes as decimal numbers joined by ".", in byte order.
QString BytesToIp(const TIp4& bytes);
bool ValidIp(const QString& text);
// An optional address may also be empty.
bool ValidOptionalIp(const QString& text);

// Pairs of hexadecimal digits (either case), high digit first. Refuses an odd length or any
// other character.
std::optional<QByteArray> HexToBytes(const QString& text);
bool AllHex(const QString& text);
// Pairs counted from the end, joined by ":"; a leading odd character is dropped.
QString MacWithColons(const QString& mac);

bool HasLineBreak(const QString& text);
// At most maxBytes of UTF-8, cut before a character that would not fit whole.
QByteArray Utf8Cut(const QString& text, qsizetype maxBytes);
