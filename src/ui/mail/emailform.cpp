#include "mail/emailform.h"

#include "ui_emailform.h"

#include "mail/mailsend.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScopeGuard>

namespace mw {

TEMailForm::TEMailForm(const TMerrowindData& store, UserTalk& talk, ExtraFiles* extraFiles, QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TEMailForm>())
    , m_mail(std::make_unique<MailSend>(mailServerOf(store), talk, extraFiles))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->Label1, m_ui->Animate1}) {
        QSizePolicy keepPlace = w->sizePolicy();
        keepPlace.setRetainSizeWhenHidden(true); // the window does not jump when they show
        w->setSizePolicy(keepPlace);
        w->setVisible(false);
    }
}

TEMailForm::~TEMailForm() = default;

bool TEMailForm::Send()
{
    m_stopRequested = false;
    m_sending = true;
    m_ui->Label1->setVisible(true);
    m_ui->Animate1->setVisible(true);

    MailSend& m = *m_mail;
    m.ShowStatus = [this](const QString& text) { m_ui->Label1->setText(text); };
    m.ShowStep = [this](const QString& text) { m_ui->Label2->setText(text); };
    // Asked on this thread while the transfer runs: the window is painted and
    // its close box heard here, whatever the user talk does meanwhile.
    m.StopRequested = [this] {
        QCoreApplication::processEvents();
        return m_stopRequested;
    };
    {
        const auto done = qScopeGuard([&] {
            m.ShowStatus = nullptr;
            m.ShowStep = nullptr;
            m.StopRequested = nullptr;
            m_ui->Label1->setVisible(false);
            m_ui->Animate1->setVisible(false);
            m_sending = false;
        });
        m.Send();
    }
    if (m_stopRequested)
        close();
    return m.Sent;
}

void TEMailForm::closeEvent(QCloseEvent* e)
{
    if (m_sending) {
        m_stopRequested = true; // Send closes the window once the send has stopped
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

} // namespace mw
