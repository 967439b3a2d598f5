#include <QApplication>

#include "Frm_zuvemo.h"
#include "QtMessagePresenter.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"

int main(int argc, char** argv)
{
    using namespace zuvemo;
    QApplication app(argc, argv);
    ui::UiStyle::installFontSubstitutes();
    core::SetMessagePresenter(std::make_shared<ui::QtMessagePresenter>());

    core::Mdl_Start module(core::Platform::executableFolder());
    if (!module.ReadConfigFile()) {
        core::ShowMessage(core::Mdl_Start::FileMissingMessage(module.ConfigFilePath));
        return 1;
    }
    std::error_code ec;
    if (module.DatabasePath.empty() || !std::filesystem::is_regular_file(module.DatabasePath, ec)) {
        core::ShowMessage(core::Mdl_Start::FileMissingMessage(module.DatabasePath));
        return 1;
    }
    core::Clock clock;
    marketdata::CurlDownloader downloader;
    exporting::DesktopOpener opener;
    ui::Frm_zuvemo window(module, clock, downloader, opener);
    if (!window.load()) {
        return 1;
    }
    window.show();
    return app.exec();
}
