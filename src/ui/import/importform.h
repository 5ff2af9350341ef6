#pragma once
// "Import All Data", "Import Applicants" or "Import Requisitions": the window an
// HR export file is imported under, a thin view of the import run
// (import/importrun.h). The opener sets ImportKind before showing the window;
// caption, heading and help follow it. Import runs the kind's file once (the
// button stays off during the run) while the progress line follows the run; the
// run's questions, notices and errors go to the talk given. Cancel, the close box
// and Escape alike stop a run before its next line (the lines stored stay) and
// keep the window open until the run has ended; outside a run they close it. The
// window closes by itself when a run has ended, however it ended.

#include <QDialog>

#include <memory>

namespace Ui {
class TImportForm;
}

namespace mw {

class HelpSystem;
class ImportRun;
class TMerrowindData;
class UserTalk;

class TImportForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TImportForm)

public:
    TImportForm(TMerrowindData& dataModule, HelpSystem& help, UserTalk& talk, QWidget* parent = nullptr);
    ~TImportForm() override;

    int ImportKind = 0; // 0 all data, 1 applicants only, 2 requisitions only

    // Whether a run took place (records may have changed).
    bool Imported() const { return m_imported; }

    // During a run: Cancel. Otherwise closes the window.
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    class RunTalk;

    void FormActivate();
    void ImportBClick();
    void BitBtn2Click();
    void ShowProgress(const QString& text);

    std::unique_ptr<Ui::TImportForm> m_ui;
    TMerrowindData& m_data;
    HelpSystem& m_help;
    UserTalk& m_talk;
    ImportRun* m_run = nullptr; // the run under way, else null
    int m_helpContext = 0;
    bool m_imported = false;
};

} // namespace mw
