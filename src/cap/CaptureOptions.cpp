#include "cap/CaptureOptions.h"

#include "station/SharedOptions.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace quav {

namespace {

std::optional<std::uint16_t> ParsePageNumber(std::string_view text)
{
    if (text.size() != 3) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char ch : text) {
        unsigned digit = 0;
        if (ch >= '0' && ch <= '9') {
            digit = static_cast<unsigned>(ch - '0');
        } else if (ch >= 'A' && ch <= 'F') {
            digit = static_cast<unsigned>(ch - 'A' + 10);
        } else if (ch >= 'a' && ch <= 'f') {
            digit = static_cast<unsigned>(ch - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    if (value < 0x100 || value > 0x8FF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

bool ParseTimeout(const std::string& text, double& seconds)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || !std::isfinite(value) || value <= 0 || value > 86400) {
        return false;
    }
    seconds = value;
    return true;
}

bool ParseScale(const std::string& text, int& scale)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || value < 1 || value > 8) {
        return false;
    }
    scale = value;
    return true;
}

} // namespace

const char* FormatExtension(CaptureFormat format)
{
    switch (format) {
    case CaptureFormat::Txt:
        return "txt";
    case CaptureFormat::Utf8:
        return "utf8";
    case CaptureFormat::Bmp:
        return "bmp";
    case CaptureFormat::Png:
        return "png";
    }
    return "txt";
}

bool ParsePageList(const std::string& text, CaptureOptions& options, std::string& error)
{
    options.pages = PageNumberSet{};
    options.all = false;
    options.singlePage = false;
    options.everyPageRequired = true;
    if (text == "all") {
        options.all = true;
        options.pages = PageNumberSet::All();
        options.everyPageRequired = false;
        return true;
    }
    int items = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = text.find(',', pos);
        const std::string item =
            text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        const std::size_t dash = item.find('-');
        if (dash == std::string::npos) {
            const auto page = ParsePageNumber(item);
            if (!page) {
                error = "Ungültige Seitennummer \"" + item +
                        "\": erwartet werden drei Ziffern (0-9, A-F), "
                        "die erste von 1 bis 8, zum Beispiel 100 oder 1F0.";
                return false;
            }
            options.pages.Add(*page);
        } else {
            const auto first = ParsePageNumber(std::string_view(item).substr(0, dash));
            const auto last = ParsePageNumber(std::string_view(item).substr(dash + 1));
            if (!first || !last || *first > *last) {
                error = "Ungültiger Seitenbereich \"" + item + "\": erwartet wird zum Beispiel 100-199.";
                return false;
            }
            options.pages.AddRange(*first, *last);
            options.everyPageRequired = false;
            ++items; // a range is never a single page
        }
        ++items;
        if (comma == std::string::npos) {
            break;
        }
        pos = comma + 1;
    }
    options.singlePage = items == 1 && options.pages.Count() == 1;
    return true;
}

bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& options, std::string& error)
{
    options = CaptureOptions{};
    options.pages.Add(0x100);
    QCommandLineParser parser;
    shared_options::AddTo(parser);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption page(QStringLiteral("page"), QString(), QStringLiteral("SEITEN"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("F"));
    const QCommandLineOption output(QStringLiteral("output"), QString(), QStringLiteral("PFAD"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("S"));
    const QCommandLineOption reveal(QStringLiteral("reveal"));
    const QCommandLineOption scale(QStringLiteral("scale"), QString(), QStringLiteral("N"));
    parser.addOptions({help, page, format, output, timeout, reveal, scale});
    QStringList arguments{QStringLiteral("quav-videotext-cap")};
    for (const std::string& arg : args) {
        arguments << ArgumentText(arg.c_str());
    }
    QString message;
    if (!shared_options::Parse(parser, arguments, &message)) {
        error = message.toStdString();
        return false;
    }
    options.help = parser.isSet(help);
    options.reveal = parser.isSet(reveal);
    if (!shared_options::Read(parser, options.station, &message)) {
        error = message.toStdString();
        return false;
    }
    if (parser.isSet(page) && !ParsePageList(parser.value(page).toStdString(), options, error)) {
        return false;
    }
    if (parser.isSet(format)) {
        const std::string value = parser.value(format).toStdString();
        if (value == "txt") {
            options.format = CaptureFormat::Txt;
        } else if (value == "utf8") {
            options.format = CaptureFormat::Utf8;
        } else if (value == "bmp") {
            options.format = CaptureFormat::Bmp;
        } else if (value == "png") {
            options.format = CaptureFormat::Png;
        } else {
            error = "Unbekanntes Format \"" + value + "\": möglich sind txt, utf8, bmp und png.";
            return false;
        }
    }
    if (parser.isSet(output)) {
        options.output = ArgumentBytes(parser.value(output)); // every byte of the name, as --source
        if (options.output.empty()) {
            error = "Zur Option --output fehlt der Wert.";
            return false;
        }
    }
    if (parser.isSet(timeout)) {
        const std::string value = parser.value(timeout).toStdString();
        if (!ParseTimeout(value, options.timeoutSeconds)) {
            error = "Ungültige Wartezeit \"" + value + "\": erwartet werden Sekunden größer als 0.";
            return false;
        }
    }
    if (parser.isSet(scale)) {
        const std::string value = parser.value(scale).toStdString();
        if (!ParseScale(value, options.scale)) {
            error = "Ungültiger Maßstab \"" + value + "\": erwartet wird eine ganze Zahl von 1 bis 8.";
            return false;
        }
    }
    if (options.station.hardware && options.all) {
        error = "Alle Seiten (all) lassen sich nur aus einer Aufzeichnung, TTI-Seiten oder dem Demo-Dienst "
                "holen, nicht von der Hardware.";
        return false;
    }
    return true;
}

std::string CaptureUsage()
{
    return "Aufruf: quav-videotext-cap [--source DATEI|ORDNER|GERÄT|-|demo] [--pid PID] [--hardware]\n"
           "                           [--page SEITEN]\n"
           "                           [--format txt|utf8|bmp|png] [--output PFAD] [--timeout S]\n"
           "                           [--reveal] [--scale N]\n"
           "\n"
           "Holt Videotext-Seiten und speichert sie als Text oder Bild.\n"
           "\n"
           "  --source QUELLE  demo (der eingebaute Demo-Dienst, Vorgabe), eine T42-Aufzeichnung,\n"
           "                   eine TTI-Datei, ein Ordner mit TTI-Dateien, ein DVB-Transportstrom\n"
           "                   (.ts, M2TS), ein DVB-Demux-Gerät (/dev/dvb/adapterN/demuxM, mit\n"
           "                   --pid) oder - (Transportstrom auf der Standardeingabe)\n"
           "  --pid PID        die PID des Videotexts im Transportstrom; ohne: der erste\n"
           "                   Videotext-Dienst, den PAT und PMT nennen\n"
           "  --hardware       die echte Videotext-Hardware mit den gespeicherten Einstellungen\n"
           "  --page SEITEN    eine Seite (100), eine Liste (100,101,1F0), ein Bereich (100-199)\n"
           "                   oder all; Vorgabe 100\n"
           "  --format F       txt (Textdatei, 24 x 40 Zeichen, Windows-Zeichensatz), utf8,\n"
           "                   bmp oder png (Bild 400 x 312); Vorgabe txt\n"
           "  --output PFAD    eine Seite: Datei, - für die Standardausgabe (ohne: Text auf\n"
           "                   die Standardausgabe); eine FIFO oder ein Gerät wird beschrieben,\n"
           "                   nur gewöhnliche Dateien werden ersetzt;\n"
           "                   mehrere Seiten: Ordner, je Seite und Unterseite eine Datei\n"
           "                   wie P100-0001.png (ohne: der aktuelle Ordner); Unterseiten mit\n"
           "                   gleichem Subcode werden P100-0001-2.png, P100-0001-3.png ...;\n"
           "                   in -, eine FIFO oder ein Gerät gehen mehrere Textseiten\n"
           "                   nacheinander, durch einen Seitenvorschub getrennt\n"
           "  --timeout S      so lange wird auf eine Seite gewartet, Vorgabe 30 Sekunden\n"
           "  --reveal         verdeckten Text zeigen (in den Textformaten steht er immer)\n"
           "  --scale N        Bilder N-fach vergrößert, jeder Bildpunkt als Quadrat aus\n"
           "                   N x N Punkten (1 bis 8, Vorgabe 1: 400 x 312)\n"
           "\n"
           "Rückgabewerte: 0 erfolgreich, 1 Ausgabe nicht schreibbar, 2 falscher Aufruf,\n"
           "3 Quelle fehlt oder ist nicht lesbar, 4 Quelle enthält keinen Videotext,\n"
           "5 Seite nicht empfangen, 6 Hardware nicht verfügbar, 7 als root ohne sudo mit\n"
           "--hardware gestartet oder Rechte nicht abgebbar.\n";
}

} // namespace quav
