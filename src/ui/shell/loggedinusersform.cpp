#include "shell/loggedinusersform.h"

#include "access/reqpicker.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLoggedInUsersForm::TLoggedInUsersForm(mw::TMerrowindData& store, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Logged In Users"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText(mw::loggedInUserLines(store).join(QLatin1Char('\n')));

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1);
    layout->addLayout(buttons);
    resize(360, 260);
}
