#pragma once

#include "cap/CaptureOptions.h"
#include "cap/PageAcquisition.h"
#include "config/Settings.h"
#include "demo/BroadcastSource.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

class QByteArray;

namespace quav {

class PortIo;
class Renderer;

/// The exit codes of quav-videotext-cap.
namespace cap_exit {
inline constexpr int Ok = 0;
inline constexpr int OutputFailed = 1;
inline constexpr int BadArguments = 2;
inline constexpr int SourceUnreadable = 3; ///< missing or unreadable file or folder
inline constexpr int NoTeletext = 4;       ///< the source holds no teletext
inline constexpr int PageMissing = 5;      ///< a page never came
inline constexpr int NoHardware = 6;       ///< the hardware cannot be reached or does not answer
inline constexpr int NoSafeRights = 7;     ///< root with --hardware, or rights that cannot be given up
} // namespace cap_exit

/// One captured page, ready to be written.
struct CapturedPage
{
    std::uint16_t number = 0x100;
    std::uint16_t subcode = 0; ///< S4 S3 S2 S1 as four hexadecimal digits
    std::array<std::uint8_t, 40> headerRow{};
    std::array<std::uint8_t, 960> pageRows{};
    std::uint8_t nationalOption = 4; ///< the page's character set, 0 to 7 (4 German)
};

/// The page in a picture format (bmp or png) as the bytes of its file, with concealed text
/// shown when `reveal` is set, each page pixel as a square of `scale` x `scale` pixels;
/// false when the encoder fails. Supplied by the renderer's side of the command.
bool EncodePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, int scale,
                     std::string& bytes);

/// The file of a page in a picture format, drawn with `renderer`: a BMP as the viewer saves
/// it, or a PNG with the eight teletext colours as its palette. False when encoding failed.
/// Safe on several threads at once, each with its own renderer.
bool EncodePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, int scale,
                     Renderer& renderer, QByteArray& bytes);

/// quav-videotext-cap: acquires pages and writes them as text or pictures.
///
/// A single page comes through the same stack as the viewer's: the line adapters, the I2C
/// master and the decoder operations, on the simulated board (serial module on COM1)
/// playing the source, or on the real adapter with `--hardware`. The simulated board's
/// clock is fast-forwarded: each polling interval passes at once, so a page that the
/// broadcast sends within 30 seconds arrives in a fraction of a second; the timeout counts
/// broadcast time there (for a recording at least one pass through the file).
///
/// Lists, ranges and `all` are taken from a recording in one pass through a page cache,
/// and from TTI pages and the demo service page by page; each page and subpage becomes a
/// file of its own ("P100-0001.png"), subpages that share a subcode too ("P100-0001-2.png").
/// What the TTI reader skipped or repaired goes to the error stream, one line per file and
/// problem.
///
/// Outputs: "-" is standard output; an output that is a FIFO or a device is written as a
/// stream, several text pages in a row with a form feed between two (several pictures are
/// refused there); only regular files are replaced, atomically. The names the command chooses
/// itself are created without following symlinks and never replace anything but a regular
/// file of the user.
class CaptureCommand
{
public:
    /// Loads the stored settings for `--hardware`; false with a German message.
    using SettingsLoader = std::function<bool(Settings&, std::string&)>;
    /// Opens the ports of the real adapter; null with a German message.
    using PortOpener = std::function<std::unique_ptr<PortIo>(const Settings&, std::string&)>;

    CaptureCommand(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    /// Milliseconds on a steady clock.
    using ProgressClock = std::function<std::int64_t()>;

    /// Shows a progress line on the error stream (meant for a terminal) once a run has taken
    /// more than a second: the pages found so far and the pages done. `clock` stands in for
    /// the steady clock.
    void SetProgress(bool on, ProgressClock clock = {});
    void SetHardwareAccess(SettingsLoader loader, PortOpener opener);

    int Run(const std::vector<std::string>& args);
    int Run(const CaptureOptions& options);

private:
    int RunSimulated(const CaptureOptions& options);
    int RunHardware(const CaptureOptions& options);
    int AcquireOnBoard(const CaptureOptions& options, const BroadcastInput& input);
    int CollectFromRecording(const CaptureOptions& options, const BroadcastInput& input);
    int CollectFromPages(const CaptureOptions& options, const BroadcastInput& input);
    int CollectFromTransportStream(const CaptureOptions& options, const BroadcastInput& input);
    /// Acquires every page of the options through the decoder; `wait` gets the time the
    /// current page has already been waited for, in seconds, and lets one interval pass.
    int AcquireThroughDecoder(const CaptureOptions& options, PortIo& ports, const Settings& settings,
                              const std::function<bool(double&)>& wait);
    int WriteAll(const CaptureOptions& options, const std::vector<CapturedPage>& pages);
    int WriteSingle(const CaptureOptions& options, const CapturedPage& page);
    int WriteAllToStream(const CaptureOptions& options, const std::vector<CapturedPage>& pages);
    int WriteToStdout(const std::string& bytes);
    void ReportSourceProblems(const BroadcastInput& input);
    /// The page in the format of the options, as the bytes of its file; false with a message.
    bool PageBytes(const CaptureOptions& options, const CapturedPage& page, std::string& bytes);
    int ReportMissing(const CaptureOptions& options, const std::vector<CapturedPage>& pages);
    int WritePictures(const CaptureOptions& options, const std::vector<CapturedPage>& pages,
                      const std::vector<std::string>& names, const std::string& folder);
    void Progress(std::size_t found, std::size_t done);
    void EndProgress();

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_progress = false;
    bool m_progressShown = false;
    ProgressClock m_clock;
    std::int64_t m_started = 0;
    std::int64_t m_lastProgress = 0;
    SettingsLoader m_loadSettings;
    PortOpener m_openPorts;
};

/// "P100-0001.png": the file name of a page and subpage in a format. `copy` counts the
/// subpages of the page with the same subcode before this one: 1 gives "P100-0001-2.png".
std::string CaptureFileName(const CapturedPage& page, CaptureFormat format, int copy = 0);

} // namespace quav
