#include "QtMessagePresenter.h"

#include <QApplication>
#include <QMessageBox>

namespace zuvemo::ui {

void QtMessagePresenter::show(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
        QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace zuvemo::ui
