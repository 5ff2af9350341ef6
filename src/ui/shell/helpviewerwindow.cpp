#include "shell/helpviewerwindow.h"

#include "ui_helpviewerwindow.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

namespace mw {

HelpViewerWindow::HelpViewerWindow(const QString& filePath)
    : QWidget(nullptr, Qt::Window)
    , m_ui(std::make_unique<Ui::HelpViewerWindow>())
{
    m_ui->setupUi(this);
    QTextBrowser* browser = m_ui->Browser;
    connect(m_ui->ContentsBtn, &QPushButton::clicked, this, &HelpViewerWindow::contentsRequested);
    connect(m_ui->BackBtn, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(browser, &QTextBrowser::backwardAvailable, m_ui->BackBtn, &QPushButton::setEnabled);
    connect(m_ui->CloseBtn, &QPushButton::clicked, this, &QWidget::close);

    browser->setSource(QUrl::fromLocalFile(filePath), QTextDocument::HtmlResource);
    for (QTextBlock b = browser->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            for (const QString& name : it.fragment().charFormat().anchorNames())
                m_anchors.insert(name);
    browser->setFocus();
}

HelpViewerWindow::~HelpViewerWindow() = default;

void HelpViewerWindow::showSource(const QUrl& url)
{
    m_ui->Browser->setSource(url, QTextDocument::HtmlResource);
}

} // namespace mw
