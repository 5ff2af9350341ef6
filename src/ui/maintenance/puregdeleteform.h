#pragma once
// "Perge/Delete": the window a purge is shown in while it runs (the purge itself is
// maintenance/purge.h). view() gives what the purge commands need: show() puts the
// window up over its parent with its delete-file animation running, step() writes
// the step line (Label2) and lets the screen repaint, hide() takes the window down
// before the command's results box. While shown, the window blocks the other
// windows' input and neither Escape nor the close box hides it; its Cancel (or
// Escape) asks the operation to stop at its next safe point (the view's
// cancelled()). One window per
// command; the view must not outlive it (its calls then do nothing).

#include "maintenance/purge.h"

#include <QDialog>

#include <memory>

class QPushButton;
class QTimer;

namespace Ui {
class TPuregDeleteForm;
}

namespace mw {

class TPuregDeleteForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TPuregDeleteForm)

public:
    explicit TPuregDeleteForm(QWidget* parent = nullptr);
    ~TPuregDeleteForm() override;

    PurgeView view();

public Q_SLOTS:
    void reject() override; // Escape: the purge goes on

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void FormShow();
    void SetStep(const QString& text);
    void FormHide();
    void Animate1Timer();
    void CancelClick();

    std::unique_ptr<Ui::TPuregDeleteForm> m_ui;
    QTimer* m_animation;
    int m_frame = 0;
    bool m_running = false; // between show() and hide() of the view
    bool m_cancelRequested = false;
    QPushButton* m_cancel = nullptr;
};

} // namespace mw
