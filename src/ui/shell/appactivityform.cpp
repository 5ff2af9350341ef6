#include "shell/appactivityform.h"

#include "access/reqpicker.h"
#include "shared/usertalk.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

void TListOnOpenComboBox::showPopup()
{
    Q_EMIT aboutToShowList();
    QComboBox::showPopup();
}

TAppActivityForm::TAppActivityForm(mw::TMerrowindData& store, mw::UserTalk& talk, QWidget* parent)
    : QDialog(parent)
    , m_data(store)
    , m_talk(talk)
{
    setWindowTitle(QStringLiteral("Applicant Activity"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    Label1 = new QLabel(QStringLiteral("Requisition Number:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));

    ComboBox1 = new TListOnOpenComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMinimumContentsLength(12);
    Label1->setBuddy(ComboBox1);

    WaitLabel = new QLabel(QStringLiteral("Please Wait Reading Requistion Numbers"), this);
    WaitLabel->setObjectName(QStringLiteral("WaitLabel"));
    QSizePolicy keepPlace = WaitLabel->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true); // the window does not jump when it shows
    WaitLabel->setSizePolicy(keepPlace);
    WaitLabel->setVisible(false);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    connect(ComboBox1, &TListOnOpenComboBox::aboutToShowList, this, &TAppActivityForm::fillNumbers);
    connect(OKBtn, &QPushButton::clicked, this, &TAppActivityForm::okClicked);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QHBoxLayout;
    fields->addWidget(Label1);
    fields->addWidget(ComboBox1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(WaitLabel);
    layout->addLayout(buttons);
}

QString TAppActivityForm::typedNumber() const { return ComboBox1->currentText(); }

void TAppActivityForm::fillNumbers()
{
    const QString typed = ComboBox1->currentText();
    WaitLabel->setVisible(true);
    WaitLabel->repaint();
    const QStringList numbers = mw::pickerRequisitionNumbers(m_data);
    {
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->clear();
        ComboBox1->addItems(numbers);
        const int at = ComboBox1->findText(typed, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        ComboBox1->setCurrentIndex(at);
        ComboBox1->setEditText(typed);
    }
    WaitLabel->setVisible(false);
}

void TAppActivityForm::okClicked()
{
    Found = mw::requisitionPermitted(m_data, typedNumber());
    if (!Found)
        m_talk.error(QStringLiteral("Job Requistion Number Not Found"));
    accept();
}
