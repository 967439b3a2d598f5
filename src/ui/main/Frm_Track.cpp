#include "Frm_Track.h"

#include "GridView.h"
#include "Twips.h"
#include "UiStyle.h"

#include <QLabel>
#include <QPushButton>

namespace zuvemo::ui {

Frm_Track::Frm_Track(TrackDialogModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QString::fromStdString(model.caption));
    setObjectName(QStringLiteral("Frm_Track"));
    setModal(true);
    setFixedSize(px(11400), px(6900));
    UiStyle::setBackground(this, GridColor::kLightOrange);

    m_heading
        = new QLabel(QString::fromStdString(model.message.empty() ? model.heading : model.message), this);
    m_heading->setObjectName(QStringLiteral("Heading"));
    m_heading->setFont(UiStyle::proportional(11));
    m_heading->setGeometry(twipsRect(180, 120, 11040, 360));
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_grid = new GridView(this);
    m_grid->setObjectName(QStringLiteral("TrackGrid"));
    m_grid->setGeometry(twipsRect(180, 540, 11040, 5160));
    m_grid->setEmptyAreaColor(GridColor::kLightOrange);
    m_grid->setFillWidth(true);
    m_grid->show(model.grid);

    auto swatch = [](std::uint32_t colour, const char* text) {
        return QStringLiteral("<span style=\"background-color:%1\">&nbsp;%2&nbsp;</span>")
            .arg(UiStyle::color(colour).name(), QString::fromUtf8(text));
    };
    m_note = new QLabel(QStringLiteral("的中: 買は上昇、売は下落 (変化なしはどちらでもない)。<br>"
                                       "95%区間が全日の区間と重なるシグナルは偶然の範囲です。<br>")
            + swatch(TrackDialogModel::kHigherColour, "基準より高い") + QStringLiteral(" ")
            + swatch(TrackDialogModel::kLowerColour, "基準より低い") + QStringLiteral(" ")
            + swatch(GridColor::kWhite, "偶然の範囲") + QStringLiteral(" ")
            + swatch(GridColor::kLightOrange, "基準 (全日)"),
        this);
    m_note->setObjectName(QStringLiteral("Note"));
    m_note->setTextFormat(Qt::RichText);
    m_note->setFont(UiStyle::proportional(9));
    m_note->setWordWrap(true);
    m_note->setGeometry(twipsRect(180, 5760, 9000, 900));

    m_close = new QPushButton(QStringLiteral("閉じる"), this);
    m_close->setObjectName(QStringLiteral("Close"));
    UiStyle::setButtonFace(m_close, GridColor::kYellow);
    m_close->setFont(UiStyle::proportional(12));
    m_close->setGeometry(twipsRect(9480, 5850, 1740, 480));
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace zuvemo::ui
