#include "mail/resendlistform.h"

#include "ui_resendlistform.h"

#include "datastore/choices.h"
#include "datastore/merrowinddata.h"
#include "import/notices.h"
#include "shared/usertalk.h"
#include "shell/helpviewer.h"


namespace mw {

TResendListForm::TResendListForm(TMerrowindData& store, HelpSystem& help, UserTalk& talk, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TResendListForm>())
    , m_talk(talk)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    for (const Choice& c : userChoices(store))
        m_ui->UserCombo->addItem(c.shown, c.id);
    m_ui->UserCombo->setCurrentIndex(-1);

    help.attach(this, 1115);
    if (QPushButton* helpBtn = help.makeHelpButton(this, 1115)) {
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        m_ui->buttonsLayout->addWidget(helpBtn);
    }

    connect(m_ui->OKBtn, &QPushButton::clicked, this, &TResendListForm::OKBtnClick);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TResendListForm::~TResendListForm() = default;

QString TResendListForm::chosenUser() const
{
    return m_ui->UserCombo->currentData().toString();
}

void TResendListForm::OKBtnClick()
{
    if (const QString error = notifyUserChoiceError(chosenUser()); !error.isEmpty()) {
        m_talk.error(error);
        return;
    }
    if (m_talk.ask(notifyQuestion()))
        accept();
}

} // namespace mw
