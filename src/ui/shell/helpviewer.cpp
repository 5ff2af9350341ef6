#include "shell/helpviewer.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

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

QTextBrowser* HelpSystem::browser() const
{
    return m_browser.data();
}

QWidget* HelpSystem::createViewer(QWidget* parent)
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("HelpViewer"));
    window->setWindowTitle(QStringLiteral("Merrowind Help"));

    auto* browser = new QTextBrowser(window);
    browser->setOpenExternalLinks(true);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), window);
    auto* back = new QPushButton(QStringLiteral("&Back"), window);
    auto* close = new QPushButton(QStringLiteral("C&lose"), window);
    back->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(browser);
    layout->addLayout(buttons);

    connect(contents, &QPushButton::clicked, this, [this] { showTopic(0); });
    connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, window, &QWidget::close);

    browser->setSource(QUrl::fromLocalFile(m_path), QTextDocument::HtmlResource);
    m_anchors.clear();
    for (QTextBlock b = browser->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            for (const QString& name : it.fragment().charFormat().anchorNames())
                m_anchors.insert(name);

    window->resize(720, 600);
    if (parent) {
        const QRect over = parent->window()->frameGeometry();
        window->move(over.center() - window->rect().center());
    }
    browser->setFocus();
    m_window = window;
    m_browser = browser;
    attach(window, kHelpTopic);
    return window;
}

void HelpSystem::showTopic(int topic, QWidget* parent)
{
    if (!available())
        return;
    QWidget* window = m_window.data();
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
    if (topic != 0 && m_anchors.contains(anchor))
        url.setFragment(anchor);
    m_browser->setSource(url, QTextDocument::HtmlResource);
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
