#pragma once
// "Select Date": a month calendar with OK and Cancel. A double click on a day
// chooses it at once. The window is made once and shown again whenever needed.

#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QPushButton;

class TScanAcctForm : public QDialog
{
    Q_OBJECT

public:
    explicit TScanAcctForm(QWidget* parent = nullptr);

    void setDate(const QDate& date);
    QDate date() const;

    // Shows the window with this date chosen; true and the chosen day in date on OK.
    bool pick(QDate& date);

    QCalendarWidget* MonthCalendar1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};
