#pragma once
// "Send E-Mail": the window a message is sent under. The caller fills
// mail().Message, shows the window, calls Send() and reads mail().Sent and
// mail().ErrorText. While the message goes out the window keeps answering the
// user: its two labels follow the send, and its close box stops the send (a
// stopped send is not sent) and closes the window once the send has ended.

#include <QWidget>

#include <memory>

namespace Ui {
class TEMailForm;
}

namespace mw {

class MailSend;
class TMerrowindData;
class UserTalk;
struct ExtraFiles;

class TEMailForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEMailForm)

public:
    // Sends through the logged-on user's mail server (mailServerOf); the program's
    // extra files, when given, are offered with the message.
    TEMailForm(const TMerrowindData& store, UserTalk& talk, ExtraFiles* extraFiles = nullptr,
               QWidget* parent = nullptr);
    ~TEMailForm() override;

    MailSend& mail() { return *m_mail; }

    // Sends mail().Message; gives mail().Sent.
    bool Send();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::TEMailForm> m_ui;
    std::unique_ptr<MailSend> m_mail;
    bool m_sending = false;
    bool m_stopRequested = false; // the close box was pressed during the send
};

} // namespace mw
