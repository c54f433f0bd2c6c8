#pragma once
// What the subcommands of the ipcam tool share: exit codes, option parsing, the camera
// argument, the login, output, and the search session (the registry and the search engine
// the windows use, with the event loop running while the tool waits). Each subcommand is one
// TCliCommand in a file of its own (CmdScan.cpp, CmdSet.cpp, ...), listed in ipcam_main.cpp.
//
// Nothing the tool prints holds a credential: records go out through RecordLine and
// RecordJson, and error messages never repeat an option's value.

#include "BuiltInFamilies.h"
#include "DiscoveryEngine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace Cli {

// Exit codes of every subcommand.
enum TExit : int {
    kExitDone = 0,
    kExitFailed = 1,     // the camera refused, or did not come back
    kExitUsage = 2,      // wrong usage, or a value that cannot be sent
    kExitNotFound = 3,   // no camera answered as CAMERA
    kExitNoSockets = 4,  // the search sockets could not be opened
};

// The exit-code lines every --help ends with.
extern const char kExitCodesHelp[];

struct TCliCommand {
    const char* name;
    const char* summary;  // one line for "ipcam --help"
    const char* usage;    // the whole "ipcam NAME --help"
    int (*run)(const QStringList& args);  // the arguments after the subcommand's name
};

// Writes "ipcam: " + message + a line end to standard error.
void Error(const QString& message);
// Error, then a hint at --help; returns kExitUsage.
int UsageError(const QString& command, const QString& message);

// The options of one subcommand: "--name value", "--name=value" or a flag "--name".
struct TOptionSpec {
    const char* name;  // without the dashes
    bool takesValue;
};
class TArgs {
public:
    // False with a message on an unknown, repeated or incomplete option or too many plain
    // arguments. The message names options but never repeats a value or a plain argument
    // (one of them may be a password typed in the wrong place).
    bool Parse(const QStringList& args, const std::vector<TOptionSpec>& known, int maxPositional,
               QString& error);
    bool Has(const char* name) const { return values_.count(QString::fromLatin1(name)) > 0; }
    QString Value(const char* name) const;
    const QStringList& Positional() const { return positional_; }
    bool Help() const { return help_; }

private:
    std::map<QString, QString> values_;
    QStringList positional_;
    bool help_ = false;
};

// A whole number from min to max.
std::optional<int> ParseNumber(const QString& text, int min, int max);
// The option --name as a whole number from min to max into value, which stays as it is when
// the option is not given. False with a message when it is given but is no such number.
bool NumberOption(const TArgs& args, const char* name, int min, int max, int& value, QString& error);
// A port from 1 to 65535.
std::optional<quint16> ParsePort(const QString& text);

// CAMERA: a MAC (any case, with or without ":" or "-") or the camera's current IPv4 address.
struct TCameraRef {
    QString macHex;  // when a MAC was given: as TDevInfo::MacHex writes it
    QString ip;      // when an address was given
};
std::optional<TCameraRef> ParseCameraRef(const QString& text);
bool Matches(const TCameraRef& ref, const TDevInfo& rec);
// How a message names the camera: its MAC or its address.
QString Describe(const TCameraRef& ref);

// The login a command sends: --user, else "admin" (the login dialog's preset); --password,
// else the family's preset. "--password -" reads the password from the first line of
// standard input, so that it does not show in the process list. Both are trimmed, as the
// dialog trims them.
struct TLoginArgs {
    std::optional<QString> user;
    std::optional<QString> password;
};
// False with a message when standard input gives no line.
bool ReadLoginArgs(const TArgs& args, TLoginArgs& out, QString& error);
TLogin LoginFor(const TLoginArgs& args, const TFamilyTraits& traits);

// One record as a line of the export format (position 1), or as a JSON object; neither holds
// the credentials a camera reports.
QByteArray RecordLine(const TFamilyRegistry& families, const TDevInfo& rec);
QByteArray RecordJson(const TDevInfo& rec);
void Print(const QByteArray& bytes);

// How a message names a family: "family 9 (series T)".
QString FamilyName(const TFamilyRegistry& families, qint32 family);

// The search the subcommands run: the families (family 4 with the library beside the
// program), the engine and its sockets, and the event loop while the tool waits.
class TSearch {
public:
    TSearch();
    ~TSearch();
    TSearch(const TSearch&) = delete;
    TSearch& operator=(const TSearch&) = delete;

    // Binds the sockets and sends the first pass at once, with the library search. False
    // (after a message) when a socket could not be bound.
    bool Start();
    DiscoveryEngine& Engine() { return *engine_; }
    TFamilyRegistry& Families() { return *families_; }

    // Runs the event loop until done() holds (asked every few milliseconds) or ms have
    // passed; true when done() held.
    bool RunUntil(const std::function<bool()>& done, int ms);
    // Every third tick the library searches again as well (the library's own search lasts
    // about three seconds; the tick alone never asks it).
    void KeepLibrarySearching(bool on) { libraryEveryTick_ = on; }

    // Finds the camera: every record that matches ref, copied, after the search ran for up to
    // ms. A MAC ends the search at its first answer; an address searches on for at least one
    // second, so that every camera answering there can be told apart.
    std::vector<TDevInfo> Find(const TCameraRef& ref, int ms);

    // Runs fn on a worker thread while the event loop goes on (the engine's sockets belong
    // to this thread and serve a worker through it), and returns what fn returned.
    template <class Fn>
    auto OffThread(Fn fn) -> decltype(fn())
    {
        using R = decltype(fn());
        std::optional<R> result;
        QEventLoop loop;
        std::thread worker([&] {
            result.emplace(fn());
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
        return std::move(*result);
    }

private:
    std::unique_ptr<TFamilyRegistry> families_;
    std::unique_ptr<DiscoveryEngine> engine_;
    bool libraryEveryTick_ = false;
};

// The one camera that answers as ref within seconds, for the subcommand named command. None
// after a message when none answered (exit: kExitNotFound) or several did (kExitUsage).
std::optional<TDevInfo> FindOne(TSearch& search, const QString& command, const TCameraRef& ref,
                                int seconds, int& exit);

}  // namespace Cli
