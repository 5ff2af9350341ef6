#pragma once
// The logon window: user name and password, one attempt. Login hands both to the
// core's logon decision (access/logon.h) and closes the window; LoggedOn() then
// tells whether a user is logged on. Cancel closes it with nobody logged on.

#include <QDialog>

#include <memory>

namespace Ui {
class TLogonForm;
}

namespace mw {

class TMerrowindData;

class TLogonForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLogonForm)

public:
    explicit TLogonForm(TMerrowindData& dataModule, QWidget* parent = nullptr);
    ~TLogonForm() override;

    // Whether the last Login logged a user on.
    bool LoggedOn() const { return m_loggedOn; }

private:
    void LoginBClick();

    std::unique_ptr<Ui::TLogonForm> m_ui;
    TMerrowindData& m_data;
    bool m_loggedOn = false;
};

} // namespace mw
