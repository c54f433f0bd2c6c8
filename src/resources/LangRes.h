#pragma once
// The carried language files and the lookups on them. Widget-free: the operations that put a
// language onto forms live in the GUI library (ApplyLanguage.h).

#include <QString>

class IniFile;
class QTextCodec;

// Codes of the carried files, in store order.
inline constexpr const char* kCarriedLanguages[] = {"b5", "cn", "en", "pl", "kr"};

// Folder holding the written language files, with a trailing separator; empty before
// TfrmStrRes has been created.
QString LangDir();
// The folder the language files go into: TMPDIR + executable name + "/" when that is (or
// becomes) a folder of this user's alone (mode 0700), else TMPDIR + executable name + "-" +
// user id + "/" on the same terms; empty when neither can be had.
QString PrivateLangDir();
// The current language code; "en" until start-up chooses one.
QString CurLang();
// Direct assignment at start-up, before anything has been read.
void SetCurLang(const QString& code);
// LangDir + executable name + ".l" + code.
QString LangFilePathFor(const QString& code);
QString LangFilePath();
// Switches the current language: drops the shared form reader and the message cache, falls
// back to "en" when the language has no file. Safe against readers on worker threads.
void SetLanguage(const QString& code);

// The code page a language file is carried in, from the code after ".l" in its name.
QTextCodec* CodecForLanguage(const QString& code);
QTextCodec* CodecForLangFile(const QString& path);
// Opens a reader on a language file with the right code page.
IniFile OpenLangFile(const QString& path);

// The five escapes, in order: $b blank, $c "=", $n CR LF, $$ "$", $t tab.
QString UnescapeLangValue(QString value);
QString ReadLangValue(const IniFile& reader, const QString& section, const QString& key,
                      const QString& def);

// Text of key in [StrRes] of the current language file; cached, callable from any thread.
QString GetResString(const QString& key);
// Any key of the current language file, not cached.
QString GetLangString(const QString& section, const QString& key);

// Bumped by every SetLanguage; the shared form reader of ApplyLanguage checks it.
quint64 LanguageGeneration();

// Holder of the carried language files. Creating it writes them into LangDir; destroying it
// deletes LangDir unless KeepFiles() was called (an instance that stops at the single-instance
// check must not remove the files of the one that runs).
class TfrmStrRes {
public:
    // Error reporter for a file that cannot be written: (path, system error text).
    using ErrorReporter = void (*)(const QString& path, const QString& error);
    explicit TfrmStrRes(ErrorReporter onError = nullptr);
    ~TfrmStrRes();
    TfrmStrRes(const TfrmStrRes&) = delete;
    TfrmStrRes& operator=(const TfrmStrRes&) = delete;

    void KeepFiles() { keep_ = true; }

private:
    bool keep_ = false;
};

// The language code of a language file: what follows ".l" in its extension ("x.lkr" -> "kr").
QString LangCodeOfFile(const QString& path);
