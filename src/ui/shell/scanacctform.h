#pragma once
// "Select Date": a month calendar with OK and Cancel. A double click on a day
// chooses it at once. The window is made once and shown again whenever needed.

#include <QDate>
#include <QDialog>

#include <memory>

namespace Ui {
class TScanAcctForm;
}

namespace mw {

class TScanAcctForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TScanAcctForm)

public:
    explicit TScanAcctForm(QWidget* parent = nullptr);
    ~TScanAcctForm() override;

    // Shows this month with the day chosen (an invalid date changes nothing).
    void setDate(const QDate& date);
    QDate date() const;

    // Shows the window with this date chosen; true and the chosen day in date on OK.
    bool pick(QDate& date);

private:
    std::unique_ptr<Ui::TScanAcctForm> m_ui;
};

} // namespace mw
