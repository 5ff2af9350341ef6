#pragma once
// "Applicant Activity": asks for a requisition number. The drop-down reads the
// numbers the user may see when its list is opened; OK asks the core whether the
// typed number is one of them (access/reqpicker.h) and says so when it is not.

#include <QDialog>

#include <memory>

namespace Ui {
class TAppActivityForm;
}

namespace mw {

class TMerrowindData;
class UserTalk;

class TAppActivityForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAppActivityForm)

public:
    TAppActivityForm(TMerrowindData& store, UserTalk& talk, QWidget* parent = nullptr);
    ~TAppActivityForm() override;

    // The number as typed or chosen.
    QString typedNumber() const;

    // Whether the last OK found a requisition the user may see under the typed
    // number; Cancel leaves it as it was.
    bool Found() const { return m_found; }

private:
    void ComboBox1DropDown();
    void OKBtnClick();

    std::unique_ptr<Ui::TAppActivityForm> m_ui;
    TMerrowindData& m_data;
    UserTalk& m_talk;
    bool m_found = false;
};

} // namespace mw
