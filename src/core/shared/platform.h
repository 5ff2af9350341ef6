#pragma once
// What the program asks of the machine it runs on.

#include <QDateTime>
#include <QString>

#include <stdexcept>

namespace mw {

// The private temporary directory cannot be made safe to use. The caller shows message().
class TempDirError : public std::runtime_error
{
public:
    explicit TempDirError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// The network user name: the account of the person at the workstation, which is
// the real user's name in the system user database, never a value from the
// environment; empty when that database has no name for the account. At most
// 250 characters.
QString networkUserName();
// Whether a network is present: some interface other than loopback is up.
bool networkPresent();
// The version of the table layer, 500 or more when it is fit for the program: the
// SQLite library and the database drivers the program needs are there.
int tableEngineVersion();
// The directory for temporary copies of documents and generated files, with a
// trailing separator: "merrowind-<account>" inside the system temporary directory
// (TMPDIR), where the account is the real user's name in the system user database
// (its number when it has none). It is made with mode 0700 and used only while it
// is a real directory owned by the real user; looser permissions are tightened to
// 0700. Raises TempDirError naming the directory when it cannot be made safe.
QString TempPath();
// Deletes the temporary document copies (files "*.ext") left in TempPath; a file
// that cannot be deleted is skipped. Gives how many were deleted; none when
// TempPath cannot be used.
int deleteTemporaryCopies(const QString& fileExt);
// Deletes the work folders a run that was killed left in TempPath ("dept-*",
// "send-*", "export-*", with what is in them) when they were last changed before
// olderThan, so that a running copy's folders stay. Links are not followed. Gives
// how many folders were deleted; none when TempPath cannot be used.
int deleteLeftoverWorkFolders(const QDateTime& olderThan);

} // namespace mw
