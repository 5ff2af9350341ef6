#pragma once
// "Logged In Users": who runs the program on this database right now.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace mw {
class TMerrowindData;
}

class TLoggedInUsersForm : public QDialog
{
    Q_OBJECT

public:
    explicit TLoggedInUsersForm(mw::TMerrowindData& store, QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton* OKBtn;
};
