#pragma once
// Shared by the template writers: the application query and the row placeholders.

#include "datastore/database.h"
#include "delivery/deptfiles.h"

#include <QSqlQuery>
#include <QVariant>
#include <QVector>

#include <iterator>
#include <utility>

namespace mw {

namespace detail {

// "yyyy-mm-dd" as stored to "mm/dd/yyyy"; anything else as it is.
inline QString storedDateText(const QString& stored)
{
    if (stored.size() == 10 && stored.at(4) == QLatin1Char('-') && stored.at(7) == QLatin1Char('-')) {
        QString out(10, Qt::Uninitialized);
        QChar* o = out.data();
        const QChar* s = stored.constData();
        o[0] = s[5], o[1] = s[6], o[2] = QLatin1Char('/'), o[3] = s[8], o[4] = s[9], o[5] = QLatin1Char('/');
        o[6] = s[0], o[7] = s[1], o[8] = s[2], o[9] = s[3];
        return out;
    }
    return stored;
}

inline bool isNullValue(const QVariant& v)
{
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

inline bool flagValue(const QVariant& v)
{
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        return s == QLatin1String("1") || s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }
    return v.toInt() != 0;
}

} // namespace detail

// The row tokens, in the order they are filled.
inline void rowSet(const TExportRow& row, PlaceholderSet& set)
{
    const std::pair<const char*, const QString*> tokens[] = {
        {"%APPID%", &row.ApplicantID},
        {"%JOBNUMBER%", &row.JobNumber},
        {"%APPNAME%", &row.Name},
        {"%APPAPPROVED%", &row.Approved},
        {"%APPREVIEWED%", &row.Reviewed},
        {"%APPADDRESS1%", &row.Address1},
        {"%APPADDRESS2%", &row.Address2},
        {"%APPADDRESS3%", &row.Address3},
        {"%APPCITY%", &row.City},
        {"%APPSTATE%", &row.State},
        {"%APPZIP%", &row.Zip},
        {"%APPPHONE%", &row.Phone},
        {"%APPINTERVIEW%", &row.InterviewDate},
        {"%APPAPPLIED%", &row.DispDate},
        {"%APPSENTON%", &row.SemtDate},
        {"%APPVET%", &row.VeteranPreference},
        {"%APPRIF%", &row.RIF},
        {"%APPRIFEXPIRES%", &row.RIFExpires},
        {"%APPNOTREHIRE%", &row.NotReHire},
        {"%APPNOTREHIREEXPIRES%", &row.NotReHireExpires},
        {"%APPREVIEWEDON%", &row.ApprovedDate},
        {"%APPSCANNED%", &row.Scanned},
    };
    // A set made by this function is refilled in place.
    if (set.size() == qsizetype(std::size(tokens))) {
        for (qsizetype i = 0; i < set.size(); ++i)
            set.valueAt(i) = *tokens[i].second;
        return;
    }
    for (const auto& t : tokens)
        set.set(QLatin1String(t.first), *t.second);
}


// The applications of a requisition in name order, each read into a row. They are
// all read when the query is made, before any line is written: nothing stays open
// in the database while the file is filled (on SQLite an open read would keep every
// other copy from committing).
struct TDeptFiles::AppQuery
{
    enum Col {
        ApplicantID, Approved, Reviewed, InterviewDate, DispDate, SemtDate, ApprovedDate, Name, Scanned,
        Address1, Address2, Address3, City, State, Zip, Phone, RIF, RIFExpires, VeteranPreference, NotReHire,
        NotReHireExpires, Columns
    };

    AppQuery(Database& db, const QString& reqNumber, bool approvedOnly, bool useDates, const QDate& from,
             const QDate& to)
    {
        QString sql = QStringLiteral(
            "SELECT Apps.ApplicantID, Apps.Approved, Apps.Reviewed, Apps.InterviewDate, "
            "Apps.DispDate, Apps.SemtDate, Apps.ApprovedDate, App.Name, App.Scanned, "
            "App.Address1, App.Address2, App.Address3, App.City, App.State, "
            "App.Zip, App.Phone, App.RIF, App.RIFExpires, App.VeteranPreference, "
            "App.NotRehire, App.NotRehireExpires\n"
            "FROM applications Apps, applicants App\n"
            "WHERE (Apps.ApplicantID = App.ApplicantID) AND ");
        QVariantList binds;
        if (approvedOnly)
            sql += QStringLiteral("(Apps.Approved = 1) AND ");
        if (useDates) {
            sql += QStringLiteral("(Apps.InterviewDate >= ? AND Apps.InterviewDate <= ?) AND ");
            binds << Database::toStorage(from) << Database::toStorage(to);
        }
        sql += QStringLiteral("(Apps.ReqNumber = ?) ORDER BY App.Name, Apps.ApplicantID");
        binds << reqNumber;
        QSqlQuery q = db.exec(sql, binds);
        while (q.next())
            for (int c = 0; c < Columns; ++c)
                values << q.value(c);
    }

    bool next()
    {
        at += Columns;
        return at < values.size();
    }
    // A column of the current application, as stored.
    const QVariant& value(Col col) const { return values.at(at + col); }

    // Fills the row from the current record; null values keep the row's empty value.
    void read(TExportRow& row)
    {
        auto text = [&](Col col, QString& into) {
            const QVariant& v = value(col);
            if (!detail::isNullValue(v))
                into = v.toString();
        };
        auto flag = [&](Col col, QString& into) {
            const QVariant& v = value(col);
            if (!detail::isNullValue(v))
                into = YesNo(detail::flagValue(v));
        };
        auto date = [&](Col col, QString& into) {
            const QVariant& v = value(col);
            if (!detail::isNullValue(v))
                into = detail::storedDateText(v.toString());
        };
        text(ApplicantID, row.ApplicantID);
        flag(Approved, row.Approved);
        flag(Reviewed, row.Reviewed);
        date(InterviewDate, row.InterviewDate);
        date(DispDate, row.DispDate);
        date(SemtDate, row.SemtDate);
        date(ApprovedDate, row.ApprovedDate);
        text(Name, row.Name);
        flag(Scanned, row.Scanned);
        text(Address1, row.Address1);
        text(Address2, row.Address2);
        text(Address3, row.Address3);
        text(City, row.City);
        text(State, row.State);
        text(Zip, row.Zip);
        text(Phone, row.Phone);
        flag(RIF, row.RIF);
        date(RIFExpires, row.RIFExpires);
        flag(VeteranPreference, row.VeteranPreference);
        flag(NotReHire, row.NotReHire);
        date(NotReHireExpires, row.NotReHireExpires);
    }

    QVector<QVariant> values; // the applications one after the other, Columns values each
    qsizetype at = -Columns;  // the current application's first value
};

} // namespace mw
