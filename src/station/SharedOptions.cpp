#include "station/SharedOptions.h"

#include "broadcast/TsSource.h"

#include <cstring>

namespace quav {

namespace {

/// Length of the valid UTF-8 sequence at the start of `s` (at most `n` bytes), 0 if none.
std::size_t Utf8Sequence(const unsigned char* s, std::size_t n)
{
    const unsigned char b = s[0];
    std::size_t length = 0;
    char32_t min = 0;
    char32_t code = 0;
    if (b < 0x80) {
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, min = 0x80, code = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, min = 0x800, code = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, code = b & 0x07;
    } else {
        return 0;
    }
    if (length > n) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (s[i] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

QString ArgumentText(const char* bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    const std::size_t n = std::strlen(bytes);
    QString out;
    for (std::size_t i = 0; i < n;) {
        const std::size_t length = Utf8Sequence(s + i, n - i);
        if (length == 0) {
            out += QChar(char16_t(0xDC00 | s[i]));
            ++i;
        } else {
            out += QString::fromUtf8(bytes + i, qsizetype(length));
            i += length;
        }
    }
    return out;
}

std::string ArgumentBytes(const QString& text)
{
    std::string out;
    qsizetype start = 0;
    const auto flush = [&](qsizetype end) { out += text.mid(start, end - start).toStdString(); };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pairedLow = i > 0 && text[i - 1].isHighSurrogate();
        if (c >= 0xDC80 && c <= 0xDCFF && !pairedLow) {
            flush(i);
            out += char(c & 0xFF);
            start = i + 1;
        }
    }
    flush(text.size());
    return out;
}

} // namespace quav

namespace quav::shared_options {

namespace {

const QString SourceName = QStringLiteral("source");
const QString HardwareName = QStringLiteral("hardware");
const QString PidName = QStringLiteral("pid");

bool Fail(QString* error, const QString& message)
{
    if (error != nullptr) {
        *error = message;
    }
    return false;
}

QString Unknown(const QString& argument)
{
    return QStringLiteral("Unbekannte Option \"%1\". Hilfe mit --help.").arg(argument);
}

// The argument as the user typed it, without a value after "=".
QString TypedOption(const QStringList& arguments, const QString& name)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            arg.truncate(eq);
        }
        qsizetype dashes = 0;
        while (dashes < arg.size() && arg[dashes] == QLatin1Char('-')) {
            ++dashes;
        }
        if (dashes > 0 && arg.mid(dashes) == name) {
            return arg;
        }
    }
    return QStringLiteral("--") + name;
}

// The option named between quotes in one of the parser's own (English) messages.
QString QuotedOption(const QString& text)
{
    const qsizetype open = text.indexOf(QLatin1Char('\''));
    const qsizetype close = text.lastIndexOf(QLatin1Char('\''));
    return open >= 0 && close > open ? text.mid(open + 1, close - open - 1) : QString();
}

} // namespace

void AddTo(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption(QCommandLineOption(SourceName, QString(), QStringLiteral("QUELLE")));
    parser.addOption(QCommandLineOption(HardwareName));
    parser.addOption(QCommandLineOption(PidName, QString(), QStringLiteral("PID")));
}

bool Parse(QCommandLineParser& parser, const QStringList& arguments, QString* error, int positionalAllowed)
{
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            return Fail(error, Unknown(TypedOption(arguments, unknown.first())));
        }
        // The parser's other complaints name the option in quotes: a value is missing
        // after an option that needs one, or one follows a switch.
        const QString text = parser.errorText();
        const QString option = QuotedOption(text);
        if (text.startsWith(QStringLiteral("Unexpected value"))) {
            return Fail(error, QStringLiteral("Die Option %1 nimmt keinen Wert.").arg(option));
        }
        return Fail(error, QStringLiteral("Zur Option %1 fehlt der Wert.").arg(option));
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > positionalAllowed) {
        if (positionalAllowed == 0) {
            return Fail(error, Unknown(positional.first()));
        }
        return Fail(error, QStringLiteral("Zu viele Argumente: \"%1\". Hilfe mit --help.")
                               .arg(positional[positionalAllowed]));
    }
    return true;
}

bool Read(const QCommandLineParser& parser, StationOptions& options, QString* error)
{
    options.hardware = parser.isSet(HardwareName);
    options.sourceGiven = parser.isSet(SourceName);
    if (options.sourceGiven) {
        const QString source = parser.value(SourceName);
        if (source.isEmpty()) {
            return Fail(error, QStringLiteral("Zur Option --source fehlt der Wert."));
        }
        // The name's own bytes: a name that is no valid UTF-8 must still find its file.
        options.source = ArgumentBytes(source);
    }
    if (options.hardware && options.sourceGiven) {
        return Fail(error, QStringLiteral("--hardware und --source schließen einander aus."));
    }
    if (parser.isSet(PidName)) {
        const auto pid = ParseTsPid(parser.value(PidName).toStdString());
        if (!pid) {
            return Fail(error,
                        QString::fromUtf8(TsPidError.data(), static_cast<qsizetype>(TsPidError.size())));
        }
        options.pid = *pid;
    }
    return true;
}

} // namespace quav::shared_options
