#include "shell/splashform.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace mw {

namespace {

QPixmap emblem()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2e, 0x5e, 0x8c));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, 2, 60, 60);
    p.setPen(QPen(Qt::white, 5));
    p.drawPolyline(QPolygon({QPoint(14, 44), QPoint(22, 20), QPoint(32, 38), QPoint(42, 20), QPoint(50, 44)}));
    return pm;
}

} // namespace

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Merrowind"));
    auto* layout = new QVBoxLayout(this);
    auto* loading = new QLabel(QStringLiteral("Loading...."), this);
    m_gauge = new QProgressBar(this);
    m_gauge->setRange(0, Steps);
    m_gauge->setValue(0);
    m_gauge->setTextVisible(false);
    auto* picture = new QLabel(this);
    picture->setPixmap(emblem());
    picture->setAlignment(Qt::AlignCenter);
    m_name = new QLabel(QStringLiteral("Merrowind"), this);
    QFont f = m_name->font();
    f.setPointSize(36);
    f.setBold(true);
    // The name must fit in 273 pixels: shrink the font a point at a time.
    while (f.pointSize() > 6 && QFontMetrics(f).horizontalAdvance(m_name->text()) > 273)
        f.setPointSize(f.pointSize() - 1);
    m_name->setFont(f);
    m_name->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(MERROWIND_VERSION)), this);
    auto* maker = new QLabel(QStringLiteral("Applicant and requisition tracking for HR offices"), this);
    version->setAlignment(Qt::AlignCenter);
    maker->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    layout->addWidget(m_name);
    layout->addWidget(version);
    layout->addWidget(maker);
    layout->addWidget(loading);
    layout->addWidget(m_gauge);
    resize(340, 280);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TSplashForm::step()
{
    m_gauge->setValue(std::min(m_gauge->value() + 1, Steps));
    repaint();
}

int TSplashForm::position() const { return m_gauge->value(); }

} // namespace mw
