#pragma once
// Putting the current language onto forms, fonts per language, and message boxes whose
// texts come from the language file.

#include <QFont>
#include <QString>
#include <functional>

class QObject;
class QWidget;

// Marks w as a form named name (objectName, e.g. "frmMain"): ApplyLanguage reads section
// "Form_" + name for it, and never walks into another form's components.
void SetFormName(QWidget* w, const QString& name);
bool IsLangForm(const QObject* o);

// The rows of the class table, first match wins.
enum class LangRow {
    None, StatusBar, TeFileListBox, TeStatusBar, TePanel, TeLabel, TeCheckBox, TeButton,
    TeSpeedButton, TeRadioButton, TeTabSheet, TeRadioGroup, TeGroupBox, TeListView, TeDBGrid,
    TeTreeView, TeComboBox, TeItem, Panel, Label, CheckBox, Button, ToolBar, ToolButton, Image,
    SpeedButton, RadioButton, MenuItem, TabSheet, GroupBox, RadioGroup, CheckListBox, ListBox,
    ListView, DBGrid, TreeView, ComboBox, SaveDialog, OpenDialog
};
LangRow ClassifyComponent(const QObject* o);

void ApplyLanguage(QWidget* form);
void SetLangFont(const QString& code, QFont& font);
// The installed font that stands in for a language's face.
QString LangFontFamily(const QString& code);

// Windows message-box flags and results.
namespace MB {
constexpr int OK = 0, YESNO = 4, ICONERROR = 16, ICONQUESTION = 32, ICONWARNING = 48,
              ICONINFORMATION = 64, DEFBUTTON2 = 256;
constexpr int IDOK = 1, IDYES = 6, IDNO = 7;
}  // namespace MB

int ResMessageBox(const QString& textKey, const QString& titleKey, int flags);
// The same with a ready text (for texts with a value put in place of %s).
int MessageBoxText(const QString& text, const QString& title, int flags);
// Tests replace the modal box with a function of their own; an empty function restores it.
using MessageBoxHook = std::function<int(const QString& text, const QString& title, int flags)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Texts from language files end lines in CR LF; widgets want LF.
QString ForDisplay(const QString& text);
