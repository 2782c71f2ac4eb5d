#pragma once

#include "station/StationOptions.h"

#include <string>

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace quav {

/// A command-line argument as text that keeps every byte: valid UTF-8 as its characters,
/// any other byte b as the lone surrogate U+DC00 + b. So a file name that is no valid
/// UTF-8 still names its file.
QString ArgumentText(const char* bytes);
/// The bytes of an argument again, as the system wants a file name.
std::string ArgumentBytes(const QString& text);

/// The command-line options that the viewer and the capture command share, read by one
/// parser in both, so that the same mistake gets the same German message in both.
namespace shared_options {

/// Adds --source, --hardware and --pid to `parser` and sets the parsing rules both programs use
/// (long options only, "--name value" or "--name=value").
void AddTo(QCommandLineParser& parser);

/// Parses `arguments` (the program name first). False with a German message in `error`
/// for an unknown option, a missing value or a value on a switch, or for more than
/// `positionalAllowed` arguments that are no option.
bool Parse(QCommandLineParser& parser, const QStringList& arguments, QString* error,
           int positionalAllowed = 0);

/// Reads --source, --hardware and --pid from a parsed `parser` into `options`. False with a
/// German message in `error` when the first two are given together, --source is empty or
/// the PID is no PID.
bool Read(const QCommandLineParser& parser, StationOptions& options, QString* error);

} // namespace shared_options
} // namespace quav
