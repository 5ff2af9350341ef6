#pragma once
// Shown for a few seconds to a user who may not log on while logins are denied.

#include <QWidget>

#include <memory>

namespace Ui {
class TDisabledForm;
}

namespace mw {

class TDisabledForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDisabledForm)

public:
    explicit TDisabledForm(QWidget* parent = nullptr);
    ~TDisabledForm() override;

private:
    std::unique_ptr<Ui::TDisabledForm> m_ui;
};

} // namespace mw
