#include "mail/resendgroupform.h"

#include "ui_resendgroupform.h"

#include "datastore/choices.h"
#include "datastore/merrowinddata.h"
#include "import/notices.h"
#include "shared/usertalk.h"
#include "shell/helpviewer.h"


namespace mw {

TResendGroupForm::TResendGroupForm(TMerrowindData& store, HelpSystem& help, UserTalk& talk, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TResendGroupForm>())
    , m_talk(talk)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    for (const Choice& c : groupChoices(store))
        m_ui->GroupCombo->addItem(c.shown, c.id);
    m_ui->GroupCombo->setCurrentIndex(-1);

    help.attach(this, 1118);
    if (QPushButton* helpBtn = help.makeHelpButton(this, 1118)) {
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        m_ui->buttonsLayout->addWidget(helpBtn);
    }

    connect(m_ui->OKBtn, &QPushButton::clicked, this, &TResendGroupForm::OKBtnClick);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TResendGroupForm::~TResendGroupForm() = default;

QString TResendGroupForm::chosenGroup() const
{
    return m_ui->GroupCombo->currentData().toString();
}

void TResendGroupForm::OKBtnClick()
{
    if (const QString error = notifyGroupChoiceError(chosenGroup()); !error.isEmpty()) {
        m_talk.error(error);
        return;
    }
    if (m_talk.ask(notifyQuestion()))
        accept();
}

} // namespace mw
