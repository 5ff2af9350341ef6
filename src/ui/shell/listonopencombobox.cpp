#include "shell/listonopencombobox.h"

namespace mw {

void TListOnOpenComboBox::showPopup()
{
    Q_EMIT aboutToShowList();
    QComboBox::showPopup();
}

} // namespace mw
