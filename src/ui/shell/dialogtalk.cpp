#include "shell/dialogtalk.h"

#include "shell/messageform.h"

#include <QApplication>
#include <QMessageBox>

namespace mw {

namespace {

const QString kCaption = QStringLiteral("Merrowind");

int showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, kCaption, text, buttons, parent);
    if (buttons.testFlag(QMessageBox::No))
        box.setDefaultButton(QMessageBox::Yes);
    return box.exec();
}

} // namespace

DialogTalk::DialogTalk(QWidget* parent)
    : m_parent(parent)
{}

DialogTalk::~DialogTalk() { delete m_form.data(); }

void DialogTalk::setParentWidget(QWidget* parent)
{
    if (m_parent == parent)
        return;
    m_parent = parent;
    if (m_form) {
        const bool shown = m_form->isVisible();
        m_form->setParent(parent, m_form->windowFlags());
        if (shown)
            m_form->show();
    }
}

bool DialogTalk::ask(const QString& question)
{
    return showBox(m_parent, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void DialogTalk::inform(const QString& text) { showBox(m_parent, QMessageBox::Information, text, QMessageBox::Ok); }

void DialogTalk::error(const QString& text) { showBox(m_parent, QMessageBox::Critical, text, QMessageBox::Ok); }

bool DialogTalk::retry(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok | QMessageBox::Cancel, m_parent);
    return box.exec() == QMessageBox::Ok;
}

TMessageForm* DialogTalk::form()
{
    if (!m_form)
        m_form = new TMessageForm(m_parent);
    return m_form;
}

TMessageForm* DialogTalk::waitForm() const { return m_waitDepth > 0 ? m_form.data() : nullptr; }

void DialogTalk::beginWait(const QString& text, bool cancellable)
{
    TMessageForm* f = form();
    // A wait inside another keeps the outer one's Cancel; only the outermost decides.
    if (m_waitDepth++ == 0) {
        f->setCancellable(cancellable);
        f->setProgress(0, 0);
    }
    f->setText(text);
    if (!f->isVisible()) {
        f->show();
        f->raise();
    }
    QApplication::processEvents();
    f->repaint();
}

void DialogTalk::wait(const QString& text)
{
    if (m_waitDepth > 0 && m_form)
        m_form->setText(text);
}

void DialogTalk::progress(qint64 done, qint64 total)
{
    if (m_waitDepth > 0 && m_form)
        m_form->setProgress(done, total);
    QApplication::processEvents();
}

bool DialogTalk::cancelled()
{
    QApplication::processEvents();
    return m_waitDepth > 0 && m_form && m_form->cancelPressed();
}

void DialogTalk::endWait()
{
    if (m_waitDepth == 0)
        return;
    if (--m_waitDepth == 0 && m_form) {
        m_form->hide();
        m_form->setCancellable(false);
    }
}

} // namespace mw
