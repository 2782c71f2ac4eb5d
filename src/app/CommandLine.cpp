#include "app/CommandLine.h"

#include "app/AppInfo.h"
#include "broadcast/TsSource.h"

#include <QFileInfo>

namespace quav {

QString CommandLine::Usage()
{
    return QStringLiteral(
        "Aufruf: quav-videotext [Optionen]\n"
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
        "  --pid PID                   die PID des Videotexts im Transportstrom; ohne: der\n"
        "                              erste Videotext-Dienst in PAT und PMT\n"
        "  --hardware                  die echte Decoder-Hardware (Einstellungen im Menü\n"
        "                              Dateien > Einstellungen)\n"
        "  --help                      diese Hilfe\n"
        "  --version                   die Programmversion\n");
}

CommandLine CommandLine::Parse(const QStringList& arguments)
{
    CommandLine result;
    const auto fail = [&result](const QString& message) {
        result.action = Action::Fail;
        result.message = message + QStringLiteral("\nMehr mit: quav-videotext --help\n");
        return result;
    };
    bool sourceGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            result.action = Action::ShowHelp;
            result.message = Usage();
            return result;
        }
        if (arg == QStringLiteral("--version") || arg == QStringLiteral("-v")) {
            result.action = Action::ShowVersion;
            result.message = app::Title() + QStringLiteral(" ") + app::Version() + QStringLiteral("\n");
            return result;
        }
        if (arg == QStringLiteral("--hardware")) {
            result.hardware = true;
        } else if (arg == QStringLiteral("--source") || arg.startsWith(QStringLiteral("--source="))) {
            QString value;
            if (arg.startsWith(QStringLiteral("--source="))) {
                value = arg.mid(9);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return fail(
                    QStringLiteral("Die Option --source braucht eine Datei, einen Ordner oder \"demo\"."));
            }
            if (value.isEmpty()) {
                return fail(
                    QStringLiteral("Die Option --source braucht eine Datei, einen Ordner oder \"demo\"."));
            }
            result.source = value;
            sourceGiven = true;
        } else if (arg == QStringLiteral("--pid") || arg.startsWith(QStringLiteral("--pid="))) {
            const QString value = arg.startsWith(QStringLiteral("--pid=")) ? arg.mid(6)
                                  : i + 1 < arguments.size()               ? arguments[++i]
                                                                           : QString();
            const auto pid = ParseTsPid(value.toStdString());
            if (!pid) {
                return fail(QString::fromUtf8(TsPidError.data(), static_cast<qsizetype>(TsPidError.size())));
            }
            result.pid = *pid;
        } else {
            return fail(QStringLiteral("Unbekannte Option: %1").arg(arg));
        }
    }
    if (result.hardware && sourceGiven) {
        return fail(QStringLiteral("--hardware und --source schließen sich aus."));
    }
    if (result.source != QStringLiteral("demo") && result.source != QStringLiteral("-")) {
        const QFileInfo info(result.source);
        if (!info.exists()) {
            return fail(QStringLiteral("Die Quelle \"%1\" gibt es nicht.").arg(result.source));
        }
        if (!info.isReadable() || (info.isDir() && !info.isExecutable())) {
            return fail(QStringLiteral("Die Quelle \"%1\" kann nicht gelesen werden.").arg(result.source));
        }
    }
    return result;
}

} // namespace quav
