#pragma once
// Screenshots of forms, taken by the GUI tests when IPCAM_SCREENSHOTS names a folder (that is
// what scripts/screenshots does): each test that shows a form in a state worth looking at saves
// it under the form's name, once per language of IPCAM_SCREENSHOT_LANGS (default "en cn").
// scripts/screenshots runs the tests labelled "gui" (set_tests_properties ... LABELS gui, or
// PROPERTIES LABELS gui of gtest_discover_tests): a new GUI suite gets that label.

#include "LangRes.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace testsupport {

inline QString ScreenshotDir()
{
    return qEnvironmentVariable("IPCAM_SCREENSHOTS");
}

inline bool TakingScreenshots()
{
    return !ScreenshotDir().isEmpty();
}

// The languages to render in; empty when no screenshots are wanted.
inline QStringList ScreenshotLanguages()
{
    if (!TakingScreenshots())
        return {};
    const QString langs = qEnvironmentVariable("IPCAM_SCREENSHOT_LANGS", QStringLiteral("en cn"));
    return langs.split(u' ', Qt::SkipEmptyParts);
}

// Saves w as DIR/<name>-<language>.png (name: the form's class, plus a state such as
// "TfrmAdv_Main-family9"). Nothing happens when no screenshots are wanted.
inline void SaveScreenshot(QWidget* w, const QString& name)
{
    if (!TakingScreenshots() || !w)
        return;
    QDir().mkpath(ScreenshotDir());
    w->grab().save(ScreenshotDir() + u'/' + name + u'-' + CurLang() + QStringLiteral(".png"));
}

}  // namespace testsupport
