#pragma once
// A drop-down that says when its list is about to open, so it can be filled first
// (the requisition numbers of "Applicant Activity" are read only then).

#include <QComboBox>

namespace mw {

class TListOnOpenComboBox final : public QComboBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListOnOpenComboBox)

public:
    using QComboBox::QComboBox;
    void showPopup() override;

Q_SIGNALS:
    void aboutToShowList();
};

} // namespace mw
