#pragma once
// The reports of the checks of steps 6 and 7, line by line: kind 0 adds the text as a new last
// line, kinds 1 and 2 replace the last line (the text is the only line of an empty report);
// kind 2 also marks the check as successful. A text with line breaks is several lines.

#include <QString>
#include <QStringList>

enum TStepKind : int { kStepAdd = 0, kStepReplace = 1, kStepSuccess = 2 };

inline void ApplyStep(QStringList& lines, int kind, const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList add = t.split(u'\n');
    if (kind != kStepAdd && !lines.isEmpty())
        lines.removeLast();
    lines += add;
}
