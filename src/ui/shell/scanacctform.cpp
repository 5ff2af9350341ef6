#include "shell/scanacctform.h"

#include "ui_scanacctform.h"

namespace mw {

TScanAcctForm::TScanAcctForm(QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TScanAcctForm>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    connect(m_ui->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Enter or a double click on a day: that day, as with OK.
    connect(m_ui->MonthCalendar1, &QCalendarWidget::activated, this, &QDialog::accept);
}

TScanAcctForm::~TScanAcctForm() = default;

void TScanAcctForm::setDate(const QDate& date)
{
    if (!date.isValid())
        return;
    m_ui->MonthCalendar1->setSelectedDate(date);
    m_ui->MonthCalendar1->setCurrentPage(date.year(), date.month());
}

QDate TScanAcctForm::date() const { return m_ui->MonthCalendar1->selectedDate(); }

bool TScanAcctForm::pick(QDate& date)
{
    setDate(date);
    if (exec() != QDialog::Accepted)
        return false;
    date = this->date();
    return true;
}

} // namespace mw
