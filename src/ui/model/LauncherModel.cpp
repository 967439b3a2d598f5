#include "LauncherModel.h"

#include "core/Clock.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/PasswordHash.h"
#include "core/Platform.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"

#include <system_error>

namespace zuvemo::ui {

namespace {

std::string withContact(const std::string& first)
{
    return first + "\r\n" + LauncherModel::kContact;
}

std::string trimmed(const std::string& text)
{
    return core::Utf8::trim(core::TrimOrSpace(std::string_view(text)));
}

} // namespace

LauncherModel::LauncherModel(core::Mdl_Start& module, const core::Clock& clock)
    : m_module(module)
    , m_clock(clock)
{
}

LauncherModel::Start LauncherModel::Form_Load(bool anotherCopyRunning)
{
    auto& m = m_module;
    if (anotherCopyRunning) {
        core::ShowMessage(kAlreadyOpen);
        return Start::End;
    }
    if (!m.ReadConfigFile()) {
        core::ShowMessage(
            withContact("ファイル(" + core::Platform::toUtf8(m.ConfigFilePath) + ")が見当たりません。"));
        return Start::End;
    }
    std::error_code ec;
    if (m.DatabasePath.empty() || !std::filesystem::is_regular_file(m.DatabasePath, ec)) {
        core::ShowMessage(
            withContact("ファイル(" + core::Platform::toUtf8(m.DatabasePath) + ")が見当たりません。"));
        return Start::End;
    }
    if (!m.OpenDatabase()) {
        core::ShowMessage(withContact(
            "データベースファイル(" + core::Platform::toUtf8(m.DatabasePath) + ")が接続を拒否している。"));
        return Start::End;
    }
    text1 = {"", "", ""};
    try {
        m.SqlBuffer = " SELECT * FROM Table_User";
        int rows = m.OpenShared().recordCount();
        m.SharedRecordset.reset();
        if (rows > 0) {
            m.CloseDatabase();
            return Start::StartMain;
        }
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        m.CloseDatabase();
        return Start::End;
    }
    return Start::ShowForm;
}

bool LauncherModel::Command1_Click()
{
    auto& m = m_module;
    if (core::Utf8::trim(text1[0]).empty()) {
        core::ShowMessage(kNoUserName);
        return false;
    }
    if (trimmed(text1[1]).empty()) {
        core::ShowMessage(kNoPassword);
        return false;
    }
    if (text1[1] != text1[2]) {
        core::ShowMessage(kPasswordsDiffer);
        return false;
    }
    const std::string today = core::Clock::eightDigits(m_clock.today());
    const std::string user = trimmed(text1[0]);
    // Never stored in clear: a salted slow hash of the trimmed text.
    auto hashed = core::PasswordHash::hash(trimmed(text1[1]));
    if (!hashed) {
        core::SetErr(-1, "the password hash cannot be made");
        core::ShowMessage("");
        return false;
    }
    try {
        m.SqlBuffer = " SELECT * FROM Table_User";
        bool exists = !m.OpenShared().isEof();
        m.SharedRecordset.reset();
        if (!exists) {
            m.SqlBuffer = " INSERT INTO Table_User (UserKeyA, UsernameA, PassWordA, StartdateA, UpdatedateA) "
                          "VALUES (1, '"
                + core::SqlText(user) + "', '" + core::SqlText(*hashed) + "', '" + today + "', ' ')";
        } else {
            m.SqlBuffer = " UPDATE Table_User SET";
            m.SqlBuffer += " UsernameA='" + core::SqlText(user) + "',";
            m.SqlBuffer += " PassWordA='" + core::SqlText(*hashed) + "'";
            m.SqlBuffer += " WHERE UserKeyA=1";
        }
        m.ExecuteShared();
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        return false;
    }
    m.CloseDatabase();
    return true;
}

void LauncherModel::Command2_Click()
{
    m_module.CloseDatabase();
}

} // namespace zuvemo::ui
