#include "compoundfile.h"

#include "workbook.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <vector>

namespace mw::xls::cfb {

namespace {

constexpr quint32 kFree = 0xFFFFFFFF;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr quint32 kDifatSector = 0xFFFFFFFC;
constexpr quint32 kNoStream = 0xFFFFFFFF;
constexpr quint32 kLastRegular = 0xFFFFFFFA;
constexpr int kHeaderDifatSlots = 109;
constexpr quint32 kMiniSectorSize = 64;
constexpr int kEntrySize = 128;
constexpr quint8 kTypeStream = 2;
constexpr quint8 kTypeRoot = 5;

const uchar kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

quint16 get16(const uchar* p) { return qFromLittleEndian<quint16>(p); }
quint32 get32(const uchar* p) { return qFromLittleEndian<quint32>(p); }
quint64 get64(const uchar* p) { return qFromLittleEndian<quint64>(p); }

[[noreturn]] void damaged(const char* what)
{
    throw WorkbookError(QStringLiteral("The workbook file is damaged (%1).").arg(QLatin1String(what)));
}

} // namespace

CompoundReader::CompoundReader(const QByteArray& file)
    : m_file(file)
{
    const auto* head = reinterpret_cast<const uchar*>(m_file.constData());
    if (m_file.size() < 512 || std::memcmp(head, kSignature, sizeof kSignature) != 0)
        throw WorkbookError(QStringLiteral("Not a workbook file: it is not a compound document."));
    const quint16 shift = get16(head + 0x1E);
    if (shift != 9 && shift != 12)
        damaged("sector size");
    if (get16(head + 0x20) != 6)
        damaged("mini sector size");
    m_sectorSize = 1u << shift;
    if (m_file.size() < qsizetype(m_sectorSize))
        damaged("truncated header");
    // Sector 0 starts right after the header sector; a partial last sector is not used.
    m_sectorCount = quint32((m_file.size() - m_sectorSize) / m_sectorSize);

    const quint32 fatCount = get32(head + 0x2C);
    const quint32 firstDirectory = get32(head + 0x30);
    m_miniCutoff = get32(head + 0x38);
    const quint32 firstMiniFat = get32(head + 0x3C);
    quint32 difat = get32(head + 0x44);
    if (fatCount == 0 || fatCount > m_sectorCount)
        damaged("allocation table size");

    // Where the allocation table's sectors are: 109 in the header, the rest in a chain of DIFAT sectors.
    QVector<quint32> fatSectors;
    fatSectors.reserve(fatCount);
    for (int i = 0; i < kHeaderDifatSlots && quint32(fatSectors.size()) < fatCount; ++i)
        fatSectors.append(get32(head + 0x4C + 4 * i));
    const quint32 perDifat = m_sectorSize / 4 - 1;
    std::vector<bool> seenDifat(m_sectorCount, false);
    while (quint32(fatSectors.size()) < fatCount) {
        if (difat >= m_sectorCount)
            damaged("allocation table index");
        if (seenDifat[difat])
            damaged("allocation table index loops");
        seenDifat[difat] = true;
        const uchar* p = sector(difat);
        for (quint32 j = 0; j < perDifat && quint32(fatSectors.size()) < fatCount; ++j)
            fatSectors.append(get32(p + 4 * j));
        difat = get32(p + 4 * perDifat);
    }
    m_fat.reserve(qsizetype(fatCount) * (m_sectorSize / 4));
    for (quint32 id : fatSectors) {
        if (id >= m_sectorCount)
            damaged("allocation table sector");
        const uchar* p = sector(id);
        for (quint32 j = 0; j < m_sectorSize / 4; ++j)
            m_fat.append(get32(p + 4 * j));
    }

    // The directory.
    const QVector<quint32> dirChain = chain(firstDirectory, -1, m_fat, m_sectorCount);
    if (dirChain.isEmpty())
        damaged("no directory");
    m_entries.reserve(dirChain.size() * qsizetype(m_sectorSize / kEntrySize));
    const bool wideSizes = shift == 12;
    for (quint32 id : dirChain) {
        const uchar* p = sector(id);
        for (quint32 k = 0; k < m_sectorSize / kEntrySize; ++k) {
            const uchar* e = p + k * kEntrySize;
            Entry entry;
            const quint16 nameBytes = get16(e + 0x40);
            if (nameBytes >= 2 && nameBytes <= 64 && nameBytes % 2 == 0) {
                const int chars = nameBytes / 2 - 1;
                entry.name.resize(chars);
                for (int c = 0; c < chars; ++c)
                    entry.name[c] = QChar(get16(e + 2 * c));
            }
            entry.type = e[0x42];
            entry.left = get32(e + 0x44);
            entry.right = get32(e + 0x48);
            entry.child = get32(e + 0x4C);
            entry.start = get32(e + 0x74);
            // Old writers leave junk in the high half of the size with 512-byte sectors.
            entry.size = wideSizes ? get64(e + 0x78) : get32(e + 0x78);
            m_entries.append(entry);
        }
    }
    if (m_entries.first().type != kTypeRoot)
        damaged("no root storage");

    // The mini stream lives in the root entry's chain; its allocation table in its own chain.
    const Entry& root = m_entries.first();
    if (root.size > 0 && root.start != kEndOfChain) {
        m_miniStream = readRegular(root.start, root.size);
        if (firstMiniFat != kEndOfChain && firstMiniFat != kFree) {
            const QVector<quint32> miniFatChain = chain(firstMiniFat, -1, m_fat, m_sectorCount);
            m_miniFat.reserve(miniFatChain.size() * qsizetype(m_sectorSize / 4));
            for (quint32 id : miniFatChain) {
                const uchar* p = sector(id);
                for (quint32 j = 0; j < m_sectorSize / 4; ++j)
                    m_miniFat.append(get32(p + 4 * j));
            }
        }
    }
}

const uchar* CompoundReader::sector(quint32 id) const
{
    // Callers have checked id < m_sectorCount.
    return reinterpret_cast<const uchar*>(m_file.constData()) + (qsizetype(id) + 1) * m_sectorSize;
}

// The sectors of a chain, at most `wanted` of them (all when negative). Sector
// indexes are checked against `limit`, and a chain longer than the table loops.
QVector<quint32> CompoundReader::chain(quint32 start, qint64 wanted, const QVector<quint32>& table, quint32 limit) const
{
    QVector<quint32> out;
    std::vector<bool> seen(size_t(std::min<quint32>(limit, quint32(table.size()))), false);
    quint32 id = start;
    while (id != kEndOfChain && (wanted < 0 || out.size() < wanted)) {
        if (id > kLastRegular || id >= limit || id >= quint32(table.size()))
            damaged("sector index out of range");
        if (seen[id])
            damaged("sector chain loops");
        seen[id] = true;
        out.append(id);
        id = table[id];
    }
    return out;
}

namespace {

// The first size bytes of a chain of sectors, each sectorSize long.
template <typename SectorData>
QByteArray gather(const QVector<quint32>& ids, quint64 size, quint64 sectorSize, SectorData data)
{
    QByteArray out;
    out.reserve(qsizetype(size));
    quint64 left = size;
    for (quint32 id : ids) {
        const quint64 n = std::min<quint64>(left, sectorSize);
        out.append(data(id), qsizetype(n));
        left -= n;
    }
    return out;
}

} // namespace

QByteArray CompoundReader::readRegular(quint32 start, quint64 size) const
{
    if (size > quint64(m_sectorCount) * m_sectorSize)
        damaged("stream larger than the file");
    const qint64 wanted = qint64((size + m_sectorSize - 1) / m_sectorSize);
    const QVector<quint32> ids = chain(start, wanted, m_fat, m_sectorCount);
    if (ids.size() < wanted)
        damaged("stream shorter than its size");
    return gather(ids, size, m_sectorSize, [this](quint32 id) { return reinterpret_cast<const char*>(sector(id)); });
}

QByteArray CompoundReader::readMini(quint32 start, quint64 size) const
{
    const quint32 miniCount = quint32(m_miniStream.size() / kMiniSectorSize);
    if (size > quint64(miniCount) * kMiniSectorSize)
        damaged("stream larger than the mini stream");
    const qint64 wanted = qint64((size + kMiniSectorSize - 1) / kMiniSectorSize);
    const QVector<quint32> ids = chain(start, wanted, m_miniFat, miniCount);
    if (ids.size() < wanted)
        damaged("stream shorter than its size");
    return gather(ids, size, kMiniSectorSize,
                  [this](quint32 id) { return m_miniStream.constData() + qsizetype(id) * kMiniSectorSize; });
}

// The root storage's children form a tree through their left, right and child links.
int CompoundReader::findInRoot(const QString& name) const
{
    QVector<bool> seen(m_entries.size(), false);
    QVector<quint32> todo{m_entries.first().child};
    while (!todo.isEmpty()) {
        const quint32 i = todo.takeLast();
        if (i == kNoStream || i >= quint32(m_entries.size()) || seen[i])
            continue;
        seen[i] = true;
        const Entry& e = m_entries[i];
        if (e.type == kTypeStream && e.name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
        todo.append(e.left);
        todo.append(e.right);
    }
    return -1;
}

bool CompoundReader::hasStream(const QString& name) const
{
    return findInRoot(name) >= 0;
}

QByteArray CompoundReader::stream(const QString& name) const
{
    const int i = findInRoot(name);
    if (i < 0)
        throw WorkbookError(QStringLiteral("The file has no \"%1\" stream.").arg(name));
    const Entry& e = m_entries[i];
    if (e.size == 0)
        return QByteArray();
    return e.size < m_miniCutoff ? readMini(e.start, e.size) : readRegular(e.start, e.size);
}

namespace {

void put16(QByteArray& out, qsizetype at, quint16 v) { qToLittleEndian(v, out.data() + at); }
void put32(QByteArray& out, qsizetype at, quint32 v) { qToLittleEndian(v, out.data() + at); }

void putEntry(QByteArray& out, qsizetype at, const QString& name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    for (int i = 0; i < name.size() && i < 31; ++i)
        put16(out, at + 2 * i, name[i].unicode());
    put16(out, at + 0x40, quint16((std::min<qsizetype>(name.size(), 31) + 1) * 2));
    out[at + 0x42] = char(type);
    out[at + 0x43] = 1; // black
    put32(out, at + 0x44, kNoStream);
    put32(out, at + 0x48, kNoStream);
    put32(out, at + 0x4C, child);
    put32(out, at + 0x74, start);
    put32(out, at + 0x78, size);
}

} // namespace

QByteArray writeCompound(const QString& streamName, const QByteArray& data, bool useMiniStream)
{
    constexpr quint32 kSector = 512;
    constexpr quint32 kPerFat = kSector / 4;
    constexpr quint32 kPerDifat = kPerFat - 1;
    const bool mini = useMiniStream && data.size() < 4096;
    if (quint64(data.size()) >= 0xFFFFF000u)
        throw WorkbookError(QStringLiteral("The workbook is too large to write."));

    QByteArray payload = data; // what goes into regular sectors: the stream or the mini stream
    quint32 streamSize = quint32(data.size());
    quint32 miniSectors = 0;
    if (mini) {
        miniSectors = quint32((data.size() + kMiniSectorSize - 1) / kMiniSectorSize);
        payload.resize(qsizetype(miniSectors) * kMiniSectorSize, '\0');
    } else if (payload.size() < 4096) {
        payload.resize(4096, '\0');
        streamSize = 4096;
    }
    const quint32 dataSectors = quint32((payload.size() + kSector - 1) / kSector);
    const quint32 miniFatSectors = mini ? (miniSectors * 4 + kSector - 1) / kSector : 0;
    const quint32 dirSectors = 1;
    quint32 fatSectors = 1;
    quint32 difatSectors = 0;
    for (;;) {
        const quint32 total = dataSectors + miniFatSectors + dirSectors + fatSectors + difatSectors;
        const quint32 needFat = (total + kPerFat - 1) / kPerFat;
        const quint32 needDifat = needFat > kHeaderDifatSlots ? (needFat - kHeaderDifatSlots + kPerDifat - 1) / kPerDifat : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = std::max(fatSectors, needFat);
        difatSectors = std::max(difatSectors, needDifat);
    }
    const quint32 firstMiniFat = dataSectors;
    const quint32 firstDir = firstMiniFat + miniFatSectors;
    const quint32 firstFat = firstDir + dirSectors;
    const quint32 firstDifat = firstFat + fatSectors;
    const quint32 totalSectors = firstDifat + difatSectors;

    QByteArray out(qsizetype(totalSectors + 1) * kSector, '\0');
    // Header.
    std::memcpy(out.data(), kSignature, sizeof kSignature);
    put16(out, 0x18, 0x003E);
    put16(out, 0x1A, 3);
    put16(out, 0x1C, 0xFFFE);
    put16(out, 0x1E, 9);
    put16(out, 0x20, 6);
    put32(out, 0x2C, fatSectors);
    put32(out, 0x30, firstDir);
    put32(out, 0x38, 4096);
    put32(out, 0x3C, mini ? firstMiniFat : kEndOfChain);
    put32(out, 0x40, miniFatSectors);
    put32(out, 0x44, difatSectors ? firstDifat : kEndOfChain);
    put32(out, 0x48, difatSectors);
    for (int i = 0; i < kHeaderDifatSlots; ++i)
        put32(out, 0x4C + 4 * i, quint32(i) < fatSectors ? firstFat + quint32(i) : kFree);

    const auto at = [](quint32 id) { return qsizetype(id + 1) * kSector; };
    std::memcpy(out.data() + at(0), payload.constData(), size_t(payload.size()));

    // The allocation table.
    const auto setFat = [&](quint32 id, quint32 next) { put32(out, at(firstFat) + 4 * qsizetype(id), next); };
    for (quint32 id = totalSectors; id < fatSectors * kPerFat; ++id)
        setFat(id, kFree);
    const auto chainUp = [&](quint32 first, quint32 count) {
        for (quint32 k = 0; k < count; ++k)
            setFat(first + k, k + 1 < count ? first + k + 1 : kEndOfChain);
    };
    chainUp(0, dataSectors);
    chainUp(firstMiniFat, miniFatSectors);
    chainUp(firstDir, dirSectors);
    for (quint32 k = 0; k < fatSectors; ++k)
        setFat(firstFat + k, kFatSector);
    for (quint32 k = 0; k < difatSectors; ++k)
        setFat(firstDifat + k, kDifatSector);

    // DIFAT sectors for the FAT sectors beyond the header's 109.
    for (quint32 k = 0; k < difatSectors; ++k) {
        const qsizetype base = at(firstDifat + k);
        for (quint32 j = 0; j < kPerDifat; ++j) {
            const quint32 n = kHeaderDifatSlots + k * kPerDifat + j;
            put32(out, base + 4 * j, n < fatSectors ? firstFat + n : kFree);
        }
        put32(out, base + 4 * kPerDifat, k + 1 < difatSectors ? firstDifat + k + 1 : kEndOfChain);
    }

    // The mini allocation table: one chain.
    if (mini) {
        const qsizetype base = at(firstMiniFat);
        for (quint32 j = 0; j < miniFatSectors * kPerFat; ++j)
            put32(out, base + 4 * j, j < miniSectors ? (j + 1 < miniSectors ? j + 1 : kEndOfChain) : kFree);
    }

    // The directory: root, the stream, two unused entries.
    const qsizetype dir = at(firstDir);
    putEntry(out, dir, QStringLiteral("Root Entry"), kTypeRoot, 1, mini ? 0 : kEndOfChain, mini ? quint32(payload.size()) : 0);
    putEntry(out, dir + kEntrySize, streamName, kTypeStream, kNoStream, 0, streamSize);
    for (int k = 2; k < 4; ++k) {
        put32(out, dir + k * kEntrySize + 0x44, kNoStream);
        put32(out, dir + k * kEntrySize + 0x48, kNoStream);
        put32(out, dir + k * kEntrySize + 0x4C, kNoStream);
    }
    return out;
}

} // namespace mw::xls::cfb
