#include "shell/appactivityform.h"

#include "ui_appactivityform.h"

#include "access/reqpicker.h"
#include "shared/usertalk.h"

namespace mw {

TAppActivityForm::TAppActivityForm(TMerrowindData& store, UserTalk& talk, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TAppActivityForm>())
    , m_data(store)
    , m_talk(talk)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    QSizePolicy keepPlace = m_ui->WaitLabel->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true); // the window does not jump when it shows
    m_ui->WaitLabel->setSizePolicy(keepPlace);
    m_ui->WaitLabel->setVisible(false);

    connect(m_ui->ComboBox1, &TListOnOpenComboBox::aboutToShowList, this, &TAppActivityForm::ComboBox1DropDown);
    connect(m_ui->OKBtn, &QPushButton::clicked, this, &TAppActivityForm::OKBtnClick);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TAppActivityForm::~TAppActivityForm() = default;

QString TAppActivityForm::typedNumber() const { return m_ui->ComboBox1->currentText(); }

void TAppActivityForm::ComboBox1DropDown()
{
    TListOnOpenComboBox* box = m_ui->ComboBox1;
    const QString typed = box->currentText();
    m_ui->WaitLabel->setVisible(true);
    m_ui->WaitLabel->repaint();
    const QStringList numbers = pickerRequisitionNumbers(m_data);
    {
        const QSignalBlocker quiet(box);
        box->clear();
        box->addItems(numbers);
        const int at = box->findText(typed, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        box->setCurrentIndex(at);
        box->setEditText(typed);
    }
    m_ui->WaitLabel->setVisible(false);
}

void TAppActivityForm::OKBtnClick()
{
    m_found = requisitionPermitted(m_data, typedNumber());
    if (!m_found)
        m_talk.error(QStringLiteral("Job Requistion Number Not Found"));
    accept();
}

} // namespace mw
