#pragma once
// The compound document container around a workbook: a little file system of
// sectors, a sector allocation table and a directory of named streams. We read
// streams from the root storage and write a document with a single stream.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace mw::xls::cfb {

// A compound document read from memory. The constructor checks the header, the
// allocation tables and the directory; any damage raises WorkbookError.
class CompoundReader
{
public:
    explicit CompoundReader(const QByteArray& file);

    // True when the root storage holds a stream of that name (case-insensitive).
    bool hasStream(const QString& name) const;
    // The stream's bytes. Raises WorkbookError when there is none or it is damaged.
    QByteArray stream(const QString& name) const;

private:
    struct Entry
    {
        QString name;
        quint8 type = 0;
        quint32 left = 0xFFFFFFFF;
        quint32 right = 0xFFFFFFFF;
        quint32 child = 0xFFFFFFFF;
        quint32 start = 0;
        quint64 size = 0;
    };

    const uchar* sector(quint32 id) const;
    QVector<quint32> chain(quint32 start, qint64 wanted, const QVector<quint32>& table, quint32 limit) const;
    QByteArray readRegular(quint32 start, quint64 size) const;
    QByteArray readMini(quint32 start, quint64 size) const;
    int findInRoot(const QString& name) const;

    QByteArray m_file;
    quint32 m_sectorSize = 512;
    quint32 m_sectorCount = 0;
    quint32 m_miniCutoff = 4096;
    QVector<quint32> m_fat;
    QVector<quint32> m_miniFat;
    QVector<Entry> m_entries;
    QByteArray m_miniStream;
};

// A compound document (512-byte sectors) whose root storage holds one stream.
// A stream shorter than 4096 bytes is padded with zeros up to that size unless
// useMiniStream is set, in which case it goes into the mini stream.
QByteArray writeCompound(const QString& streamName, const QByteArray& data, bool useMiniStream = false);

} // namespace mw::xls::cfb
