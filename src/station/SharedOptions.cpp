#include "station/SharedOptions.h"

namespace quav::shared_options {

namespace {

const QString SourceName = QStringLiteral("source");
const QString HardwareName = QStringLiteral("hardware");

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
}

bool Parse(QCommandLineParser& parser, const QStringList& arguments, QString* error)
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
    if (!positional.isEmpty()) {
        return Fail(error, Unknown(positional.first()));
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
        options.source = source.toStdString();
    }
    if (options.hardware && options.sourceGiven) {
        return Fail(error, QStringLiteral("--hardware und --source schließen einander aus."));
    }
    return true;
}

} // namespace quav::shared_options
