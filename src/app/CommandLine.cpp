#include "app/CommandLine.h"

#include "app/AppInfo.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

namespace quav {

QString CommandLine::Usage()
{
    return QStringLiteral("Aufruf: quav-videotext [Optionen]\n"
                          "\n"
                          "Videotext-Empfang mit einem Videotext-Decoder am I2C-Bus.\n"
                          "Ohne Optionen zeigt das Programm den eingebauten Demo-Dienst auf einer\n"
                          "simulierten Decoder-Karte.\n"
                          "\n"
                          "  --source DATEI|ORDNER|demo  simulierte Karte mit einer T42-Aufnahme, einer\n"
                          "                              TTI-Datei, einem Ordner mit TTI-Dateien oder dem\n"
                          "                              Demo-Dienst\n"
                          "  --hardware                  die echte Decoder-Hardware (Einstellungen im Menü\n"
                          "                              Dateien > Einstellungen)\n"
                          "  --help                      diese Hilfe\n"
                          "  --version                   die Programmversion\n");
}

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

CommandLine CommandLine::Parse(const QStringList& arguments, const QString& workingFolder)
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
        } else {
            return fail(QStringLiteral("Unbekannte Option: %1").arg(arg));
        }
    }
    if (result.hardware && sourceGiven) {
        return fail(QStringLiteral("--hardware und --source schließen sich aus."));
    }
    if (result.source != QStringLiteral("demo")) {
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
