#include "shell/logonform.h"

#include "ui_logonform.h"

#include "access/logon.h"
#include "datastore/merrowinddata.h"

namespace mw {

TLogonForm::TLogonForm(TMerrowindData& dataModule, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TLogonForm>())
    , m_data(dataModule)
{
    m_ui->setupUi(this);
    connect(m_ui->LoginB, &QPushButton::clicked, this, &TLogonForm::LoginBClick);
    connect(m_ui->CancelB, &QPushButton::clicked, this, &QDialog::reject);
}

TLogonForm::~TLogonForm() = default;

void TLogonForm::LoginBClick()
{
    m_loggedOn = LogonWithPassword(m_data, m_ui->UserNameEdit->text(), m_ui->PasswordEdit->text());
    accept();
}

} // namespace mw
