#pragma once
// Values put into the query string of a camera CGI request.

#include <QString>

// Percent-encodes the characters of value that would change the structure of a query string
// or are not safe in a URL: "&", "#", "%", "+", "=", "?", the blank, control characters and
// everything outside ASCII (as its UTF-8 bytes), each as "%" and two upper-case hexadecimal
// digits. Every other character goes out unchanged, so that ordinary user names and
// passwords reach the camera byte for byte as they always did.
QString UrlQueryEncode(const QString& value);
// The same for bytes as they are to reach the camera (a text kept in the camera's code page).
QString UrlQueryEncodeBytes(const QByteArray& raw);
