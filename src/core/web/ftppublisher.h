#pragma once
// Publishing to the web server by FTP, the way the "Upload Files To Server" window
// shows it: a status line, a progress bar, the requisition being published. The
// window is a thin view of this; the command line and the tests use it directly.
//
// One connection is logged in on first need and kept for the publisher's life, so
// a whole reload logs in once. Each transfer runs on a worker thread while the
// calling thread stays responsive; Cancel (the user talk's, or the window's close
// box) stops it, and nothing after it is tried. An upload counts only when the
// server holds every file whole: names and sizes are compared with the local
// files, an empty or failed listing is a failure, and a file the server kept only
// in part is deleted there. Files the server holds whole already are not sent again.

#include "web/ftp.h"

#include <QHash>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace mw {

class TMerrowindData;
class TransferState;
class UserTalk;

// The FTP settings as stored now, each on its own: an empty port means 21, an empty
// user name an anonymous login; an empty time-out 10 s; no security, active mode
// unless the settings ask otherwise.
FtpServer ftpServerOf(TMerrowindData& data);

class FtpPublisher
{
public:
    FtpPublisher(TMerrowindData& data, UserTalk& talk);
    ~FtpPublisher();
    FtpPublisher(const FtpPublisher&) = delete;
    FtpPublisher& operator=(const FtpPublisher&) = delete;

    // The window's parts; empty when no window shows the work.
    std::function<void(const QString&)> ShowStatus;
    std::function<void(int position, int maximum)> ShowProgress; // position 0 to maximum
    std::function<void(const QString& department, const QString& requisition, const QString& jobTitle)> ShowRequisition;
    std::function<bool()> StopRequested;

    QStringList RemoteFiles;     // names of the last listing
    bool Failed = true;          // until a connection succeeds; again after a connection or log-in failure
    bool DirOK = false;          // the last change of directory succeeded
    bool AllUploaded = false;    // the last comparison found every file whole on the server
    bool UploadAsBinary = false; // text pages' transfer type (documents always go binary)

    void SetRequisition(const QString& department, const QString& requisition, const QString& jobTitle);
    void LoadSettings();
    bool EnsureConnected();
    void ChangeDir(const QString& dir);
    void MakeDir(const QString& dir);
    void ListDir(const QString& dir);
    void DeleteFiles(const QStringList& names, const QString& dir);
    void DeleteDir(const QString& dir);
    void ClearAndRemoveDir(const QString& dir);
    void UploadFile(const QString& localPath, const QString& remoteName, bool binary, const QString& dir);
    void UploadList(const QStringList& localPaths, const QString& dir);
    void CompareFiles(const QStringList& localPaths, const QString& dir);
    void UploadFiles(const QStringList& localPaths, const QString& dir);

    // The last failure, with the server's own reply; empty when none.
    QString failureText() const { return m_failure; }
    // Whether the last UploadFile put the file on the server (whole, when binary).
    bool fileUploaded() const { return m_fileUploaded; }
    // The local files the last comparison did not find whole on the server.
    const QStringList& missingFiles() const { return m_missing; }
    bool cancelled() const { return m_cancelled; }
    // Successful log-ins so far (one for a whole run while the server keeps the line).
    int logins() const { return m_logins; }

private:
    // Runs one request on a worker thread; false when it failed or was stopped.
    bool request(const std::function<FtpResult(FtpConnection&)>& call, bool changingDir = false);
    void status(const QString& text);
    void progress(int position, int maximum);

    TMerrowindData& m_data;
    UserTalk& m_talk;
    FtpServer m_server;
    std::unique_ptr<FtpConnection> m_ftp;
    QHash<QString, qint64> m_remoteSizes; // of the last listing
    bool m_listed = false;                // the last listing worked
    QString m_failure;
    QStringList m_missing;
    bool m_cancelled = false;
    bool m_fileUploaded = false;
    int m_logins = 0;
    std::atomic<const TransferState*> m_state{nullptr}; // of the request under way
};

// Removes a requisition's directory from the web server, with every file in it;
// true only when the directory is gone afterwards. A web address whose directory
// is not a plain name is refused before connecting (told through the talk).
bool RemoveWebDirectory(TMerrowindData& data, UserTalk& talk, const QString& webAddress, const QString& department,
                        const QString& requisition, const QString& jobTitle, FtpPublisher* publisher = nullptr);

} // namespace mw
