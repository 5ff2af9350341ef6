#pragma once
// "Extra Files": the files the user adds to the next department message. It edits
// the program's one list (mail/mailsend.h, ExtraFiles) as the buttons are pressed
// and shows its entries sorted; the list outlives the window.

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

namespace Ui {
class TExtraFileForm;
}

namespace mw {

class HelpSystem;
struct ExtraFiles;

class TExtraFileForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExtraFileForm)

public:
    TExtraFileForm(ExtraFiles& files, HelpSystem& help, QWidget* parent = nullptr);
    ~TExtraFileForm() override;

    // Where Add's file dialog opens.
    void setStartDirectory(const QString& directory) { m_startDirectory = directory; }

    // Add's file dialog: the files chosen, none when it was cancelled.
    std::function<QStringList()> pickFiles;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void AddBtnClick();
    void DeleteBtnClick();
    void ResetBtnClick();
    void showFiles();

    std::unique_ptr<Ui::TExtraFileForm> m_ui;
    ExtraFiles& m_files;
    QString m_startDirectory;
};

} // namespace mw
