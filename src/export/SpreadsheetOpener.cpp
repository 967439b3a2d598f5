#include "SpreadsheetOpener.h"

#include "core/Platform.h"

namespace zuvemo::exporting {

bool DesktopOpener::open(const std::filesystem::path& workbook)
{
    return core::Platform::openWithDefaultApplication(workbook);
}

} // namespace zuvemo::exporting
