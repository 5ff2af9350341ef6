#pragma once
// The please-wait window: a line telling what is going on, the program name in
// large letters and a busy indicator; optionally a Cancel button.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class TMessageForm : public QDialog
{
    Q_OBJECT

public:
    explicit TMessageForm(QWidget* parent = nullptr);

    // Changes the message line and repaints at once, without waiting for the event loop.
    void setText(const QString& text);
    QString text() const;

    // Progress of a long loop; total 0 (or less) turns the indicator back to plain busy.
    void setProgress(qint64 done, qint64 total);

    // Offers Cancel (or takes it away); either way forgets an earlier press.
    void setCancellable(bool cancellable);
    bool cancellable() const { return m_cancellable; }
    bool cancelPressed() const { return m_cancelPressed; }

    QLabel* Label1;          // the message
    QLabel* Label2;          // the program name
    QProgressBar* Animate1;  // the busy indicator
    QPushButton* CancelBtn;  // shown when cancellable

public Q_SLOTS:
    // Escape and the window's close box count as Cancel; the window itself stays.
    void reject() override;

private:
    void pressCancel();

    bool m_cancellable = false;
    bool m_cancelPressed = false;
};
