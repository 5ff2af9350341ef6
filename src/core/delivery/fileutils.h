#pragma once
// Files on disk: viewing a scanned application through a private copy, copying a
// file, a file's size and attributes, and the version of the built-in PDF viewer.

#include <QString>

#include <functional>
#include <stdexcept>

namespace mw {

class TMerrowindData;
class UserTalk;

// A file that could not be opened, created, read or written. The caller shows message().
class FileError : public std::runtime_error
{
public:
    explicit FileError(const QString& message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Copies source to target in chunks, replacing the target. The target is taken as a
// full path; when it names an existing directory the source's file name is added.
// File times and permissions are not copied. On a failure part of the target may
// already be written and stays.
// Throws FileError "Cannot open file <source>", "Cannot create file <target>", and
// "Cannot read file <source>" / "Cannot write file <target>" when the copy breaks off.
void CopyFileTo(const QString& source, const QString& target);

// The size of a file in bytes, or -1 when there is no such entry. Any directory
// entry counts: a directory gives what the system reports for it, a symbolic link
// the size of what it points to (or of the link itself when that is gone).
qint64 FileSizeOf(const QString& path);

// The classic file attributes as far as Linux has them (same bit values as the
// old attribute masks, so stored masks keep their meaning):
//   ReadOnly   the file cannot be written by this program's user
//   Hidden     the name starts with "."
//   Directory  a directory (or a link to one)
//   Archive    an ordinary file (or a link to one)
//   SymLink    a symbolic link, whether or not its target exists
enum FileAttribute : unsigned
{
    faReadOnly = 0x01,
    faHidden = 0x02,
    faDirectory = 0x10,
    faArchive = 0x20,
    faSymLink = 0x400,
};

// Whether every attribute in mask is set on path. A path that cannot be examined
// (not there, no access to its directory) has no attributes: always false.
bool HasAttribute(const QString& path, unsigned mask);

// The version of the PDF viewer the program shows documents with: the Qt version when
// the program was built with Qt PDF, else "0" (no viewer).
QString AcrobatVersion();

// Shows scanned application documents. Each is shown from a copy in TempPath(), so
// the shared document is never held open by a viewer; only the copy of the document
// viewed last is kept, the one before is deleted.
class TApplicationViewer
{
public:
    // Hands a file to the viewer; gives the viewer's result code (0 when it failed).
    using Opener =
        std::function<int(const QString& path, const QString& params, const QString& dir, int showMode)>;

    TApplicationViewer(TMerrowindData& data, UserTalk& talk, Opener opener = {});

    void setOpener(Opener opener) { m_opener = std::move(opener); }

    // Shows the application document of an applicant. An identifier whose document is
    // missing is tried again without its leading zeros ("000123" -> "123"). When no
    // document is found the user is told and 0 is given; otherwise the opener's result.
    // Without an opener the copy is made and 0 is given.
    int ViewApplication(const QString& applicantId, const QString& params = QString(),
                        const QString& dir = QString(), int showMode = 1);

    // The copy made by the last ViewApplication, deleted by the next one; empty at first.
    QString LastViewedFile;

private:
    bool documentExists(const QString& applicantId) const;

    TMerrowindData& m_data;
    UserTalk& m_talk;
    Opener m_opener;
};

} // namespace mw
