// The rules that run when records are edited, posted, deleted or filtered through
// the table components. Statements run through the queries bypass them.

#include "datastore/merrowinddata.h"
#include "datastore/rowrules.h"
#include "shared/placeholders.h"

#include <QSqlQuery>

namespace mw {

namespace {

QString escapeLike(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

const QDate kZeroDay(1899, 12, 30);

} // namespace

QString firstAddress(const QString& list)
{
    const qsizetype comma = list.indexOf(QLatin1Char(','));
    return comma < 0 ? list : list.left(comma);
}

std::optional<QDate> applicantPurgeDate(const QDate& purge, const QDate& rifExpires, const QDate& notRehireExpires)
{
    // An applicant without any of the three days keeps an empty purge date
    // rather than becoming due at once.
    if (!rifExpires.isValid() && !notRehireExpires.isValid() && !purge.isValid())
        return std::nullopt;
    const QDate r = rifExpires.isValid() ? rifExpires : kZeroDay;
    const QDate n = notRehireExpires.isValid() ? notRehireExpires : kZeroDay;
    const QDate p = purge.isValid() ? purge : kZeroDay;
    if (p > r && p > n)
        return p;
    return r > n ? r : n;
}

QString requisitionAddressList(const QString& addresses)
{
    QString v = addresses;
    ReplacePlaceholder(v, QStringLiteral(";"), QStringLiteral(","));
    return v;
}

bool updateDepartmentContact(Database& db, const QString& contact, const QString& addresses, int maxFiles,
                             bool asEMail, bool asHTML, const ContactDelivery& remembered, const QDate& today)
{
    if (addresses.isEmpty())
        return false;
    const ContactDelivery now{firstAddress(addresses), maxFiles, asEMail, asHTML};
    if (now == remembered || contact.isEmpty())
        return false;
    const int changed = TQuery::run(db,
                                    QStringLiteral("UPDATE dept_contacts SET EMailAddress = ?, Updated = ?, "
                                                   "MaxFiles = ?, SendAsEMail = ?, SendAsHTML = ? "
                                                   "WHERE Contact = ?"),
                                    {now.address, today, now.maxFiles, now.asEMail, now.asHTML, contact});
    if (changed == 0)
        TQuery::run(db,
                    QStringLiteral("INSERT INTO dept_contacts (Contact, EMailAddress, Updated, MaxFiles, SendAsEMail, "
                                   "SendAsHTML) VALUES (?, ?, ?, ?, ?, ?)"),
                    {contact, now.address, today, now.maxFiles, now.asEMail, now.asHTML});
    return true;
}

void checkWebAddressFree(Database& db, const QString& webAddress, const QString& reqNumber)
{
    const QString address = webAddress.trimmed();
    if (address.isEmpty())
        return;
    QSqlQuery& q = db.execCached(QStringLiteral("SELECT ReqNumber FROM requisitions WHERE LOWER(WebAddress) = ? AND "
                                                "ReqNumber <> ?"),
                                 {address.toLower(), reqNumber});
    const bool used = q.next();
    const QString other = used ? q.value(0).toString() : QString();
    q.finish();
    if (used)
        throw DbError(QStringLiteral("The web address %1 is already used by requisition %2.").arg(address, other));
}

bool TMerrowindData::InReqNumberList(const QString& reqNumber) const { return ReqNumberList.contains(reqNumber); }

QString TMerrowindData::likeContains(const QString& column) const
{
    return upper(column) + QStringLiteral(" LIKE ? ESCAPE '\\'");
}

void TMerrowindData::installRules()
{
    // ---- users
    UserSettingsTable.beforeEdit = [this](TTable& t) { OldUserID = t.fieldByName(QStringLiteral("UserID")).asString(); };
    // A renamed user takes his list entries along, in the same transaction.
    UserSettingsTable.onWrite = [this](TTable& t) {
        if (t.state() != DataSetState::Edit)
            return;
        const QString id = t.fieldByName(QStringLiteral("UserID")).asString();
        if (id == OldUserID)
            return;
        // The lists name users ignoring letter case, as the logon does.
        for (const char* list : {"notify_list", "restrict_list"})
            TQuery::run(m_db,
                        QStringLiteral("UPDATE %1 SET UserID = ? WHERE %2 = ?")
                            .arg(QLatin1String(list), upper(QStringLiteral("UserID"))),
                        {id, OldUserID.toUpper()});
    };
    UserSettingsTable.beforeDelete = [this](TTable& t) {
        const TField f = t.fieldByName(QStringLiteral("UserID"));
        if (f.isNull())
            return;
        const QString id = f.asString().toUpper();
        for (const char* list : {"notify_list", "restrict_list"})
            TQuery::run(m_db,
                        QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(QLatin1String(list), upper(QStringLiteral("UserID"))),
                        {id});
    };

    // ---- job posting groups
    JobPostingIDTable.beforeEdit = [this](TTable& t) {
        OldPostingID = t.fieldByName(QStringLiteral("JobPostingID")).asString();
    };
    JobPostingIDTable.onWrite = [this](TTable& t) {
        if (t.state() != DataSetState::Edit || OldPostingID.isEmpty())
            return;
        const QString id = t.fieldByName(QStringLiteral("JobPostingID")).asString();
        if (id == OldPostingID)
            return;
        TQuery::run(m_db, QStringLiteral("UPDATE notify_list SET JobPostingID = ? WHERE JobPostingID = ?"),
                    {id, OldPostingID});
        TQuery::run(m_db, QStringLiteral("UPDATE restrict_list SET JobPostingID = ? WHERE JobPostingID = ?"),
                    {id, OldPostingID});
    };
    JobPostingIDTable.beforeDelete = [this](TTable& t) {
        const TField f = t.fieldByName(QStringLiteral("JobPostingID"));
        if (f.isNull())
            return;
        const QString id = f.asString();
        TQuery::run(m_db, QStringLiteral("DELETE FROM notify_list WHERE JobPostingID = ?"), {id});
        TQuery::run(m_db, QStringLiteral("DELETE FROM restrict_list WHERE JobPostingID = ?"), {id});
    };

    // ---- applicants
    ApplicantTable.beforePost = [this](TTable& t) {
        t.fieldByName(QStringLiteral("ModifiedBy")).setValue(LoginData.UserID);
        t.fieldByName(QStringLiteral("ModifiedDate")).setValue(today());
        TField purge = t.fieldByName(QStringLiteral("PurgeDate"));
        const std::optional<QDate> day =
            applicantPurgeDate(purge.isNull() ? QDate() : purge.asDate(),
                               t.fieldByName(QStringLiteral("RIFExpires")).asDate(),
                               t.fieldByName(QStringLiteral("NotRehireExpires")).asDate());
        if (day && (purge.isNull() || purge.asDate() != *day))
            purge.setValue(*day);
    };

    // ---- applications
    ApplicationTable.beforeEdit = [this](TTable& t) {
        OldReviewed = t.fieldByName(QStringLiteral("Reviewed")).asBoolean();
        OldApproved = t.fieldByName(QStringLiteral("Approved")).asBoolean();
    };
    ApplicationTable.beforePost = [this](TTable& t) {
        t.fieldByName(QStringLiteral("ModifiedBy")).setValue(LoginData.UserID);
        t.fieldByName(QStringLiteral("ModifiedDate")).setValue(today());
        const bool reviewed = t.fieldByName(QStringLiteral("Reviewed")).asBoolean();
        const bool approved = t.fieldByName(QStringLiteral("Approved")).asBoolean();
        if (reviewed != OldReviewed || approved != OldApproved) {
            t.fieldByName(QStringLiteral("ApprovedBy")).setValue(LoginData.UserID);
            t.fieldByName(QStringLiteral("ApprovedDate")).setValue(today());
        }
    };

    // ---- requisitions
    RequestionTable.beforeEdit = [this](TTable& t) {
        OldContactEMail = firstAddress(t.fieldByName(QStringLiteral("EMailAddress")).asString());
        OldMaxFiles = t.fieldByName(QStringLiteral("MaxFiles")).asInteger();
        const TField asEMail = t.fieldByName(QStringLiteral("SendAsEMail"));
        OldSendAsEMail = asEMail.isNull() ? true : asEMail.asBoolean();
        OldSendAsHTML = t.fieldByName(QStringLiteral("SendAsHTML")).asBoolean();
    };
    RequestionTable.beforePost = [this](TTable& t) {
        TField mail = t.fieldByName(QStringLiteral("EMailAddress"));
        if (!mail.isNull()) {
            const QString v = requisitionAddressList(mail.asString());
            if (v != mail.asString())
                mail.setValue(v);
        }
        t.fieldByName(QStringLiteral("ModifiedBy")).setValue(LoginData.UserID);
        t.fieldByName(QStringLiteral("ModifiedDate")).setValue(today());
    };
    // A web address names one requisition's directory on the web server: two
    // requisitions under one address would show each other's documents.
    RequestionTable.onWrite = [this](TTable& t) {
        checkWebAddressFree(m_db, t.fieldByName(QStringLiteral("WebAddress")).asString(),
                            t.fieldByName(QStringLiteral("ReqNumber")).asString());
    };
    RequestionTable.afterPost = [this](TTable& t) {
        const TField asEMail = t.fieldByName(QStringLiteral("SendAsEMail"));
        const bool written = updateDepartmentContact(
            m_db, t.fieldByName(QStringLiteral("Contact")).asString(),
            t.fieldByName(QStringLiteral("EMailAddress")).asString(), t.fieldByName(QStringLiteral("MaxFiles")).asInteger(),
            asEMail.isNull() ? true : asEMail.asBoolean(), t.fieldByName(QStringLiteral("SendAsHTML")).asBoolean(),
            rememberedDelivery(), today());
        if (written && EMailTable.active() && EMailTable.state() == DataSetState::Browse)
            EMailTable.refresh();
    };
}

ContactDelivery TMerrowindData::rememberedDelivery() const
{
    return {OldContactEMail, OldMaxFiles, OldSendAsEMail, OldSendAsHTML};
}

SqlFilter TMerrowindData::applicantFilter()
{
    ApplicantSearchText = ApplicantSearchText.toUpper();
    if (ApplicantSearchText.isEmpty())
        return SqlFilter::none();
    const QString pattern = QLatin1Char('%') + escapeLike(ApplicantSearchText) + QLatin1Char('%');
    SqlFilter f;
    QStringList ors;
    const std::pair<bool, const char*> fields[] = {
        {SearchInName, "t.Name"}, {SearchInID, "t.ApplicantID"}, {SearchInSSN, "t.Soc"}, {SearchInPhone, "t.Phone"}};
    for (const auto& [on, column] : fields) {
        if (!on)
            continue;
        ors << likeContains(QLatin1String(column));
        f.binds << pattern;
    }
    if (ors.isEmpty())
        return SqlFilter::none();
    f.where = ors.join(QStringLiteral(" OR "));
    // A name search for a rare name: let the trigram index pick the candidates, and
    // the condition above decide. A common name is quicker found in key order.
    if (m_nameIndex && ors.size() == 1 && SearchInName && ApplicantSearchText.size() >= 3) {
        QString phrase = ApplicantSearchText;
        phrase.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        phrase = QLatin1Char('"') + phrase + QLatin1Char('"');
        constexpr int rare = 2000;
        QSqlQuery& q = m_db.execCached(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM applicant_names "
                                                      "WHERE applicant_names MATCH ? LIMIT ?) c"),
                                       {phrase, rare});
        const int candidates = q.next() ? q.value(0).toInt() : rare;
        q.finish();
        const QString indexed =
            QStringLiteral("t.rid IN (SELECT rowid FROM applicant_names WHERE applicant_names MATCH ?) AND ") + f.where;
        QVariantList indexedBinds = f.binds;
        indexedBinds.prepend(phrase);
        // Counting goes through the index whatever the name: it reads no more than the matches.
        f.countWhere = indexed;
        f.countBinds = indexedBinds;
        if (candidates < rare) {
            f.where = indexed;
            f.binds = indexedBinds;
        }
    }
    return f;
}

SqlFilter TMerrowindData::applicationFilter()
{
    const QString notReviewed = QStringLiteral("(t.Reviewed IS NULL OR t.Reviewed = 0)");
    const QString inList = QStringLiteral("t.ReqNumber IN (SELECT v FROM mw_reqlist)");
    SqlFilter f;
    if (!ReqNumberFilter.isEmpty()) {
        f.where = likeContains(QStringLiteral("t.ReqNumber"));
        f.binds << QLatin1Char('%') + escapeLike(ReqNumberFilter) + QLatin1Char('%');
        if (UnreviewedOnly)
            f.where += QStringLiteral(" AND ") + notReviewed;
        return f;
    }
    if (UnreviewedOnly) {
        f.where = notReviewed;
        if (!ReviewPostingGroup.isEmpty()) {
            fillTempList(QStringLiteral("mw_reqlist"), ReqNumberList);
            f.where += QStringLiteral(" AND ") + inList;
        }
        return f;
    }
    if (ApplicantSearchText.isEmpty())
        return SqlFilter::none();
    f.where = likeContains(QStringLiteral("t.ApplicantID"));
    f.binds << QLatin1Char('%') + escapeLike(ApplicantSearchText) + QLatin1Char('%');
    if (LoginData.Restricted) {
        fillTempList(QStringLiteral("mw_reqlist"), ReqNumberList);
        f.where += QStringLiteral(" AND ") + inList;
    }
    return f;
}

SqlFilter TMerrowindData::requisitionFilter()
{
    SqlFilter f;
    QStringList ors;
    if (!PostingGroupFilter.isEmpty()) {
        ors << upper(QStringLiteral("t.JobPostingID")) + QStringLiteral(" LIKE ? ESCAPE '\\'");
        f.binds << escapeLike(PostingGroupFilter.toUpper()) + QLatin1Char('%');
    }
    if (!ReqNumberFilter.isEmpty()) {
        ors << likeContains(QStringLiteral("t.ReqNumber"));
        f.binds << QLatin1Char('%') + escapeLike(ReqNumberFilter) + QLatin1Char('%');
    }
    if (ors.isEmpty())
        return SqlFilter::none();
    f.where = ors.join(QStringLiteral(" OR "));
    return f;
}

void TMerrowindData::installFilters()
{
    UserSettingsTable.setFilterProvider([this] {
        SqlFilter f;
        if (!UserIDFilter.isEmpty()) {
            f.where = upper(QStringLiteral("t.UserID")) + QStringLiteral(" = ?");
            f.binds << UserIDFilter.toUpper();
        } else {
            f.where = QStringLiteral("t.SecurityID <> 0");
        }
        return f;
    });
    JobPostingIDTable.setFilterProvider([this] {
        if (PermittedGroups.isEmpty())
            return SqlFilter::none();
        SqlFilter f;
        const SqlList list = PermittedGroupsSQL();
        f.where = QStringLiteral("t.JobPostingID IN ") + list.sql;
        f.binds = list.binds;
        return f;
    });
    ApplicantTable.setFilterProvider([this] { return applicantFilter(); });
    ApplicationTable.setFilterProvider([this] { return applicationFilter(); });
    RequestionTable.setFilterProvider([this] { return requisitionFilter(); });
    auto listUser = [this] {
        if (ListUserFilter.isEmpty())
            return SqlFilter::none();
        SqlFilter f;
        f.where = upper(QStringLiteral("t.UserID")) + QStringLiteral(" = ?");
        f.binds << ListUserFilter.toUpper();
        return f;
    };
    NotifyTable.setFilterProvider(listUser);
    RestrictTable.setFilterProvider(listUser);
    SecurityTable.setFilterProvider([] {
        SqlFilter f;
        f.where = QStringLiteral("t.SecurityID <> 0");
        return f;
    });
}

} // namespace mw
