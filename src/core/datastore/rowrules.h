#pragma once
// The table rules that the import applies to the rows it writes itself, as plain
// functions of values. The table components' events call the same functions, so
// each rule exists once.

#include <QDate>
#include <QString>

#include <optional>

namespace mw {

class Database;

// The purge date an applicant is saved with: not before the later of its RIF and
// not-rehirable expiry days (the not-rehirable day when they are equal). An
// applicant without any of the three days keeps an empty purge date (nullopt).
std::optional<QDate> applicantPurgeDate(const QDate& purge, const QDate& rifExpires, const QDate& notRehireExpires);

// A requisition's contact addresses as saved: every ";" becomes "," (a width
// suffix after it pads the "," with blanks).
QString requisitionAddressList(const QString& addresses);
// The first address of a comma-separated list.
QString firstAddress(const QString& list);

// The delivery values the department contact table keeps per contact.
struct ContactDelivery
{
    QString address; // the first address only
    int maxFiles = 0;
    bool asEMail = true;
    bool asHTML = false;
    bool operator==(const ContactDelivery&) const = default;
};

// Keeps the department contact's entry in step with a requisition just saved:
// nothing when the requisition has no address or no contact or its values equal
// those remembered (remembered); else the contact's entry is updated, or made,
// with the day. True when it wrote.
bool updateDepartmentContact(Database& db, const QString& contact, const QString& addresses, int maxFiles,
                             bool asEMail, bool asHTML, const ContactDelivery& remembered, const QDate& today);

// Raises DbError when another requisition than reqNumber has the web address.
void checkWebAddressFree(Database& db, const QString& webAddress, const QString& reqNumber);

} // namespace mw
