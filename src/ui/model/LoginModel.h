#pragma once

#include <string>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::ui {

// Frm_zuvemo_pass without widgets: the start checks and the sign-in comparison.
class LoginModel
{
public:
    static constexpr const char* kAlreadyOpen = "既に画面が開かれています。無視します。";
    static constexpr const char* kCannotStart = "起動できません。";
    static constexpr const char* kNoUserName = "ユーザー名が未入力です。";
    static constexpr const char* kWrongUser = "ユーザー名が違います。";
    static constexpr const char* kWrongPassword = "パスワードが違います。";

    explicit LoginModel(core::Mdl_Start& module);

    // The start checks; false after the failure message: the program ends.
    bool Form_Load(bool anotherCopyRunning);

    enum class Result { Stay, SignedIn, EndProgram };
    // Compares the entries with the user row. On success the connection is closed.
    Result Command1_Click(const std::string& user, const std::string& password);

    void Form_Unload();

private:
    core::Mdl_Start& m_module;
};

} // namespace zuvemo::ui
