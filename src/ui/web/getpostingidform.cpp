#include "web/getpostingidform.h"

#include "ui_getpostingidform.h"

#include "datastore/merrowinddata.h"
#include "datastore/choices.h"
#include "shell/helpviewer.h"

namespace mw {

TGetPostingIDForm::TGetPostingIDForm(TMerrowindData& dataModule, HelpSystem& help, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TGetPostingIDForm>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // A restricted user sees his permitted groups only (none when he has none).
    for (const Choice& c : permittedGroupChoices(dataModule))
        m_ui->PostingCombo->addItem(c.shown, c.id);
    m_ui->PostingCombo->setCurrentIndex(-1);
    m_ui->LoadWebBtn->setEnabled(false);

    help.attach(this, 4655);
    if (QPushButton* helpBtn = help.makeHelpButton(this, 4655)) {
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        m_ui->buttonsLayout->addWidget(helpBtn);
    }

    connect(m_ui->PostingCombo, &QComboBox::currentIndexChanged, m_ui->LoadWebBtn,
            [this](int index) { m_ui->LoadWebBtn->setEnabled(index >= 0); });
    connect(m_ui->LoadWebBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TGetPostingIDForm::~TGetPostingIDForm() = default;

QString TGetPostingIDForm::chosenGroup() const
{
    return m_ui->PostingCombo->currentData().toString();
}

} // namespace mw
