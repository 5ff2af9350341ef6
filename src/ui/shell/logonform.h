#pragma once
// The logon window: user name and password, one attempt.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace mw {

class TMerrowindData;

class TLogonForm : public QDialog
{
    Q_OBJECT
public:
    TLogonForm(TMerrowindData& dataModule, QWidget* parent = nullptr);
    bool LoggedOn = false;

    QLineEdit* UserNameEdit;
    QLineEdit* PasswordEdit;
    QPushButton* LoginB;
    QPushButton* CancelB;

    void LoginBClick();

private:
    TMerrowindData& m_data;
};

} // namespace mw
