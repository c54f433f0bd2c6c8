#pragma once
// Pictures carried in the program and the optional skin file.

#include <QPixmap>
#include <QString>

// A carried picture by file name ("logo.png"); a null pixmap when there is none.
QPixmap Picture(const QString& name);
// Applies the skin file (a Qt style sheet) to all windows; false when it cannot be read.
bool ApplySkinFile(const QString& path);
