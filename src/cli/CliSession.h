#pragma once

#include "core/Mdl_Start.h"

#include <filesystem>
#include <memory>

namespace zuvemo::cli {

// The program folder opened as the programs open it: configuration file, database file,
// connection; each failure is reported with the programs' own message.
class CliSession
{
public:
    explicit CliSession(const std::filesystem::path& home);
    // False after the failure message has been shown.
    bool open();
    core::Mdl_Start& module() { return m_module; }

private:
    core::Mdl_Start m_module;
};

// Shows message boxes as one line of text on standard error.
void installCliPresenter();

} // namespace zuvemo::cli
