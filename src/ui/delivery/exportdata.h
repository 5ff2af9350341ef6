#pragma once
// "Export Data": a requisition's applications as a file, saved where the user
// chooses and opened, or mailed to the department with a message; or mailed for
// every requisition of a job posting group. The opening window calls Setup, shows
// it modally and releases it. The work is the core's export (delivery/dataexport.h);
// this window only holds the choices: "Send File To Department" disables the save
// path and, when cleared, clears both group boxes; ticking a group box ticks "Send
// File To Department" and clears the other; the dates are enabled with "Export
// Interview Date Range". "Export" exports and closes the window.

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TExportData;
}

namespace mw {

class DataExport;
class HelpSystem;
class TMerrowindData;
class UserTalk;
struct ExtraFiles;

class TExportData final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExportData)

public:
    TExportData(TMerrowindData& store, HelpSystem& help, UserTalk& talk, ExtraFiles* extraFiles = nullptr,
                QWidget* parent = nullptr);
    ~TExportData() override;

    void Setup(const QString& groupCaption, const QString& group, const QString& reqNumber);

    // The save dialog: given the path to start with, gives the chosen path (empty: cancelled).
    std::function<QString(const QString& start)> pickSaveFile;
    // Opens a saved file with the desktop's program for its type.
    std::function<void(const QString& path)> openFile;

private:
    void SendToDeptClick(bool on);
    void ExportAllClick(bool on);
    void ExportAllJobsClick(bool on);
    void BrowseBtnClick();
    void ExportBtnClick();

    std::unique_ptr<Ui::TExportData> m_ui;
    std::unique_ptr<DataExport> m_export;
    TMerrowindData& m_store;
    UserTalk& m_talk;
    ExtraFiles* m_extraFiles;
};

} // namespace mw
