#include "web/ftppublisher.h"

#include "datastore/merrowinddata.h"
#include "shared/transfer.h"
#include "shared/usertalk.h"
#include "web/webaddress.h"

#include <QFileInfo>
#include <QSqlQuery>

namespace mw {

namespace {

QString fileNameOf(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

QString statusOf(FtpResult::Failure failure)
{
    switch (failure) {
    case FtpResult::None:
        return QStringLiteral("Success");
    case FtpResult::Host:
        return QStringLiteral("Invalid Host");
    case FtpResult::Connection:
        return QStringLiteral("Connection Failed");
    case FtpResult::Login:
        return QStringLiteral("User Name or Password Incorrect");
    case FtpResult::Command:
        return QStringLiteral("Failure");
    case FtpResult::Transfer:
        return QStringLiteral("Error");
    case FtpResult::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return QString();
}

} // namespace

FtpServer ftpServerOf(TMerrowindData& data)
{
    FtpServer s;
    QSqlQuery q = data.database().exec(QStringLiteral(
        "SELECT FTPHost, FTPPort, FTPUserName, FTPPassword, FTPSecurity, FTPPassive, FTPTimeout, FTPCAFile "
        "FROM settings ORDER BY rid"));
    if (!q.next())
        return s;
    s.host = q.value(0).toString().trimmed();
    s.port = q.value(1).toInt() > 0 ? q.value(1).toInt() : 21;
    s.user = q.value(2).toString();
    s.password = q.value(3).toString();
    const int security = q.value(4).toInt();
    s.security = security == 1 ? FtpSecurity::Explicit : security == 2 ? FtpSecurity::Implicit : FtpSecurity::None;
    s.passive = q.value(5).toInt() != 0;
    s.timeoutSeconds = q.value(6).toInt() > 0 ? q.value(6).toInt() : 10;
    s.caFile = q.value(7).toString();
    return s;
}

FtpPublisher::FtpPublisher(TMerrowindData& data, UserTalk& talk)
    : m_data(data)
    , m_talk(talk)
{
}

FtpPublisher::~FtpPublisher()
{
    if (m_ftp && m_ftp->connected())
        status(QStringLiteral("Disconnected From Server"));
}

void FtpPublisher::status(const QString& text)
{
    if (ShowStatus)
        ShowStatus(text);
}

void FtpPublisher::progress(int position, int maximum)
{
    if (ShowProgress)
        ShowProgress(position, maximum);
}

void FtpPublisher::SetRequisition(const QString& department, const QString& requisition, const QString& jobTitle)
{
    if (ShowRequisition)
        ShowRequisition(department, requisition, jobTitle);
}

void FtpPublisher::LoadSettings()
{
    const FtpServer s = ftpServerOf(m_data);
    QSqlQuery q = m_data.database().exec(QStringLiteral("SELECT FTPUploadAsBinary FROM settings ORDER BY rid"));
    UploadAsBinary = q.next() && q.value(0).toInt() != 0;
    const bool changed = s.host != m_server.host || s.port != m_server.port || s.user != m_server.user ||
                         s.password != m_server.password || s.security != m_server.security ||
                         s.passive != m_server.passive || s.caFile != m_server.caFile;
    m_server = s;
    if (changed || !m_ftp)
        m_ftp = std::make_unique<FtpConnection>(m_server, [this] {
            const TransferState* state = m_state.load();
            return state && state->stop();
        });
}

bool FtpPublisher::request(const std::function<FtpResult(FtpConnection&)>& call, bool changingDir)
{
    // A stop asked for between two requests counts at once, however fast they are.
    if (!m_cancelled && ((StopRequested && StopRequested()) || m_talk.cancelled()))
        m_cancelled = true;
    if (m_cancelled) {
        status(statusOf(FtpResult::Cancelled));
        return false;
    }
    if (!m_ftp)
        LoadSettings();
    FtpResult result;
    const bool wasConnected = m_ftp->connected();
    const bool finished = runTransfer(
        m_talk,
        [&](TransferState& state) {
            m_state.store(&state);
            result = call(*m_ftp);
            m_state.store(nullptr);
        },
        {}, [this] { return StopRequested && StopRequested(); });
    if (!finished)
        m_cancelled = true;
    if (!wasConnected && m_ftp->connected())
        ++m_logins;
    if (result.ok())
        return true;
    status(statusOf(result.failure));
    m_failure = statusOf(result.failure) + (result.reply.isEmpty() ? QString() : QStringLiteral(" (") + result.reply + QLatin1Char(')'));
    switch (result.failure) {
    case FtpResult::Host:
    case FtpResult::Connection:
    case FtpResult::Login:
    case FtpResult::Transfer:
        Failed = true;
        break;
    case FtpResult::Command:
        if (changingDir)
            DirOK = false;
        break;
    case FtpResult::Cancelled:
        m_cancelled = true;
        break;
    case FtpResult::None:
        break;
    }
    return false;
}

bool FtpPublisher::EnsureConnected()
{
    if (m_cancelled)
        return false;
    if (m_ftp && m_ftp->connected())
        return true;
    LoadSettings();
    status(QStringLiteral("Connecting To: ") + m_server.host);
    if (!request([](FtpConnection& ftp) { return ftp.changeDir(QStringLiteral("/")); }))
        return false;
    Failed = false;
    status(QStringLiteral("Connected: ") + m_server.host);
    return true;
}

void FtpPublisher::ChangeDir(const QString& dir)
{
    DirOK = true;
    if (!request([&dir](FtpConnection& ftp) { return ftp.changeDir(dir); }, true))
        DirOK = false;
}

void FtpPublisher::MakeDir(const QString& dir)
{
    if (!EnsureConnected())
        return;
    status(QStringLiteral("Creating Directory: ") + dir);
    // A directory that is there already fails quietly; the upload goes on.
    const QString failure = m_failure;
    if (!request([&dir](FtpConnection& ftp) { return ftp.makeDir(dir); }))
        m_failure = failure;
}

void FtpPublisher::ListDir(const QString& dir)
{
    m_listed = false;
    if (!EnsureConnected())
        return;
    RemoteFiles.clear();
    m_remoteSizes.clear();
    ChangeDir(dir);
    if (!DirOK)
        return;
    status(QStringLiteral("Getting List Of Files From Server"));
    QList<RemoteEntry> entries;
    if (!request([&](FtpConnection& ftp) { return ftp.list(dir, entries); }))
        return;
    for (const RemoteEntry& e : std::as_const(entries)) {
        if (e.directory)
            continue;
        RemoteFiles << e.name;
        m_remoteSizes.insert(e.name, e.size);
    }
    m_listed = true;
    status(QStringLiteral("Done Getting File List"));
}

void FtpPublisher::DeleteFiles(const QStringList& names, const QString& dir)
{
    if (!EnsureConnected() || names.isEmpty())
        return;
    progress(0, int(names.size()));
    ChangeDir(dir);
    if (!DirOK)
        return;
    for (int i = 0; i < names.size() && !m_cancelled; ++i) {
        const QString name = names.at(i); // exactly as listed
        status(QStringLiteral("Deleting File: ") + name);
        request([&](FtpConnection& ftp) { return ftp.deleteFile(dir, name); });
        progress(i + 1, int(names.size()));
    }
    status(QStringLiteral("Files Deleted"));
}

void FtpPublisher::DeleteDir(const QString& dir)
{
    if (!EnsureConnected())
        return;
    status(QStringLiteral("Deleteing Directory: ") + dir);
    ListDir(dir);
    DeleteFiles(RemoteFiles, dir);
    ChangeDir(m_data.SystemInfo.FTPUploadDir);
    request([&dir](FtpConnection& ftp) { return ftp.removeDir(dir); });
}

void FtpPublisher::ClearAndRemoveDir(const QString& dir)
{
    LoadSettings();
    ListDir(dir);
    DeleteFiles(RemoteFiles, dir);
    DeleteDir(dir);
}

void FtpPublisher::UploadFile(const QString& localPath, const QString& remoteName, bool binary, const QString& dir)
{
    m_fileUploaded = false;
    if (!EnsureConnected())
        return;
    MakeDir(dir);
    progress(0, 1);
    ChangeDir(dir);
    if (!DirOK)
        return;
    status(QStringLiteral("Uploading File: ") + localPath);
    if (!request([&](FtpConnection& ftp) { return ftp.upload(localPath, dir, remoteName, binary); }))
        return;
    // There, and whole when sent as it is (a text transfer may change line ends).
    ListDir(dir);
    const qint64 size = m_remoteSizes.value(remoteName, -2);
    if (!m_listed || size == -2 || (binary && size != QFileInfo(localPath).size())) {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("Failure (%1 is not whole on the server)").arg(remoteName);
        status(QStringLiteral("Failure"));
        return;
    }
    m_fileUploaded = true;
    progress(1, 1);
    status(QStringLiteral("File Uploaded"));
}

void FtpPublisher::UploadList(const QStringList& localPaths, const QString& dir)
{
    if (!EnsureConnected())
        return;
    progress(0, int(localPaths.size()));
    ChangeDir(dir);
    if (!DirOK)
        return;
    for (int i = 0; i < localPaths.size() && !m_cancelled; ++i) {
        const QString& path = localPaths.at(i);
        status(QStringLiteral("Uploading File: ") + path);
        // Documents always go binary: a server that translates line ends would spoil them.
        request([&](FtpConnection& ftp) { return ftp.upload(path, dir, fileNameOf(path).toLower(), true); });
        progress(i + 1, int(localPaths.size()));
    }
    status(QStringLiteral("Files Uploaded"));
}

void FtpPublisher::CompareFiles(const QStringList& localPaths, const QString& dir)
{
    AllUploaded = true;
    m_missing.clear();
    ListDir(dir);
    if (!m_listed || RemoteFiles.isEmpty()) {
        // Nothing listed proves nothing uploaded.
        AllUploaded = localPaths.isEmpty();
        m_missing = localPaths;
        return;
    }
    progress(0, int(localPaths.size()));
    for (int i = 0; i < localPaths.size(); ++i) {
        const QString& path = localPaths.at(i);
        status(QStringLiteral("Comparing File: ") + path);
        const QString name = fileNameOf(path).toLower();
        const qint64 size = m_remoteSizes.value(name, -2);
        // A size the server does not tell cannot prove a whole file either.
        if (size != QFileInfo(path).size()) {
            AllUploaded = false;
            m_missing << path;
        }
        progress(i + 1, int(localPaths.size()));
    }
    status(QStringLiteral("Files Compared"));
}

void FtpPublisher::UploadFiles(const QStringList& localPaths, const QString& dir)
{
    LoadSettings();
    AllUploaded = false;
    m_missing = localPaths;
    MakeDir(dir);
    // What is on the server whole already stays as it is.
    CompareFiles(localPaths, dir);
    if (AllUploaded)
        return;
    QStringList pending = m_missing;
    for (int round = 0; round < 3 && !m_cancelled; ++round) {
        UploadList(pending, dir);
        CompareFiles(localPaths, dir);
        if (AllUploaded)
            return;
        pending = m_missing;
    }
    // What the server kept only in part is not left to be served.
    if (!m_cancelled && m_listed) {
        QStringList partial;
        for (const QString& path : std::as_const(m_missing)) {
            const QString name = fileNameOf(path).toLower();
            if (m_remoteSizes.contains(name))
                partial << name;
        }
        DeleteFiles(partial, dir);
    }
}

bool RemoveWebDirectory(TMerrowindData& data, UserTalk& talk, const QString& webAddress, const QString& department,
                        const QString& requisition, const QString& jobTitle, FtpPublisher* publisher)
{
    if (const QString problem = webDirProblem(webAddress); !problem.isEmpty()) {
        talk.error(problem);
        return false;
    }
    std::unique_ptr<FtpPublisher> own;
    if (!publisher) {
        own = std::make_unique<FtpPublisher>(data, talk);
        publisher = own.get();
    }
    publisher->SetRequisition(department, requisition, jobTitle);
    const QString name = WebDirName(webAddress);
    const QString base = data.SystemInfo.FTPUploadDir;
    publisher->ClearAndRemoveDir(base + name);
    if (publisher->Failed || publisher->cancelled())
        return false;
    // Gone only when the server no longer finds it.
    publisher->ChangeDir(base + name);
    return !publisher->DirOK && !publisher->Failed;
}

} // namespace mw
