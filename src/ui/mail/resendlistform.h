#pragma once
// "Send Notification List To User" (Import menu): which user hears of the groups
// he follows. The drop-down shows every user by name, read when the window is
// made. OK says so when nobody is chosen (import/notices.h) and otherwise asks
// whether to send: Yes accepts, No leaves the window open.

#include <QDialog>

#include <memory>

namespace Ui {
class TResendListForm;
}

namespace mw {

class HelpSystem;
class TMerrowindData;
class UserTalk;

class TResendListForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TResendListForm)

public:
    TResendListForm(TMerrowindData& store, HelpSystem& help, UserTalk& talk, QWidget* parent = nullptr);
    ~TResendListForm() override;

    // The chosen user's UserID; empty while none is chosen.
    QString chosenUser() const;

private:
    void OKBtnClick();

    std::unique_ptr<Ui::TResendListForm> m_ui;
    UserTalk& m_talk;
};

} // namespace mw
