#pragma once
// The window shown while the program starts: the emblem, the name, the version and
// a gauge that the start-up advances one step at a time.

#include <QWidget>

#include <memory>

namespace Ui {
class TSplashForm;
}

namespace mw {

class TSplashForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSplashForm)

public:
    static constexpr int Steps = 14;
    explicit TSplashForm(QWidget* parent = nullptr);
    ~TSplashForm() override;

    void step(); // advances the gauge by one and repaints
    int position() const;

private:
    std::unique_ptr<Ui::TSplashForm> m_ui;
};

} // namespace mw
