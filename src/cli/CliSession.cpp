#include "CliSession.h"

#include "CliArguments.h"
#include "core/CommandLock.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/ApiKey.h"
#include "marketdata/jquants/StoreDownloader.h"

#include <iostream>

namespace zuvemo::cli {

namespace {

class CliPresenter : public core::MessagePresenter
{
public:
    void show(const std::string&, const std::string& text) override
    {
        std::string line;
        for (char c : text) {
            if (c == '\r') {
                continue;
            }
            line.push_back(c == '\n' || c == '\t' ? ' ' : c);
        }
        std::cerr << line << std::endl;
    }
};

} // namespace

void printDatabaseError(const core::DatabaseError& e)
{
    std::cerr << e.userText() << "\n  (" << e.detail() << ")" << std::endl;
}

void installCliPresenter()
{
    core::SetMessagePresenter(std::make_shared<CliPresenter>());
}

std::atomic<bool>& stopRequested()
{
    static std::atomic<bool> flag{false};
    return flag;
}

int stoppedExitStatus()
{
    return stopRequested().load() ? 128 + core::Platform::stopSignal() : 0;
}

long takeTimeoutMs(CliArguments& args, long defaultMs)
{
    auto text = args.takeOption("--timeout");
    if (!text) {
        return defaultMs;
    }
    return static_cast<long>(parseInt(*text, "--timeout", 1, 86400)) * 1000;
}

CliSession::CliSession(const std::filesystem::path& home)
    : m_module(home)
{
}

bool CliSession::open()
{
    if (!m_module.ReadConfigFile()) {
        core::ShowMessage(core::Mdl_Start::FileMissingMessage(m_module.ConfigFilePath));
        return false;
    }
    std::error_code ec;
    if (m_module.DatabasePath.empty() || !std::filesystem::is_regular_file(m_module.DatabasePath, ec)) {
        core::ShowMessage(core::Mdl_Start::FileMissingMessage(m_module.DatabasePath));
        return false;
    }
    if (!m_module.OpenDatabase()) {
        core::ShowMessage(core::Mdl_Start::OpenFailureMessage(m_module.DatabasePath));
        return false;
    }
    return true;
}

std::unique_ptr<marketdata::Downloader> CliSession::historyDownloader(
    const marketdata::CurlDownloader::Options& options)
{
    const auto source = marketdata::DataSource::read(*m_module.SharedConnection);
    if (source.isJQuants()) {
        // Asked when first read: a daily run makes its downloader before the refresh loads the list.
        auto* connection = m_module.SharedConnection.get();
        return std::make_unique<marketdata::StoreDownloader>(m_module.programFolder(), source.days,
            [connection] { return marketdata::UrlSettings::listDate(*connection); });
    }
    return std::make_unique<marketdata::CurlDownloader>(options);
}

marketdata::JQuantsClient::Options CliSession::jquantsOptions(long timeoutMs)
{
    marketdata::JQuantsClient::Options options;
    options.cancel = &stopRequested();
    if (timeoutMs > 0) {
        options.totalTimeoutMs = timeoutMs;
    }
    return options;
}

bool writeReportFile(const std::string& path, const std::string& bytes)
{
    const auto file = core::Platform::fromUtf8(path);
    std::string reason;
    const auto target = core::Platform::replaceableFile(file, &reason);
    if (target && core::Connection::isDatabaseFile(*target)) {
        reason = "データベースのファイルです。別の名前を指定してください";
    } else if (target && core::Platform::writeWholeFile(*target, bytes, &reason)) {
        return true;
    }
    std::cerr << "ファイル(" << path << ")を書き込めません。（" << reason << "）" << std::endl;
    return false;
}

void warnOfKeyFile()
{
    marketdata::ApiKey::Place place = marketdata::ApiKey::Place::None;
    if (marketdata::ApiKey::read(&place) && place == marketdata::ApiKey::Place::File) {
        if (const auto warning = marketdata::ApiKey::fileWarning(); !warning.empty()) {
            std::cerr << "zuvemo-cli: " << warning << std::endl;
        }
    }
}

bool CliSession::lockCommands()
{
    std::string message;
    m_commandLock = core::CommandLock::acquire(m_module.programFolder(), &message);
    if (!m_commandLock) {
        core::ShowMessage(message);
        return false;
    }
    return true;
}

} // namespace zuvemo::cli
