#include "QtMessagePresenter.h"

#include "FittedMessageBox.h"

#include <QApplication>

namespace zuvemo::ui {

void QtMessagePresenter::show(const std::string& title, const std::string& text)
{
    FittedMessageBox::run(
        QString::fromStdString(title), QString::fromStdString(text), QApplication::activeWindow());
}

bool QtMessagePresenter::ask(const std::string& title, const std::string& text)
{
    return FittedMessageBox::ask(
        QString::fromStdString(title), QString::fromStdString(text), QApplication::activeWindow());
}

} // namespace zuvemo::ui
