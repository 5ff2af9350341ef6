#include "access/menurules.h"

#include <functional>

namespace mw {

namespace {

using Rule = std::function<MenuCommandState(const MenuContext&)>;

MenuCommandState enabledIf(bool on) { return {on, true}; }

struct NamedRule
{
    const char* objectName;
    Rule rule;
};

const std::vector<NamedRule>& rules()
{
    static const std::vector<NamedRule> table = {
        {"Export1", [](const MenuContext& c) { return enabledIf(c.rights.CanImport); }},
        {"SendNotifyList1", [](const MenuContext& c) { return enabledIf(c.informUsers && c.rights.CanImport); }},
        {"ResendNotifyList1", [](const MenuContext& c) { return enabledIf(c.informUsers && c.rights.CanImport); }},
        {"ResendNotifyListToGroup1",
         [](const MenuContext& c) { return enabledIf(c.informUsers && c.rights.CanImport); }},
        {"SettingsGeneral1",
         [](const MenuContext& c) { return enabledIf(c.rights.CanChangeSystem || c.rights.CanChangeGeneral); }},
        {"AdministratorSettings1", [](const MenuContext& c) { return enabledIf(c.rights.CanAddUsers); }},
        {"Security1", [](const MenuContext& c) { return enabledIf(c.rights.CanViewSecurity); }},
        {"New1", [](const MenuContext& c) { return enabledIf(c.rights.CanApprove); }},
        {"ReviewNew1",
         [](const MenuContext& c) { return MenuCommandState{c.rights.CanApprove, c.pdfViewerAvailable}; }},
        {"PurgeFiles1", [](const MenuContext& c) { return enabledIf(c.rights.CanPurgeFiles); }},
        {"NotRehirableExpiredDates1", [](const MenuContext& c) { return enabledIf(c.rights.CanProcessRIF); }},
        {"ProcessNotRehirable1", [](const MenuContext& c) { return enabledIf(c.rights.CanProcessRIF); }},
        {"ProcessRIF1", [](const MenuContext& c) { return enabledIf(c.rights.CanProcessRIF); }},
        {"DeleteOldRequestions1", [](const MenuContext& c) { return enabledIf(c.rights.CanDeleteOldReqs); }},
        {"ScannForApplications1", [](const MenuContext& c) { return enabledIf(c.rights.CanScanForApps); }},
        {"MarkOldRequisitions1", [](const MenuContext& c) { return enabledIf(c.rights.CanMarkOldReq); }},
        {"RemoveReqsFromWeb1", [](const MenuContext& c) { return enabledIf(c.rights.CanRemoveFilledReqs); }},
        {"ReloadWebSite1", [](const MenuContext& c) { return enabledIf(c.rights.CanReloadWeb); }},
        {"ReloadWebSiteForPostingID1", [](const MenuContext& c) { return enabledIf(c.rights.CanReloadWeb); }},
        {"MarkOldApplicantsAsReviewed1",
         [](const MenuContext& c) { return enabledIf(c.rights.CanMarkOldApplicants); }},
        {"DeleteInvalidApplications1", [](const MenuContext& c) { return enabledIf(c.rights.CanPurgeFiles); }},
        {"PackDatabase1", [](const MenuContext& c) { return enabledIf(c.rights.CanPackDatabase); }},
        {"MerrowindHelp1", [](const MenuContext& c) { return enabledIf(c.helpAvailable); }},
    };
    return table;
}

} // namespace

MenuCommandState menuCommandState(const QString& objectName, const MenuContext& context)
{
    for (const NamedRule& r : rules())
        if (objectName == QLatin1String(r.objectName))
            return r.rule(context);
    return {};
}

QStringList ruledMenuCommands()
{
    QStringList names;
    for (const NamedRule& r : rules())
        names << QLatin1String(r.objectName);
    return names;
}

bool watchesLoginDenial(const TSecurityData& rights) { return !(rights.CanChangeSystem || rights.CanChangeGeneral); }

} // namespace mw
