#pragma once
// The help viewer's window: the help file in a browser with Contents, Back and
// Close. The help system (shell/helpviewer.h) makes one, reuses it, and tells it
// which place of the file to show; Contents asks the help system for the top.

#include <QSet>
#include <QWidget>

#include <memory>

class QUrl;

namespace Ui {
class HelpViewerWindow;
}

namespace mw {

class HelpViewerWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpViewerWindow)

public:
    // Loads the help file (an HTML file) and notes the anchors it has.
    explicit HelpViewerWindow(const QString& filePath);
    ~HelpViewerWindow() override;

    // The anchor names of the loaded file: the topics it has sections for.
    const QSet<QString>& anchors() const { return m_anchors; }
    // Shows the file at that place (a fragment names the anchor).
    void showSource(const QUrl& url);

Q_SIGNALS:
    void contentsRequested();

private:
    std::unique_ptr<Ui::HelpViewerWindow> m_ui;
    QSet<QString> m_anchors;
};

} // namespace mw
