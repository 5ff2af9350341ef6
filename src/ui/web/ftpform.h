#pragma once
// "Upload Files To Server": the window a web upload or reload runs under. It holds
// the publisher (web/ftppublisher.h) that the caller hands to the core; while the
// work runs the window shows the requisition being published, the status line and
// the progress. Its close box, pressed while an operation runs, only asks the
// publisher to stop (the work ends soon after, cancelled); the caller releases the
// window once the work has ended.

#include <QWidget>

#include <memory>

namespace Ui {
class TFTPForm;
}

namespace mw {

class FtpPublisher;
class TMerrowindData;
class UserTalk;

class TFTPForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFTPForm)

public:
    TFTPForm(TMerrowindData& dataModule, UserTalk& talk, QWidget* parent = nullptr);
    ~TFTPForm() override;

    // Publishes through the settings' FTP server, shown in this window.
    FtpPublisher& publisher() { return *m_publisher; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void ShowRequisition(const QString& department, const QString& requisition, const QString& jobTitle);
    void ShowProgress(int position, int maximum);

    std::unique_ptr<Ui::TFTPForm> m_ui;
    std::unique_ptr<FtpPublisher> m_publisher;
    bool m_stopRequested = false; // the close box was pressed during the work
};

} // namespace mw
