#pragma once
// "Applicant Activity": asks for a requisition number. The drop-down reads the
// numbers the user may see when its list is opened; OK checks the typed number.

#include <QComboBox>
#include <QDialog>

class QLabel;
class QPushButton;

namespace mw {
class TMerrowindData;
class UserTalk;
} // namespace mw

// A drop-down that says when its list is about to open, so it can be filled first.
class TListOnOpenComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    void showPopup() override;

Q_SIGNALS:
    void aboutToShowList();
};

class TAppActivityForm : public QDialog
{
    Q_OBJECT

public:
    TAppActivityForm(mw::TMerrowindData& store, mw::UserTalk& talk, QWidget* parent = nullptr);

    // The number as typed or chosen.
    QString typedNumber() const;

    // Whether OK found a requisition the user may see under the typed number.
    bool Found = false;

    QLabel* Label1;            // "Requisition Number:"
    TListOnOpenComboBox* ComboBox1;
    QLabel* WaitLabel;         // shown while the numbers are read
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public Q_SLOTS:
    void okClicked();
    void fillNumbers();

private:
    mw::TMerrowindData& m_data;
    mw::UserTalk& m_talk;
};
