#pragma once
// "Get Positng ID" (Process > Reload Web Site For Posting ID): which job posting
// group's requisitions go to the web server again. The drop-down shows the groups
// the logged-on user may see, by description, read when the window is made: every
// group, or only his own when he is restricted to some. "Load Web" is enabled once a
// group is chosen and accepts; Cancel rejects.

#include <QDialog>

#include <memory>

namespace Ui {
class TGetPostingIDForm;
}

namespace mw {

class HelpSystem;
class TMerrowindData;

class TGetPostingIDForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TGetPostingIDForm)

public:
    TGetPostingIDForm(TMerrowindData& dataModule, HelpSystem& help, QWidget* parent = nullptr);
    ~TGetPostingIDForm() override;

    // The chosen job posting group's JobPostingID; empty while none is chosen.
    QString chosenGroup() const;

private:
    std::unique_ptr<Ui::TGetPostingIDForm> m_ui;
};

} // namespace mw
