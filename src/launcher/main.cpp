#include "Frm_Start.h"
#include "QtMessagePresenter.h"
#include "QtTranslations.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/SingleInstance.h"

#include <QApplication>

namespace {

// The main program lies beside the launcher.
int startMain(const std::filesystem::path& folder)
{
    using namespace zuvemo;
#ifdef _WIN32
    const auto program = folder / "Pro_zuvemo.exe";
#else
    const auto program = folder / "Pro_zuvemo";
#endif
    if (!core::Platform::startProgram(program)) {
        core::ShowMessage("ファイル(" + core::Platform::toUtf8(program) + ")が見当たりません。\r\n"
            + ui::LauncherModel::kContact);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace zuvemo;
    // First of all: a core file of a window that has read the API key would hold it, and a file
    // opened on a closed standard descriptor would receive the program's output.
    core::Platform::disableCoreDumps();
    core::Platform::ensureStandardStreams();
    QApplication app(argc, argv);
    ui::UiStyle::installFontSubstitutes();
    ui::QtTranslations::install();
    core::SetMessagePresenter(std::make_shared<ui::QtMessagePresenter>());

    const auto home = core::ProgramFolder::prepare();
    core::SingleInstance instance("pro_melbat", home);
    const bool anotherCopy = !instance.acquire();
    // The main program lies beside the launcher, whichever folder holds the data.
    const auto folder = core::Platform::executableFolder();
    core::Mdl_Start module(home);
    core::Clock clock;
    ui::LauncherModel model(module, clock);
    switch (model.Form_Load(anotherCopy)) {
    case ui::LauncherModel::Start::End:
        return 1;
    case ui::LauncherModel::Start::StartMain:
        return startMain(folder);
    case ui::LauncherModel::Start::ShowForm:
        break;
    }
    int rc = 0;
    ui::Frm_Start form(model);
    form.onSaved = [&] {
        rc = startMain(folder);
        QApplication::exit(rc);
    };
    form.onCancelled = [] { QApplication::exit(0); };
    form.show();
    return app.exec();
}
