#include "LangForms.h"

#include "Controls.h"
#include "IniFile.h"
#include "LangRes.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>
#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <optional>

namespace {

constexpr const char* kFormProperty = "ipcamLangForm";

enum Keys : unsigned {
    kCaption = 1, kHint = 2, kItemsCaption = 4, kColumnsCaption = 8, kItemsText = 16, kFilter = 32
};

struct Row {
    LangRow row;
    const char* className;
    bool font;
    unsigned keys;
};

// Qt classes stand in where a plain class maps one to one; our own classes where the Qt
// hierarchy would make a row catch the wrong widgets (a QLabel is a QFrame, a tree view and a
// list view are both QTreeViews).
const Row kRows[] = {
    {LangRow::StatusBar, "QStatusBar", true, 0},
    {LangRow::TeFileListBox, "TTeFileListBox", true, 0},
    {LangRow::TeStatusBar, "TTeStatusBar", true, 0},
    {LangRow::TePanel, "TTePanel", false, kHint},
    {LangRow::TeLabel, "TTeLabel", true, kCaption},
    {LangRow::TeCheckBox, "TTeCheckBox", true, kCaption | kHint},
    {LangRow::TeButton, "TTeButton", true, kCaption | kHint},
    {LangRow::TeSpeedButton, "TTeSpeedButton", true, kCaption | kHint},
    {LangRow::TeRadioButton, "TTeRadioButton", true, kCaption | kHint},
    {LangRow::TeTabSheet, "TTeTabSheet", true, kCaption},
    {LangRow::TeRadioGroup, "TTeRadioGroup", true, kCaption | kItemsCaption},
    {LangRow::TeGroupBox, "TTeGroupBox", true, kCaption},
    {LangRow::TeListView, "TTeListView", true, kColumnsCaption},
    {LangRow::TeDBGrid, "TTeDBGrid", true, kColumnsCaption},
    {LangRow::TeTreeView, "TTeTreeView", true, kItemsText},
    {LangRow::TeComboBox, "TTeComboBox", true, kItemsCaption},
    {LangRow::TeItem, "TTeItem", false, kCaption | kHint},
    {LangRow::Panel, "TPanel", true, kCaption},
    {LangRow::Label, "QLabel", true, kCaption},
    {LangRow::CheckBox, "QCheckBox", true, kCaption},
    {LangRow::Button, "QPushButton", true, kCaption | kHint},
    {LangRow::ToolBar, "QToolBar", true, 0},
    {LangRow::ToolButton, "TToolButton", false, kCaption | kHint},
    {LangRow::Image, "TImage", false, kHint},
    {LangRow::SpeedButton, "TSpeedButton", true, kCaption | kHint},
    {LangRow::RadioButton, "QRadioButton", true, kCaption | kHint},
    {LangRow::MenuItem, "QAction", false, kCaption},
    {LangRow::TabSheet, "TTabSheet", true, kCaption},
    {LangRow::GroupBox, "QGroupBox", true, kCaption},
    {LangRow::RadioGroup, "TRadioGroup", true, kCaption | kItemsCaption},
    {LangRow::CheckListBox, "TCheckListBox", true, kItemsCaption},
    {LangRow::ListBox, "QListWidget", true, kItemsCaption},
    {LangRow::ListView, "TListView", true, kColumnsCaption},
    {LangRow::DBGrid, "QTableView", true, kColumnsCaption},
    {LangRow::TreeView, "TTreeView", true, kItemsText},
    {LangRow::ComboBox, "QComboBox", true, kItemsCaption},
    {LangRow::SaveDialog, "TSaveDialog", false, kFilter},
    {LangRow::OpenDialog, "TOpenDialog", false, kFilter},
};

const Row* RowOf(const QObject* o) {
    for (const Row& r : kRows)
        if (o->inherits(r.className))
            return &r;
    return nullptr;
}

// FormLock and the shared reader on the current language file.
QMutex& FormLock() {
    static QMutex m;
    return m;
}
struct FormReaderState {
    std::optional<IniFile> reader;
    quint64 generation = 0;
};
FormReaderState& FormReader() {
    static FormReaderState s;
    return s;
}

// Every component a form owns, in creation order: the named objects below it, but not those
// of another form docked into it.
void CollectComponents(QObject* parent, QList<QObject*>& out) {
    for (QObject* c : parent->children()) {
        if (IsLangForm(c))
            continue;
        if (!c->objectName().isEmpty() && !c->objectName().startsWith(QLatin1String("qt_")))
            out.append(c);
        CollectComponents(c, out);
    }
}

QString Caption(QObject* o) {
    if (auto* w = qobject_cast<QLabel*>(o)) return w->text();
    if (auto* w = qobject_cast<QAbstractButton*>(o)) return w->text();
    if (auto* w = qobject_cast<QGroupBox*>(o)) return w->title();
    if (auto* w = qobject_cast<TPanel*>(o)) return w->Caption();
    if (auto* w = qobject_cast<QAction*>(o)) return w->text();
    if (auto* w = qobject_cast<QWidget*>(o)) return w->windowTitle();
    return QString();
}

void SetCaption(QObject* o, const QString& text) {
    const QString t = ForDisplay(text);
    if (auto* w = qobject_cast<QLabel*>(o)) return w->setText(t);
    if (auto* w = qobject_cast<QAbstractButton*>(o)) return w->setText(t);
    if (auto* w = qobject_cast<QGroupBox*>(o)) return w->setTitle(t);
    if (auto* w = qobject_cast<TPanel*>(o)) return w->SetCaption(t);
    if (auto* w = qobject_cast<QAction*>(o)) return w->setText(t);
    if (auto* w = qobject_cast<QWidget*>(o)) {
        // A tab sheet's caption is its tab's text.
        w->setWindowTitle(t);
        if (auto* stack = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget())) {
                const int i = tabs->indexOf(w);
                if (i >= 0) tabs->setTabText(i, t);
            }
    }
}

QString Hint(QObject* o) {
    if (auto* w = qobject_cast<QWidget*>(o)) return w->toolTip();
    if (auto* a = qobject_cast<QAction*>(o)) return a->toolTip();
    return QString();
}

void SetHint(QObject* o, const QString& text) {
    if (auto* w = qobject_cast<QWidget*>(o)) w->setToolTip(ForDisplay(text));
    else if (auto* a = qobject_cast<QAction*>(o)) a->setToolTip(ForDisplay(text));
}

void ApplyItems(QObject* o, const IniFile& r, const QString& s, const QString& name) {
    auto key = [&](int i) { return name + QStringLiteral(".Items") + QString::number(i) + QStringLiteral(".Caption"); };
    if (auto* c = qobject_cast<QComboBox*>(o)) {
        for (int i = 0; i < c->count(); ++i)
            c->setItemText(i, ForDisplay(ReadLangValue(r, s, key(i), c->itemText(i))));
    } else if (auto* l = qobject_cast<QListWidget*>(o)) {
        for (int i = 0; i < l->count(); ++i)
            l->item(i)->setText(ForDisplay(ReadLangValue(r, s, key(i), l->item(i)->text())));
    } else {
        // Radio groups keep their items as child buttons in order.
        const auto buttons = o->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly);
        for (int i = 0; i < buttons.size(); ++i)
            buttons[i]->setText(ForDisplay(ReadLangValue(r, s, key(i), buttons[i]->text())));
    }
}

void ApplyColumns(QObject* o, const IniFile& r, const QString& s, const QString& name) {
    auto* view = qobject_cast<QAbstractItemView*>(o);
    QAbstractItemModel* model = view ? view->model() : nullptr;
    if (!model)
        return;
    for (int i = 0; i < model->columnCount(); ++i) {
        const QString cur = model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
        const QString key = name + QStringLiteral(".Columns") + QString::number(i) + QStringLiteral(".Caption");
        model->setHeaderData(i, Qt::Horizontal, ForDisplay(ReadLangValue(r, s, key, cur)), Qt::DisplayRole);
    }
}

void ApplyNodes(QObject* o, const IniFile& r, const QString& s, const QString& name) {
    auto* tree = qobject_cast<QTreeWidget*>(o);
    if (!tree)
        return;
    int i = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it, ++i) {
        const QString key = name + QStringLiteral(".Items") + QString::number(i) + QStringLiteral(".Text");
        (*it)->setText(0, ForDisplay(ReadLangValue(r, s, key, (*it)->text(0))));
    }
}

void ApplyFont(QObject* o, const QString& code) {
    if (auto* w = qobject_cast<QWidget*>(o)) {
        QFont f = w->font();
        SetLangFont(code, f);
        w->setFont(f);
    }
}

MessageBoxHook& Hook() {
    static MessageBoxHook h;
    return h;
}

}  // namespace

void SetFormName(QWidget* w, const QString& name) {
    w->setObjectName(name);
    w->setProperty(kFormProperty, true);
}

bool IsLangForm(const QObject* o) { return o->property(kFormProperty).toBool(); }

LangRow ClassifyComponent(const QObject* o) {
    const Row* r = RowOf(o);
    return r ? r->row : LangRow::None;
}

QString ForDisplay(const QString& text) {
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

QString LangFontFamily(const QString& code) {
    static const QStringList cn = {"Noto Sans CJK SC", "WenQuanYi Zen Hei", "AR PL UMing CN", "Noto Serif CJK SC"};
    static const QStringList b5 = {"Noto Sans CJK TC", "AR PL UMing TW", "WenQuanYi Zen Hei", "Noto Serif CJK TC"};
    static const QStringList jp = {"Noto Sans CJK JP", "IPAGothic", "WenQuanYi Zen Hei", "Noto Serif CJK JP"};
    static const QStringList other = {"DejaVu Sans", "Liberation Sans", "Noto Sans", "FreeSans"};
    const QStringList& wanted = code == QLatin1String("cn")   ? cn
                                : code == QLatin1String("b5") ? b5
                                : code == QLatin1String("jp") ? jp
                                                              : other;
    static QMutex m;
    static QHash<QString, QString> chosen;
    QMutexLocker l(&m);
    auto it = chosen.constFind(code);
    if (it != chosen.constEnd())
        return *it;
    const QStringList families = QFontDatabase::families();
    QString pick;
    for (const QString& f : wanted)
        if (families.contains(f, Qt::CaseInsensitive)) {
            pick = f;
            break;
        }
    if (pick.isEmpty())
        pick = QApplication::font().family();  // the toolkit's default face as last resort
    chosen.insert(code, pick);
    return pick;
}

void SetLangFont(const QString& code, QFont& font) {
    // Qt fonts carry no character set: the face alone decides, and fontconfig falls back to a
    // face with the glyphs (Hangul with the Latin face, for instance).
    const bool cjk = code == QLatin1String("cn") || code == QLatin1String("b5") || code == QLatin1String("jp");
    font.setFamily(LangFontFamily(code));
    const int size = font.pointSize();
    if (cjk && size == 8)
        font.setPointSize(9);
    else if (!cjk && size == 9)
        font.setPointSize(8);
}

void ApplyLanguage(QWidget* form) {
    if (!form)
        return;
    QMutexLocker lock(&FormLock());
    FormReaderState& fr = FormReader();
    const quint64 generation = LanguageGeneration();
    if (!fr.reader || fr.generation != generation) {
        fr.reader.emplace(OpenLangFile(LangFilePath()));
        fr.generation = generation;
    }
    const IniFile& r = *fr.reader;
    const QString code = CurLang();
    const QString section = QStringLiteral("Form_") + form->objectName();

    form->setWindowTitle(ForDisplay(ReadLangValue(r, section, QStringLiteral("Caption"), form->windowTitle())));
    ApplyFont(form, code);

    QList<QObject*> components;
    CollectComponents(form, components);
    for (QObject* c : components) {
        const Row* row = RowOf(c);
        if (!row)
            continue;
        if (row->font)
            ApplyFont(c, code);
        const QString name = c->objectName();
        if (row->keys & kCaption)
            SetCaption(c, ReadLangValue(r, section, name + QStringLiteral(".Caption"), Caption(c)));
        if (row->keys & kHint)
            SetHint(c, ReadLangValue(r, section, name + QStringLiteral(".Hint"), Hint(c)));
        if (row->keys & kItemsCaption)
            ApplyItems(c, r, section, name);
        if (row->keys & kColumnsCaption)
            ApplyColumns(c, r, section, name);
        if (row->keys & kItemsText)
            ApplyNodes(c, r, section, name);
        if (row->keys & kFilter)
            if (auto* d = qobject_cast<TFileDialogFilter*>(c))
                d->SetFilter(ReadLangValue(r, section, name + QStringLiteral(".Filter"), d->Filter()));
    }
}

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

int MessageBoxText(const QString& text, const QString& title, int flags) {
    if (Hook())
        return Hook()(text, title, flags);
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(ForDisplay(title));
    box.setText(ForDisplay(text));
    switch (flags & 0xF0) {
    case MB::ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB::ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB::ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB::ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    const bool yesNo = (flags & 0x0F) == MB::YESNO;
    if (yesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton((flags & MB::DEFBUTTON2) ? no : yes);
        box.setEscapeButton(no);
    } else {
        box.setDefaultButton(box.addButton(QMessageBox::Ok));
    }
    box.exec();
    if (!yesNo)
        return MB::IDOK;
    return box.clickedButton() == box.button(QMessageBox::Yes) ? MB::IDYES : MB::IDNO;
}

int ResMessageBox(const QString& textKey, const QString& titleKey, int flags) {
    return MessageBoxText(GetResString(textKey), GetResString(titleKey), flags);
}
