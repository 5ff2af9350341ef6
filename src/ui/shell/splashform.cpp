#include "shell/splashform.h"

#include "ui_splashform.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

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
    , m_ui(std::make_unique<Ui::TSplashForm>())
{
    m_ui->setupUi(this);
    m_ui->PictureLabel->setPixmap(emblem());
    m_ui->VersionLabel->setText(QStringLiteral("Version %1").arg(QStringLiteral(MERROWIND_VERSION)));
    m_ui->Gauge->setRange(0, Steps);

    // The name must fit in 273 pixels: shrink the font a point at a time.
    QLabel* name = m_ui->NameLabel;
    QFont f = name->font();
    while (f.pointSize() > 6 && QFontMetrics(f).horizontalAdvance(name->text()) > 273)
        f.setPointSize(f.pointSize() - 1);
    name->setFont(f);

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

TSplashForm::~TSplashForm() = default;

void TSplashForm::step()
{
    m_ui->Gauge->setValue(std::min(m_ui->Gauge->value() + 1, Steps));
    repaint();
}

int TSplashForm::position() const { return m_ui->Gauge->value(); }

} // namespace mw
