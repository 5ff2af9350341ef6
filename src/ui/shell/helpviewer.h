#pragma once
// The help of the program: the HTML file "Merrowind.hlp" in the working directory,
// shown in one reused, non-modal viewer window (shell/helpviewerwindow.h) at a
// topic number. Every window and menu command carries a topic; a section of the
// file begins with the anchor named after it (<a name="2100">). Without the file no
// help is offered anywhere.

#include <QObject>
#include <QPointer>
#include <QString>

class QPushButton;
class QWidget;

namespace mw {

class HelpViewerWindow;

class HelpSystem final : public QObject
{
    Q_OBJECT

public:
    static QString fileName() { return QStringLiteral("Merrowind.hlp"); }

    // Whether the help file is in the directory (asked once, at start-up).
    static bool detect(const QString& workingDirectory);
    // The help file's path in the directory, or empty when it is not there.
    static QString locate(const QString& workingDirectory);

    // An empty path, or one whose file does not exist, means no help.
    explicit HelpSystem(const QString& filePath, QObject* parent = nullptr);
    ~HelpSystem() override;
    HelpSystem(const HelpSystem&) = delete;
    HelpSystem& operator=(const HelpSystem&) = delete;

    bool available() const { return !m_path.isEmpty(); }
    QString filePath() const { return m_path; }

    // Opens the viewer at the topic; topic 0 or one the file lacks shows the
    // contents at the top. The first opening places the window over parent's.
    void showTopic(int topic, QWidget* parent = nullptr);
    // F1 anywhere inside w opens the topic. Nothing without help.
    void attach(QWidget* w, int topic);
    // A "Help" button opening the topic, or nullptr without help.
    QPushButton* makeHelpButton(QWidget* parent, int topic);

    // The viewer window once it has been opened, else nullptr.
    QWidget* viewer() const;

private:
    HelpViewerWindow* createViewer(QWidget* parent);

    QString m_path;
    QPointer<HelpViewerWindow> m_window;
    QObject* m_f1 = nullptr; // the F1 filter of attached widgets
};

} // namespace mw
