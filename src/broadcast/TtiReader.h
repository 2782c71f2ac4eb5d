#pragma once

#include "broadcast/TtiPage.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quav {

/// What a message is about. Messages of one kind in one file are told to the user as one.
enum class TtiProblem
{
    Other,
    LineBeforePage, ///< a line before the first PN line
    PageNumber,     ///< a damaged PN line: its block is skipped
    CycleTime,
    Subcode,
    PageStatus, ///< a damaged PS line
    Region,
    RowNumber,
    Escape,
    LongRow, ///< an OL line with more than 40 characters
    Link,
    DuplicatePage, ///< a page number that an earlier file already had
    FileSkipped,
    TooManySubpages, ///< more subpages of a page than a carousel addresses
};

/// A line of a TTI file that could not be used as it stands, in German for the user.
struct TtiMessage
{
    std::string file; ///< file name, empty for text parsed from memory
    int line = 0;     ///< 1-based; 0 when the message is about the whole file
    std::string text;
    TtiProblem problem = TtiProblem::Other;

    /// "seite.tti, Zeile 12: ..." or just the text when there is neither file nor line.
    std::string Text() const;
};

/// What reading TTI pages gave: the pages, sorted by page number, and what was skipped.
/// `error` holds a German message when nothing usable came out; the pages are then empty.
struct TtiReadResult
{
    std::vector<TtiPage> pages;
    std::vector<TtiMessage> warnings;
    std::string error;

    bool Ok() const { return error.empty(); }
};

namespace tti {
/// Files larger than this are refused: TTI pages are a few kilobytes each.
inline constexpr std::uintmax_t MaxFileSize = 32u * 1024u * 1024u;
/// At most this many warnings are kept; a last one says that more were left out.
inline constexpr std::size_t MaxWarnings = 200;
} // namespace tti

/// Parses the text of a TTI file. Understands DE, DS, SP, CT, PN, SC, PS, RE, OL and FL;
/// other lines are skipped without a word, damaged ones with a warning. Lines end in CR LF
/// or LF (CR alone when the text has no LF). OL text may carry control codes as ESC followed by the code plus
/// 0x40, or as bytes with bit 7 set. `name` is the file name used in messages. Never throws.
TtiReadResult ParseTti(std::string_view content, std::string_view name = {});

/// Reads one TTI file. Never throws.
TtiReadResult ReadTtiFile(const std::filesystem::path& file);

/// Reads every *.tti and *.ttix file of a folder (not its subfolders), in name order. A
/// file that cannot be read or holds no page is skipped with a warning; a page number that
/// an earlier file already had is skipped too. Never throws.
TtiReadResult ReadTtiFolder(const std::filesystem::path& folder);

/// Adds the pages and warnings of `part` to `into`, keeping the pages sorted. A page number
/// that `into` already has is skipped with a warning; a failed `part` becomes a warning.
void MergeTtiResult(TtiReadResult& into, TtiReadResult part);

/// The messages as lines for the user, one per file and kind of problem: the first message
/// of each kind, followed by how many more places in the file had the same problem.
/// Messages without a file name stand alone. In the order the problems first came.
std::vector<std::string> TtiMessageLines(const std::vector<TtiMessage>& messages);

/// ReadTtiFolder for a folder, ReadTtiFile for anything else.
TtiReadResult ReadTtiPath(const std::filesystem::path& path);

} // namespace quav
