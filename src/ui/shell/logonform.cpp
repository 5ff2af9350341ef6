#include "shell/logonform.h"

#include "access/logon.h"
#include "datastore/merrowinddata.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mw {

TLogonForm::TLogonForm(TMerrowindData& dataModule, QWidget* parent)
    : QDialog(parent)
    , m_data(dataModule)
{
    setWindowTitle(QStringLiteral("Logon"));
    setObjectName(QStringLiteral("LogonForm"));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("Merrowind"), this);
    QFont f = name->font();
    f.setPointSize(24);
    f.setBold(true);
    name->setFont(f);
    name->setAlignment(Qt::AlignCenter);
    auto* heading = new QLabel(QStringLiteral("Logon"), this);
    QFont hf = heading->font();
    hf.setPointSize(14);
    heading->setFont(hf);
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    layout->addWidget(heading);

    auto* form = new QFormLayout;
    UserNameEdit = new QLineEdit(this);
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    form->addRow(QStringLiteral("User Name:"), UserNameEdit);
    form->addRow(QStringLiteral("Password:"), PasswordEdit);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    LoginB = new QPushButton(QStringLiteral("Login"), this);
    CancelB = new QPushButton(QStringLiteral("Cancel"), this);
    LoginB->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(LoginB);
    buttons->addWidget(CancelB);
    layout->addLayout(buttons);
    connect(LoginB, &QPushButton::clicked, this, &TLogonForm::LoginBClick);
    connect(CancelB, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(320);
}

void TLogonForm::LoginBClick()
{
    LoggedOn = LogonWithPassword(m_data, UserNameEdit->text(), PasswordEdit->text());
    accept();
}

} // namespace mw
