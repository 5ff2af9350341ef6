#include "shell/disabledform.h"

#include "ui_disabledform.h"

#include <QGuiApplication>
#include <QScreen>

namespace mw {

TDisabledForm::TDisabledForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_ui(std::make_unique<Ui::TDisabledForm>())
{
    m_ui->setupUi(this);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

TDisabledForm::~TDisabledForm() = default;

} // namespace mw
