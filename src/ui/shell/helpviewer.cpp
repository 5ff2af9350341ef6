#include "shell/helpviewer.h"

#include "shell/helpviewerwindow.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>

namespace mw {

namespace {

// The topic a widget's F1 opens, kept on the widget itself.
const char* const kTopicProperty = "mwHelpTopic";

// Help's own topic: F1 inside the viewer.
constexpr int kHelpTopic = 6100;

// F1 reaching an attached widget, directly or passed up from a child that did not
// take it: the innermost attached widget answers.
class F1Filter : public QObject
{
public:
    explicit F1Filter(HelpSystem* help)
        : QObject(help)
        , m_help(help)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        const QVariant topic = watched->property(kTopicProperty);
        if (!topic.isValid() || !watched->isWidgetType())
            return false;
        m_help->showTopic(topic.toInt(), static_cast<QWidget*>(watched));
        return true;
    }

private:
    HelpSystem* m_help;
};

} // namespace

QString HelpSystem::locate(const QString& workingDirectory)
{
    const QFileInfo file(QDir(workingDirectory), fileName());
    return file.isFile() ? file.absoluteFilePath() : QString();
}

bool HelpSystem::detect(const QString& workingDirectory)
{
    return !locate(workingDirectory).isEmpty();
}

HelpSystem::HelpSystem(const QString& filePath, QObject* parent)
    : QObject(parent)
{
    if (!filePath.isEmpty() && QFileInfo(filePath).isFile())
        m_path = QFileInfo(filePath).absoluteFilePath();
}

HelpSystem::~HelpSystem()
{
    delete m_window.data();
}

QWidget* HelpSystem::viewer() const
{
    return m_window.data();
}

HelpViewerWindow* HelpSystem::createViewer(QWidget* parent)
{
    auto* window = new HelpViewerWindow(m_path);
    connect(window, &HelpViewerWindow::contentsRequested, this, [this] { showTopic(0); });
    if (parent) {
        const QRect over = parent->window()->frameGeometry();
        window->move(over.center() - window->rect().center());
    }
    m_window = window;
    attach(window, kHelpTopic);
    return window;
}

void HelpSystem::showTopic(int topic, QWidget* parent)
{
    if (!available())
        return;
    HelpViewerWindow* window = m_window.data();
    if (!window)
        window = createViewer(parent);

    // A modal window blocks every window but its own children, so help asked for
    // while one is open is shown as its child; otherwise the viewer stands alone.
    QWidget* host = QApplication::activeModalWidget();
    if (host == window)
        host = nullptr;
    if (window->parentWidget() != host) {
        const QPoint at = window->pos();
        window->setParent(host, Qt::Window);
        window->move(at);
    }

    if (window->isVisible())
        window->raise();
    else
        window->show();
    window->activateWindow();

    QUrl url = QUrl::fromLocalFile(m_path);
    const QString anchor = QString::number(topic);
    if (topic != 0 && window->anchors().contains(anchor))
        url.setFragment(anchor);
    window->showSource(url);
}

void HelpSystem::attach(QWidget* w, int topic)
{
    if (!available() || !w)
        return;
    if (!m_f1)
        m_f1 = new F1Filter(this);
    w->setProperty(kTopicProperty, topic);
    w->installEventFilter(m_f1);
}

QPushButton* HelpSystem::makeHelpButton(QWidget* parent, int topic)
{
    if (!available())
        return nullptr;
    auto* button = new QPushButton(QStringLiteral("&Help"), parent);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, button, topic] { showTopic(topic, button); });
    return button;
}

} // namespace mw
