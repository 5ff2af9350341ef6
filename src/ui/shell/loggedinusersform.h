#pragma once
// "Logged In Users": who runs the program on this database right now, one line a
// running copy as the core words it (access/reqpicker.h), read when the window is made.

#include <QDialog>

#include <memory>

namespace Ui {
class TLoggedInUsersForm;
}

namespace mw {

class TMerrowindData;

class TLoggedInUsersForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLoggedInUsersForm)

public:
    explicit TLoggedInUsersForm(TMerrowindData& store, QWidget* parent = nullptr);
    ~TLoggedInUsersForm() override;

private:
    std::unique_ptr<Ui::TLoggedInUsersForm> m_ui;
};

} // namespace mw
