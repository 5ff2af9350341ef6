#include "shell/disabledform.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace mw {

TDisabledForm::TDisabledForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog)
{
    setWindowTitle(QStringLiteral("Merrowind"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Merrowind"), this);
    QFont f = heading->font();
    f.setPointSize(28);
    f.setBold(true);
    heading->setFont(f);
    auto* line = new QLabel(QStringLiteral("Logins Disabled"), this);
    QFont lf = line->font();
    lf.setPointSize(16);
    line->setFont(lf);
    auto* contact = new QLabel(QStringLiteral("Contact System Administrator"), this);
    for (QLabel* l : {heading, line, contact}) {
        l->setAlignment(Qt::AlignCenter);
        layout->addWidget(l);
    }
    resize(360, 200);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

} // namespace mw
