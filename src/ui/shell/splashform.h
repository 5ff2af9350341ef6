#pragma once
// The window shown while the program starts.

#include <QWidget>

class QLabel;
class QProgressBar;

namespace mw {

class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Steps = 14;
    explicit TSplashForm(QWidget* parent = nullptr);
    void step(); // advances the gauge by one and repaints
    int position() const;

private:
    QLabel* m_name;
    QProgressBar* m_gauge;
};

} // namespace mw
