#include "shell/loggedinusersform.h"

#include "ui_loggedinusersform.h"

#include "access/reqpicker.h"

namespace mw {

TLoggedInUsersForm::TLoggedInUsersForm(TMerrowindData& store, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TLoggedInUsersForm>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->Memo1->setPlainText(loggedInUserLines(store).join(QLatin1Char('\n')));
    connect(m_ui->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

TLoggedInUsersForm::~TLoggedInUsersForm() = default;

} // namespace mw
