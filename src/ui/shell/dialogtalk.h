#pragma once
// The user, spoken to with message boxes and the please-wait window.

#include "shared/usertalk.h"

#include <QPointer>

class QWidget;

namespace mw {

class TMessageForm;

class DialogTalk : public UserTalk
{
public:
    explicit DialogTalk(QWidget* parent = nullptr);
    ~DialogTalk() override;
    DialogTalk(const DialogTalk&) = delete;
    DialogTalk& operator=(const DialogTalk&) = delete;

    // The window the boxes belong to (they are centred on it).
    void setParentWidget(QWidget* parent);
    QWidget* parentWidget() const { return m_parent; }

    bool ask(const QString& question) override;
    void inform(const QString& text) override;
    void error(const QString& text) override;
    bool retry(const QString& caption, const QString& text) override;

    void beginWait(const QString& text, bool cancellable = false) override;
    void wait(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    bool cancelled() override;
    void endWait() override;

    // The please-wait window while one is open, else null.
    TMessageForm* waitForm() const;

private:
    TMessageForm* form();

    QPointer<QWidget> m_parent;
    QPointer<TMessageForm> m_form;
    int m_waitDepth = 0;
};

} // namespace mw
