#pragma once
// The please-wait window: a line telling what is going on, the program name in
// large letters and a busy indicator; optionally a Cancel button. The dialog user
// talk (shell/dialogtalk.h) drives it; nothing else needs to.

#include <QDialog>

#include <memory>

namespace Ui {
class TMessageForm;
}

namespace mw {

class TMessageForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMessageForm)

public:
    explicit TMessageForm(QWidget* parent = nullptr);
    ~TMessageForm() override;

    // Changes the message line and repaints at once, without waiting for the event loop.
    void setText(const QString& text);
    QString text() const;

    // Progress of a long loop; total 0 (or less) turns the indicator back to plain busy.
    void setProgress(qint64 done, qint64 total);

    // Offers Cancel (or takes it away); either way forgets an earlier press.
    void setCancellable(bool cancellable);
    bool cancellable() const { return m_cancellable; }
    bool cancelPressed() const { return m_cancelPressed; }

public Q_SLOTS:
    // Escape and the window's close box count as Cancel; the window itself stays.
    void reject() override;

private:
    void CancelBtnClick();

    std::unique_ptr<Ui::TMessageForm> m_ui;
    bool m_cancellable = false;
    bool m_cancelPressed = false;
};

} // namespace mw
