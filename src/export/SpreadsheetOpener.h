#pragma once

#include <filesystem>

namespace zuvemo::exporting {

// Hands a finished workbook to the user's spreadsheet application. Replaceable, so tests and
// the command-line tool open nothing.
class SpreadsheetOpener
{
public:
    virtual ~SpreadsheetOpener() = default;
    // False when no application could be started for the file.
    virtual bool open(const std::filesystem::path& workbook) = 0;
};

// The desktop's default handler for the file type.
class DesktopOpener : public SpreadsheetOpener
{
public:
    bool open(const std::filesystem::path& workbook) override;
};

// Opens nothing; reports success.
class NoOpener : public SpreadsheetOpener
{
public:
    bool open(const std::filesystem::path&) override { return true; }
};

} // namespace zuvemo::exporting
