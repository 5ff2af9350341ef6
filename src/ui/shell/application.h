#pragma once
// The application object: a table error that escapes a window's handler is shown
// in an error box and ends only the operation that raised it.

#include <QApplication>

namespace mw {

class UserTalk;

class MerrowindApplication : public QApplication
{
public:
    MerrowindApplication(int& argc, char** argv);
    void setTalk(UserTalk* talk) { m_talk = talk; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    UserTalk* m_talk = nullptr;
};

} // namespace mw
