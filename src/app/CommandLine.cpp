#include "app/CommandLine.h"

#include "app/AppInfo.h"
#include "station/SharedOptions.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

namespace quav {

QString CommandLine::Usage()
{
    return QStringLiteral(
        "Aufruf: quav-videotext [Optionen] [DATEI]\n"
        "\n"
        "Videotext-Empfang mit einem Videotext-Decoder am I2C-Bus.\n"
        "Ohne Optionen zeigt das Programm den eingebauten Demo-Dienst auf einer\n"
        "simulierten Decoder-Karte.\n"
        "\n"
        "  --source DATEI|ORDNER|demo  simulierte Karte mit einer T42-Aufnahme, einer\n"
        "                              TTI-Datei, einem Ordner mit TTI-Dateien, einem\n"
        "                              DVB-Transportstrom (.ts, M2TS) oder dem Demo-Dienst\n"
        "  --source GERÄT|-            live: ein DVB-Demux-Gerät (/dev/dvb/adapterN/demuxM,\n"
        "                              mit --pid) oder ein Transportstrom auf der\n"
        "                              Standardeingabe (-)\n"
        "  DATEI                       dasselbe wie --source DATEI\n"
        "  --pid PID                   die PID des Videotexts im Transportstrom; ohne: der\n"
        "                              erste Videotext-Dienst in PAT und PMT\n"
        "  --hardware                  die echte Decoder-Hardware (Einstellungen im Menü\n"
        "                              Dateien > Einstellungen)\n"
        "  --help                      diese Hilfe\n"
        "  --version                   die Programmversion\n");
}

CommandLine CommandLine::Parse(const QStringList& arguments, const QString& workingFolder)
{
    CommandLine result;
    const auto fail = [&result](const QString& message) {
        result.action = Action::Fail;
        result.message = QStringLiteral("quav-videotext: ") + message + QLatin1Char('\n');
        return result;
    };
    QCommandLineParser parser;
    shared_options::AddTo(parser);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    QString error;
    // One file name without an option: what a file manager passes when a recording is opened.
    if (!shared_options::Parse(parser, arguments, &error, 1)) {
        return fail(error);
    }
    if (parser.isSet(help)) {
        result.action = Action::ShowHelp;
        result.message = Usage();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = Action::ShowVersion;
        result.message = app::Title() + QStringLiteral(" ") + app::Version() + QStringLiteral("\n");
        return result;
    }
    StationOptions options;
    if (!shared_options::Read(parser, options, &error)) {
        return fail(error);
    }
    if (const QStringList file = parser.positionalArguments(); !file.isEmpty()) {
        if (options.hardware) {
            return fail(QStringLiteral("--hardware und eine Datei schließen einander aus."));
        }
        if (options.sourceGiven) {
            return fail(QStringLiteral("--source und eine Datei schließen einander aus."));
        }
        options.source = ArgumentBytes(file.first());
    }
    result.hardware = options.hardware;
    result.pid = options.pid;
    result.source = ArgumentText(options.source.c_str());
    // "-" is a transport stream on standard input.
    if (result.source != QStringLiteral("demo") && result.source != QStringLiteral("-")) {
        if (!workingFolder.isEmpty() && QDir::isRelativePath(result.source)) {
            result.source = workingFolder + QStringLiteral("/") + result.source;
        }
        // The name's own bytes: a name that is no valid UTF-8 must still find its file.
        const std::string name = ArgumentBytes(result.source);
        struct stat st
        {
        };
        if (::stat(name.c_str(), &st) != 0) {
            return fail(QStringLiteral("Die Quelle \"%1\" gibt es nicht.").arg(result.source));
        }
        if (::access(name.c_str(), S_ISDIR(st.st_mode) ? R_OK | X_OK : R_OK) != 0) {
            return fail(QStringLiteral("Die Quelle \"%1\" kann nicht gelesen werden.").arg(result.source));
        }
    }
    return result;
}

} // namespace quav
