#include "shell/scanacctform.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TScanAcctForm::TScanAcctForm(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select Date"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    MonthCalendar1 = new QCalendarWidget(this);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setGridVisible(true);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Enter or a double click on a day: that day, as with OK.
    connect(MonthCalendar1, &QCalendarWidget::activated, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MonthCalendar1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TScanAcctForm::setDate(const QDate& date)
{
    if (!date.isValid())
        return;
    MonthCalendar1->setSelectedDate(date);
    MonthCalendar1->setCurrentPage(date.year(), date.month());
}

QDate TScanAcctForm::date() const { return MonthCalendar1->selectedDate(); }

bool TScanAcctForm::pick(QDate& date)
{
    setDate(date);
    if (exec() != QDialog::Accepted)
        return false;
    date = this->date();
    return true;
}
