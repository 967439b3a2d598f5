#pragma once

#include "core/MessagePresenter.h"

namespace zuvemo::ui {

// ShowMessage as a modal message box with an OK button and no icon; AskMessage with はい and いいえ.
class QtMessagePresenter : public core::MessagePresenter
{
public:
    void show(const std::string& title, const std::string& text) override;
    bool ask(const std::string& title, const std::string& text) override;
};

} // namespace zuvemo::ui
