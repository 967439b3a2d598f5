#include "AnalysisCommands.h"
#include "CliArguments.h"
#include "CliSession.h"
#include "DailyCommand.h"
#include "ExportCommand.h"
#include "FindCommand.h"
#include "InitCommand.h"
#include "RefreshCommand.h"
#include "ScheduleCommand.h"
#include "SourceCommand.h"
#include "TrackCommand.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "marketdata/jquants/KeyringScope.h"
#ifdef ZUVEMO_HAVE_KEYRING
#include "keyring/DesktopKeyring.h"
#endif

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage
    = "使い方: zuvemo-cli [--home DIR] コマンド [オプション]\n"
      "コマンド:\n"
      "  init --daily-url URL --history-url URL [--suffix S] [--trading-date YYYYMMDD]\n"
      "       [--bounds LOWER UPPER] [--force]\n"
      "  init --source jquants [--api-url URL] [--plan free|light|standard|premium] [--days N]\n"
      "  source | source set csv|jquants [--api-url URL] [--plan P] [--days N] | source set-key\n"
      "  refresh [--timeout SECONDS] [--accept-smaller]\n"
      "  analyse FILE [--chart]\n"
      "  screen [--market M] [--industry I] [--jobs N] [--timeout SECONDS]\n"
      "  track [--market M] [--industry I] [--horizons 1,5,20] [--by market|industry] [--json]\n"
      "        [find の条件 [--every-day] [--entry close|next-open] [--by year] "
      "[--dividends|--no-dividends]\n"
      "         [--simulate [--hold N] [--slots N] [--cost PCT] [--capital YEN] [--lot N] [--tax]]]\n"
      "        [--csv FILE]\n"
      "        （条件の --market には 東証一部、マザーズ など以前の市場の名前も使えます）\n"
      "  track find の条件 --vary NAME=LIST [--vary …] [--objective sharpe|return|excess]\n"
      "        [--walk-forward K [--rolling]] [--json] [--csv FILE]   （NAME: dev25.max、rsi.min、horizon "
      "など）\n"
      "  track --history [--json]\n"
      "  export CODE [--out PATH] [--open] [--timeout SECONDS]\n"
      "  find [--market M] [--industry I] [--signal 買|売] [--confirmed] [--per MIN:MAX] [--fwd-per "
      "MIN:MAX]\n"
      "       [--pbr MIN:MAX] [--roe MIN:MAX] [--yield MIN:MAX] [--cap MIN:MAX] [--sort KEY[:desc]]\n"
      "       [--limit N] [--json] [--csv FILE]\n"
      "  daily [--market M] [--industry I] [--jobs N] [--timeout SECONDS] [--json] [--notify]\n"
      "  schedule install [--at HH:MM] | schedule remove | schedule status\n"
      "--home を省くと、プログラムのフォルダ（インストールしたものでは $XDG_DATA_HOME/zuvemo）を使います。\n";

} // namespace

int main(int argc, char** argv)
{
    using namespace zuvemo;
    // Before any file is opened: one opened on a closed descriptor 1 or 2 would receive the report.
    core::Platform::ensureStandardStreams();
    std::vector<std::string> words(argv + 1, argv + argc);
    std::filesystem::path home;
    try {
        if (words.size() >= 2 && words[0] == "--home") {
            home = core::Platform::fromUtf8(words[1]);
            words.erase(words.begin(), words.begin() + 2);
        }
        if (words.empty()) {
            throw cli::UsageError("コマンドを指定してください（一覧は --help）。");
        }
        if (words[0] == "--help" || words[0] == "-h") {
            std::cout << kUsage;
            return 0;
        }
        // The key is the user's, not a folder's: storing it makes no folder and no database,
        // so an init afterwards finds none in its way.
        const bool keyOnly
            = words[0] == "source" && std::find(words.begin(), words.end(), "set-key") != words.end();
        if (home.empty() && !keyOnly) {
            // init makes the folder's files itself.
            home = core::ProgramFolder::prepare(words[0] != "init");
        }
        std::string command = words[0];
        cli::CliArguments args(std::vector<std::string>(words.begin() + 1, words.end()));
        cli::installCliPresenter();
        core::Platform::installStopSignals(cli::stopRequested());
        // Before any key is read: a core file would hold it.
        core::Platform::disableCoreDumps();
#ifdef ZUVEMO_HAVE_KEYRING
        // The key the windows stored: the daily timer reads it from the same keyring. The scope
        // ends the keyring, and the Qt application it may have made, before main returns.
        marketdata::KeyringScope keyringScope(std::make_shared<keyring::DesktopKeyring>());
#endif
        if (command == "init") {
            return cli::runInit(home, args);
        }
        if (command == "refresh") {
            return cli::runRefresh(home, args);
        }
        if (command == "analyse") {
            return cli::runAnalyse(home, args);
        }
        if (command == "screen") {
            return cli::runScreen(home, args);
        }
        if (command == "track") {
            return cli::runTrack(home, args);
        }
        if (command == "find") {
            return cli::runFind(home, args);
        }
        if (command == "export") {
            return cli::runExport(home, args);
        }
        if (command == "daily") {
            return cli::runDaily(home, args);
        }
        if (command == "source") {
            return cli::runSource(home, args);
        }
        if (command == "schedule") {
            return cli::runSchedule(home, args);
        }
        throw cli::UsageError("不明なコマンドです: " + command + "（一覧は --help）");
    } catch (const cli::UsageError& e) {
        std::cerr << "zuvemo-cli: " << e.what() << std::endl;
        return 2;
    } catch (const core::DatabaseError& e) {
        cli::printDatabaseError(e);
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "zuvemo-cli: " << e.what() << std::endl;
        return 1;
    }
}
