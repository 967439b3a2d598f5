#pragma once

#include <array>
#include <string>

namespace zuvemo::core {
class Clock;
class Mdl_Start;
} // namespace zuvemo::core

namespace zuvemo::ui {

// Frm_Start without widgets: the launcher's start sequence and the first-use registration.
class LauncherModel
{
public:
    static constexpr const char* kAlreadyOpen = "既に画面が開かれています。無視します。";
    static constexpr const char* kNoUserName = "ユーザー名が入力されていません。";
    static constexpr const char* kNoPassword = "パスワードが入力されていません。";
    static constexpr const char* kPasswordsDiffer = "パスワードが違います。";
    static constexpr const char* kContact = "提供元にお問い合わせください";

    LauncherModel(core::Mdl_Start& module, const core::Clock& clock);

    enum class Start { ShowForm, StartMain, End };
    Start Form_Load(bool anotherCopyRunning);

    // "実行": true when the user row is saved; the caller then starts the main program.
    bool Command1_Click();
    // "キャンセル".
    void Command2_Click();

    std::array<std::string, 3> text1;

private:
    core::Mdl_Start& m_module;
    const core::Clock& m_clock;
};

} // namespace zuvemo::ui
