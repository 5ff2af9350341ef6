#include "shell/application.h"

#include "shared/usertalk.h"
#include "datastore/database.h"

#include <QMessageBox>

namespace mw {

MerrowindApplication::MerrowindApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{}

bool MerrowindApplication::notify(QObject* receiver, QEvent* event)
{
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const DbError& e) {
        message = e.message();
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    }
    if (m_talk)
        m_talk->error(message);
    else
        QMessageBox::critical(nullptr, QStringLiteral("Merrowind"), message);
    return false;
}

} // namespace mw
