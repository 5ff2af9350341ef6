#pragma once
// Shown for a few seconds to a user who may not log on while logins are denied.

#include <QWidget>

namespace mw {

class TDisabledForm : public QWidget
{
    Q_OBJECT
public:
    explicit TDisabledForm(QWidget* parent = nullptr);
};

} // namespace mw
