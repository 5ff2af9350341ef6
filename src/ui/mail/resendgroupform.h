#pragma once
// "Send Notification List To Group" (Import menu): which job posting group's
// followers hear of its new applications. The drop-down shows every group by
// description, read when the window is made. OK says so when no group is chosen
// (import/notices.h) and otherwise asks whether to send: Yes accepts, No leaves
// the window open.

#include <QDialog>

#include <memory>

namespace Ui {
class TResendGroupForm;
}

namespace mw {

class HelpSystem;
class TMerrowindData;
class UserTalk;

class TResendGroupForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TResendGroupForm)

public:
    TResendGroupForm(TMerrowindData& store, HelpSystem& help, UserTalk& talk, QWidget* parent = nullptr);
    ~TResendGroupForm() override;

    // The chosen job posting group's JobPostingID; empty while none is chosen.
    QString chosenGroup() const;

private:
    void OKBtnClick();

    std::unique_ptr<Ui::TResendGroupForm> m_ui;
    UserTalk& m_talk;
};

} // namespace mw
