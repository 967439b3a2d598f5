#include "LoginModel.h"

#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/PasswordHash.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"

#include <system_error>

namespace zuvemo::ui {

namespace {

std::string trimmed(const std::string& text)
{
    return core::Utf8::trim(core::TrimOrSpace(std::string_view(text)));
}

std::string trimmed(const core::Value& value)
{
    return core::Utf8::trim(core::TrimOrSpace(value));
}

} // namespace

LoginModel::LoginModel(core::Mdl_Start& module)
    : m_module(module)
{
}

bool LoginModel::Form_Load(bool anotherCopyRunning)
{
    auto& m = m_module;
    if (anotherCopyRunning) {
        core::ShowMessage(kAlreadyOpen);
        return false;
    }
    if (!m.ReadConfigFile()) {
        core::ShowMessage(core::Mdl_Start::FileMissingMessage(m.ConfigFilePath));
        return false;
    }
    std::error_code ec;
    if (m.DatabasePath.empty() || !std::filesystem::is_regular_file(m.DatabasePath, ec)) {
        core::ShowMessage(core::Mdl_Start::FileMissingMessage(m.DatabasePath));
        return false;
    }
    if (!m.OpenDatabase()) {
        core::ShowMessage(core::Mdl_Start::OpenFailureMessage(m.DatabasePath));
        return false;
    }
    try {
        m.SqlBuffer = " SELECT * FROM Table_User";
        m.SqlBuffer += " WHERE UserKeyA=1";
        bool found = !m.OpenShared().isEof();
        m.SharedRecordset.reset();
        if (!found) {
            core::ShowMessage(kCannotStart);
            m.CloseDatabase();
            return false;
        }
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        m.CloseDatabase();
        return false;
    }
    return true;
}

LoginModel::Result LoginModel::Command1_Click(const std::string& userText, const std::string& passwordText)
{
    auto& m = m_module;
    const std::string u = trimmed(userText);
    if (u.empty()) {
        core::ShowMessage(kNoUserName);
        return Result::Stay;
    }
    try {
        m.SqlBuffer = " SELECT * FROM Table_User";
        m.SqlBuffer += " WHERE UserKeyA=1";
        auto& rs = m.OpenShared();
        if (rs.isEof()) {
            m.SharedRecordset.reset();
            core::ShowMessage(kCannotStart);
            m.CloseDatabase();
            return Result::EndProgram;
        }
        if (u != trimmed(rs.field("UsernameA"))) {
            m.SharedRecordset.reset();
            core::ShowMessage(kWrongUser);
            return Result::Stay;
        }
        const std::string typed = trimmed(passwordText);
        const std::string stored = trimmed(rs.field("PassWordA"));
        m.SharedRecordset.reset();
        const bool hashed = core::PasswordHash::isHash(stored);
        if (hashed ? !core::PasswordHash::verify(stored, typed) : typed != stored) {
            core::ShowMessage(kWrongPassword);
            return Result::Stay;
        }
        if (!hashed) {
            // A password stored in clear by an earlier version is replaced by its hash.
            if (auto h = core::PasswordHash::hash(typed)) {
                m.SqlBuffer = " UPDATE Table_User SET PassWordA='" + core::SqlText(*h) + "' WHERE UserKeyA=1";
                m.ExecuteShared();
            }
        }
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        m.CloseDatabase();
        return Result::EndProgram;
    }
    m.CloseDatabase();
    return Result::SignedIn;
}

void LoginModel::Form_Unload()
{
    m_module.CloseDatabase();
}

} // namespace zuvemo::ui
