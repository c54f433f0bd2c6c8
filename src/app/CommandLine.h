#pragma once
// The program's command line. The desktop starts it without arguments; --help and --version
// answer on the terminal before any window or display is touched. Whatever else is given
// (after Qt has taken its own options) is refused.

#include <QString>

enum class TCommandLineRequest { Run, Help, Version };

// --help (or -h) anywhere wins over --version anywhere; everything else means Run.
TCommandLineRequest ReadCommandLineRequest(int argc, const char* const* argv);

// "ipcam-wizard VERSION\n"
QString VersionText();
// Usage, options and the folders this run uses (the program folder, the user's files).
QString HelpText();
// The refusal of an argument nobody understood, for standard error.
QString UnknownArgumentText(const QString& argument);

// Exit code of a command line that was refused.
inline constexpr int kUsageExitCode = 2;
