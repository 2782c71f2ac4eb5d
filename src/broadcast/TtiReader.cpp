#include "broadcast/TtiReader.h"

#include "broadcast/PageHeader.h"

#include <algorithm>
#include <bitset>
#include <fstream>
#include <optional>
#include <system_error>

namespace quav {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t Esc = 0x1B;

std::string Quoted(std::string_view s)
{
    // Keep messages readable when a damaged line holds control bytes or endless text.
    std::string out = "\u201E";
    for (char ch : s.substr(0, 20)) {
        const auto b = static_cast<unsigned char>(ch);
        out += (b >= 0x20 && b < 0x7F) ? ch : '?';
    }
    if (s.size() > 20) {
        out += "...";
    }
    return out + "\u201C";
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

/// Unsigned number of at most `maxDigits` digits in the given base; nothing else allowed.
std::optional<unsigned> ParseNumber(std::string_view s, unsigned base, std::size_t maxDigits)
{
    s = Trim(s);
    if (s.empty() || s.size() > maxDigits) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (char ch : s) {
        unsigned digit = 0;
        if (ch >= '0' && ch <= '9') {
            digit = unsigned(ch - '0');
        } else if (ch >= 'A' && ch <= 'F') {
            digit = unsigned(ch - 'A' + 10);
        } else if (ch >= 'a' && ch <= 'f') {
            digit = unsigned(ch - 'a' + 10);
        } else {
            return std::nullopt;
        }
        if (digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return value;
}

std::string_view UpTo(std::string_view s, char separator)
{
    return s.substr(0, s.find(separator));
}

std::string_view After(std::string_view s, char separator)
{
    const auto at = s.find(separator);
    return at == std::string_view::npos ? std::string_view{} : s.substr(at + 1);
}

class Parser
{
public:
    explicit Parser(std::string_view name) : m_name(name) {}

    TtiReadResult Run(std::string_view content)
    {
        if (content.starts_with("\xEF\xBB\xBF")) {
            content.remove_prefix(3); // a byte order mark left by a text editor
        }
        // Lines end in LF or CR LF. A lone CR is a raw control code (double height) that
        // some tools write unescaped, unless the file has no LF at all: then CR ends lines.
        const char eol = content.find('\n') == std::string_view::npos ? '\r' : '\n';
        std::size_t pos = 0;
        while (pos < content.size()) {
            std::size_t end = content.find(eol, pos);
            if (end == std::string_view::npos) {
                end = content.size();
            }
            std::string_view line = content.substr(pos, end - pos);
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            ++m_line;
            Line(line);
            pos = end + 1;
        }
        std::stable_sort(m_result.pages.begin(), m_result.pages.end(),
                         [](const TtiPage& a, const TtiPage& b) { return a.number < b.number; });
        if (m_result.pages.empty()) {
            m_result.error = m_name.empty() ? std::string("Der Text enthält keine Videotext-Seite.")
                                            : "Die Datei " + m_name + " enthält keine Videotext-Seite.";
        }
        return std::move(m_result);
    }

private:
    void Line(std::string_view line)
    {
        if (line.size() < 3 || line[2] != ',') {
            return; // blank lines, comments and whatever else: not ours
        }
        const char a = char(line[0] & ~0x20); // upper case
        const char b = char(line[1] & ~0x20);
        const std::string_view arg = line.substr(3);
        if (a == 'P' && b == 'N') {
            PageNumber(arg);
            return;
        }
        if (a == 'D' && b == 'E') {
            PageText(&TtiPage::description, arg);
        } else if (a == 'D' && b == 'S') {
            PageText(&TtiPage::destination, arg);
        } else if (a == 'S' && b == 'P') {
            PageText(&TtiPage::sourcePath, arg);
        } else if (a == 'C' && b == 'T') {
            CycleTime(arg);
        } else if (a == 'S' && b == 'C') {
            Subcode(arg);
        } else if (a == 'P' && b == 'S') {
            PageStatus(arg);
        } else if (a == 'R' && b == 'E') {
            Region(arg);
        } else if (a == 'O' && b == 'L') {
            OutputLine(arg);
        } else if (a == 'F' && b == 'L') {
            Links(arg);
        }
    }

    void Warn(TtiProblem problem, std::string text)
    {
        auto& warnings = m_result.warnings;
        if (warnings.size() < tti::MaxWarnings) {
            warnings.push_back({m_name, m_line, std::move(text), problem});
        } else if (warnings.size() == tti::MaxWarnings) {
            warnings.push_back({m_name, 0, "Weitere Meldungen werden nicht angezeigt."});
        }
    }

    /// The subpage that the current line belongs to, or null (with a warning) when the
    /// line comes before the first PN line or inside a page whose PN line was damaged.
    TtiSubpage* Current()
    {
        if (m_skipping) {
            return nullptr;
        }
        if (m_page == nullptr) {
            Warn(TtiProblem::LineBeforePage, "Zeile vor der ersten Seitennummer (PN) übersprungen.");
            return nullptr;
        }
        return &m_page->subpages.back();
    }

    void PageNumber(std::string_view arg)
    {
        // mpp, then up to two subpage digits: "100", "10000", "1F003".
        const std::string_view text = Trim(arg);
        const auto value = ParseNumber(text.substr(0, 3), 16, 3);
        const auto digits = text.size() > 3 ? ParseNumber(text.substr(3), 16, 2) : std::optional<unsigned>(0);
        const unsigned number = value.value_or(0);
        const int subpage = int(digits.value_or(0));
        if (!value || !digits || number < 0x100 || number > 0x8FF) {
            Warn(TtiProblem::PageNumber, "Ungültige Seitennummer " + Quoted(arg) +
                                             "; die Zeilen bis zur nächsten PN-Zeile werden übersprungen.");
            m_skipping = true;
            m_page = nullptr;
            return;
        }
        m_skipping = false;
        auto& pages = m_result.pages;
        const auto same = [number](const TtiPage& p) { return p.number == number; };
        auto it = std::find_if(pages.begin(), pages.end(), same);
        if (it == pages.end()) {
            TtiPage page = m_pending;
            page.number = static_cast<std::uint16_t>(number);
            page.fileName = m_name;
            pages.push_back(std::move(page));
            m_pending = TtiPage{};
            it = pages.end() - 1;
        }
        if (it->subpages.size() >= MaxSubpagesPerPage) {
            // Endless PN lines of one page must not cost a kilobyte each.
            if (!m_overfull[static_cast<std::size_t>(number & 0x7FF)]) {
                m_overfull.set(static_cast<std::size_t>(number & 0x7FF));
                Warn(TtiProblem::TooManySubpages, "Seite " +
                                                      TtiPageNumberText(static_cast<std::uint16_t>(number)) +
                                                      " hat mehr als " + std::to_string(MaxSubpagesPerPage) +
                                                      " Unterseiten; die weiteren werden übersprungen.");
            }
            m_skipping = true;
            m_page = nullptr;
            return;
        }
        m_page = &*it;
        m_rowsGiven = false;

        TtiSubpage sub = m_pendingSubpage;
        sub.subpage = subpage;
        if (!m_pendingSubcode) {
            sub.subcode = static_cast<std::uint16_t>(subpage);
        }
        m_page->subpages.push_back(std::move(sub));
        // What came before the first PN belonged to it alone; cycle time carries on.
        m_pendingSubpage = TtiSubpage{};
        m_pendingSubpage.cycleTime = m_cycleTime;
        m_pendingSubpage.cycleMode = m_cycleMode;
        m_pendingSubcode = false;
    }

    void PageText(std::string TtiPage::*field, std::string_view arg)
    {
        // Before the rows of a page: the page's own line. After them: the next page's.
        m_pending.*field = std::string(arg);
        if (m_page != nullptr && !m_rowsGiven) {
            m_page->*field = std::string(arg);
        }
    }

    void CycleTime(std::string_view arg)
    {
        const auto value = ParseNumber(UpTo(arg, ','), 10, 4);
        if (!value || *value == 0) {
            Warn(TtiProblem::CycleTime, "Ungültige Zykluszeit " + Quoted(arg) + "; Zeile übersprungen.");
            return;
        }
        const std::string_view mode = Trim(After(arg, ','));
        if (mode == "C" || mode == "c") {
            m_cycleMode = TtiCycleMode::Cycles;
        } else if (mode == "T" || mode == "t") {
            m_cycleMode = TtiCycleMode::Seconds;
        } else if (!mode.empty()) {
            Warn(TtiProblem::CycleTime,
                 "Unbekannte Zyklusart " + Quoted(mode) + "; es bleibt bei der bisherigen.");
        }
        m_cycleTime = int(*value);
        // The cycle time holds for the current subpage and every one after it.
        m_pendingSubpage.cycleTime = m_cycleTime;
        m_pendingSubpage.cycleMode = m_cycleMode;
        if (m_page != nullptr && !m_skipping) {
            m_page->subpages.back().cycleTime = m_cycleTime;
            m_page->subpages.back().cycleMode = m_cycleMode;
        }
    }

    /// SC, PS and RE before the first PN line are kept for the first subpage.
    TtiSubpage* Target()
    {
        if (m_page == nullptr && !m_skipping) {
            return &m_pendingSubpage;
        }
        return Current();
    }

    void Subcode(std::string_view arg)
    {
        const auto value = ParseNumber(arg, 16, 4);
        if (!value || (*value & ~0x3F7Fu) != 0) {
            Warn(TtiProblem::Subcode, "Ungültiger Subcode " + Quoted(arg) + "; Zeile übersprungen.");
            return;
        }
        if (TtiSubpage* sub = Target()) {
            sub->subcode = static_cast<std::uint16_t>(*value);
            if (sub == &m_pendingSubpage) {
                m_pendingSubcode = true;
            }
        }
    }

    void PageStatus(std::string_view arg)
    {
        const auto value = ParseNumber(arg, 16, 4);
        if (!value) {
            Warn(TtiProblem::PageStatus, "Ungültiger Seitenstatus " + Quoted(arg) + "; Zeile übersprungen.");
            return;
        }
        if (TtiSubpage* sub = Target()) {
            sub->pageStatus = static_cast<std::uint16_t>(*value);
        }
    }

    void Region(std::string_view arg)
    {
        auto value = ParseNumber(arg, 10, 2);
        if (!value) {
            value = ParseNumber(arg, 16, 1);
        }
        if (!value || *value > 15) {
            Warn(TtiProblem::Region, "Ungültige Region " + Quoted(arg) + "; Zeile übersprungen.");
            return;
        }
        if (TtiSubpage* sub = Target()) {
            sub->region = int(*value);
        }
    }

    void OutputLine(std::string_view arg)
    {
        const auto row = ParseNumber(UpTo(arg, ','), 10, 2);
        if (!row || *row >= unsigned(tti::RowCount)) {
            Warn(TtiProblem::RowNumber,
                 "Ungültige Zeilennummer in " + Quoted("OL," + std::string(arg)) + "; Zeile übersprungen.");
            return;
        }
        TtiSubpage* sub = Current();
        if (sub == nullptr) {
            return;
        }
        m_rowsGiven = true;
        TtiRowBytes bytes;
        bytes.fill(0x20);
        const std::string_view text = After(arg, ',');
        std::size_t column = 0;
        bool tooLong = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            auto code = static_cast<std::uint8_t>(text[i]);
            if (code == Esc) {
                if (i + 1 == text.size()) {
                    Warn(TtiProblem::Escape, "ESC am Zeilenende ohne Zeichen danach; ignoriert.");
                    break;
                }
                code = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[++i]) - 0x40);
            }
            code &= 0x7F;
            if (column == bytes.size()) {
                tooLong = true;
                break;
            }
            bytes[column++] = code;
        }
        if (tooLong) {
            Warn(TtiProblem::LongRow, "Seitenzeile " + std::to_string(*row) +
                                          " hat mehr als 40 Zeichen; der Rest wird ignoriert.");
        }
        if (*row < unsigned(tti::DisplayRowCount)) {
            sub->rows[*row] = bytes;
            sub->rowPresent.set(*row);
        } else {
            sub->extraRows.push_back({int(*row), bytes});
        }
    }

    void Links(std::string_view arg)
    {
        TtiSubpage* sub = Current();
        if (sub == nullptr) {
            return;
        }
        m_rowsGiven = true;
        sub->hasLinks = true;
        std::string_view rest = arg;
        for (int i = 0; i < tti::LinkCount; ++i) {
            const std::string_view field = UpTo(rest, ',');
            const auto value = ParseNumber(field, 16, 3);
            std::uint16_t link = tti::NoPage;
            if (value && *value >= 0x100 && *value <= 0x8FF) {
                link = static_cast<std::uint16_t>(*value);
            } else if (!value && !Trim(field).empty()) {
                Warn(TtiProblem::Link,
                     "Ungültige Verweisseite " + Quoted(field) + " in der FL-Zeile; ersetzt durch 8FF.");
            }
            sub->links[std::size_t(i)] = link;
            rest = After(rest, ',');
        }
    }

    std::string m_name;
    int m_line = 0;
    TtiReadResult m_result;
    TtiPage* m_page = nullptr;     ///< points into m_result.pages; only push_back moves them
    bool m_skipping = false;       ///< inside the block of a damaged or skipped PN line
    std::bitset<0x800> m_overfull; ///< pages whose subpages beyond the limit were reported
    bool m_rowsGiven = false;      ///< the current page had OL or FL lines since its PN
    TtiPage m_pending;             ///< DE, DS, SP for the next page
    TtiSubpage m_pendingSubpage;
    bool m_pendingSubcode = false;
    int m_cycleTime = tti::DefaultCycleTime;
    TtiCycleMode m_cycleMode = TtiCycleMode::Seconds;
};

TtiReadResult Failure(std::string error)
{
    TtiReadResult result;
    result.error = std::move(error);
    return result;
}

} // namespace

std::string TtiMessage::Text() const
{
    std::string out = file;
    if (line > 0) {
        out += out.empty() ? "Zeile " : ", Zeile ";
        out += std::to_string(line);
    }
    return out.empty() ? text : out + ": " + text;
}

TtiReadResult ParseTti(std::string_view content, std::string_view name)
{
    return Parser(name).Run(content);
}

TtiReadResult ReadTtiFile(const std::filesystem::path& file)
{
    const std::string name = file.filename().string();
    std::error_code ec;
    const auto status = fs::status(file, ec);
    if (!fs::exists(status)) {
        return Failure("Datei " + file.string() + " nicht gefunden.");
    }
    if (!fs::is_regular_file(status)) {
        return Failure("Kann Datei " + file.string() + " nicht lesen.");
    }
    const auto size = fs::file_size(file, ec);
    if (ec) {
        return Failure("Kann Datei " + file.string() + " nicht lesen.");
    }
    if (size > tti::MaxFileSize) {
        return Failure("Die Datei " + file.string() + " ist zu groß für TTI-Seiten.");
    }
    std::ifstream in(file, std::ios::binary);
    std::string content(static_cast<std::size_t>(size), '\0');
    if (!in || !in.read(content.data(), std::streamsize(content.size()))) {
        return Failure("Kann Datei " + file.string() + " nicht lesen.");
    }
    return ParseTti(content, name);
}

TtiReadResult ReadTtiFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return Failure("Ordner " + folder.string() + " nicht gefunden.");
    }
    std::vector<fs::path> files;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return Failure("Kann Ordner " + folder.string() + " nicht lesen.");
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](char ch) { return char(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch); });
        std::error_code typeError;
        if ((ext == ".tti" || ext == ".ttix") && !it->is_directory(typeError)) {
            files.push_back(it->path());
        }
    }
    if (ec) {
        return Failure("Kann Ordner " + folder.string() + " nicht lesen.");
    }
    std::sort(files.begin(), files.end());

    TtiReadResult result;
    for (const auto& file : files) {
        MergeTtiResult(result, ReadTtiFile(file));
    }
    if (result.pages.empty()) {
        result.error = "Der Ordner " + folder.string() + " enthält keine TTI-Seiten.";
    }
    return result;
}

void MergeTtiResult(TtiReadResult& into, TtiReadResult part)
{
    for (auto& w : part.warnings) {
        if (into.warnings.size() < tti::MaxWarnings) {
            into.warnings.push_back(std::move(w));
        }
    }
    if (!part.Ok()) {
        into.warnings.push_back({{}, 0, part.error + " Datei übersprungen.", TtiProblem::FileSkipped});
        return;
    }
    for (auto& page : part.pages) {
        const auto later =
            std::lower_bound(into.pages.begin(), into.pages.end(), page.number,
                             [](const TtiPage& p, std::uint16_t number) { return p.number < number; });
        if (later != into.pages.end() && later->number == page.number) {
            into.warnings.push_back({page.fileName, 0,
                                     "Seite " + TtiPageNumberText(page.number) + " gibt es schon in " +
                                         later->fileName + "; übersprungen.",
                                     TtiProblem::DuplicatePage});
            continue;
        }
        into.pages.insert(later, std::move(page));
    }
}

std::vector<std::string> TtiMessageLines(const std::vector<TtiMessage>& messages)
{
    struct Group
    {
        const TtiMessage* first;
        int more;
    };
    std::vector<Group> groups;
    for (const TtiMessage& m : messages) {
        const auto same = [&m](const Group& g) {
            return !m.file.empty() && g.first->file == m.file && g.first->problem == m.problem;
        };
        const auto it = std::find_if(groups.begin(), groups.end(), same);
        if (it == groups.end()) {
            groups.push_back({&m, 0});
        } else {
            ++it->more;
        }
    }
    std::vector<std::string> lines;
    lines.reserve(groups.size());
    for (const Group& g : groups) {
        std::string line = g.first->Text();
        if (g.more == 1) {
            line += " (und eine weitere Stelle)";
        } else if (g.more > 1) {
            line += " (und " + std::to_string(g.more) + " weitere Stellen)";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

TtiReadResult ReadTtiPath(const std::filesystem::path& path)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return ReadTtiFolder(path);
    }
    return ReadTtiFile(path);
}

} // namespace quav
