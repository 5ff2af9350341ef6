// The menu's enabling rules: rights and settings to enabled and visible.

#include "access/menurules.h"

#include <gtest/gtest.h>

using namespace mw;

namespace {

// A profile with exactly one right (or none).
TSecurityData only(bool TSecurityData::*right)
{
    TSecurityData r;
    if (right)
        r.*right = true;
    return r;
}

} // namespace

TEST(MenuRules, EachCommandFollowsItsRight)
{
    const struct
    {
        const char* command;
        bool TSecurityData::*right;
    } cases[] = {
        {"Export1", &TSecurityData::CanImport},
        {"SettingsGeneral1", &TSecurityData::CanChangeSystem},
        {"SettingsGeneral1", &TSecurityData::CanChangeGeneral},
        {"AdministratorSettings1", &TSecurityData::CanAddUsers},
        {"Security1", &TSecurityData::CanViewSecurity},
        {"New1", &TSecurityData::CanApprove},
        {"ReviewNew1", &TSecurityData::CanApprove},
        {"PurgeFiles1", &TSecurityData::CanPurgeFiles},
        {"DeleteInvalidApplications1", &TSecurityData::CanPurgeFiles},
        {"NotRehirableExpiredDates1", &TSecurityData::CanProcessRIF},
        {"ProcessNotRehirable1", &TSecurityData::CanProcessRIF},
        {"ProcessRIF1", &TSecurityData::CanProcessRIF},
        {"DeleteOldRequestions1", &TSecurityData::CanDeleteOldReqs},
        {"ScannForApplications1", &TSecurityData::CanScanForApps},
        {"MarkOldRequisitions1", &TSecurityData::CanMarkOldReq},
        {"RemoveReqsFromWeb1", &TSecurityData::CanRemoveFilledReqs},
        {"ReloadWebSite1", &TSecurityData::CanReloadWeb},
        {"ReloadWebSiteForPostingID1", &TSecurityData::CanReloadWeb},
        {"MarkOldApplicantsAsReviewed1", &TSecurityData::CanMarkOldApplicants},
        {"PackDatabase1", &TSecurityData::CanPackDatabase},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        MenuContext with;
        with.rights = only(c.right);
        with.pdfViewerAvailable = true;
        MenuContext without = with;
        without.rights = only(nullptr);
        EXPECT_TRUE(menuCommandState(QLatin1String(c.command), with).enabled);
        EXPECT_FALSE(menuCommandState(QLatin1String(c.command), without).enabled);
        // A right of another command does not open this one.
        for (const auto& other : cases) {
            if (QLatin1String(other.command) == QLatin1String(c.command) || other.right == c.right)
                continue;
            MenuContext wrong = with;
            wrong.rights = only(other.right);
            EXPECT_FALSE(menuCommandState(QLatin1String(c.command), wrong).enabled) << "opened by " << other.command;
        }
    }
}

TEST(MenuRules, SettingsAndTheMachineCountToo)
{
    TSecurityData importer = only(&TSecurityData::CanImport);
    for (const char* notify : {"SendNotifyList1", "ResendNotifyList1", "ResendNotifyListToGroup1"}) {
        SCOPED_TRACE(notify);
        MenuContext c;
        c.rights = importer;
        c.informUsers = true;
        EXPECT_TRUE(menuCommandState(QLatin1String(notify), c).enabled);
        c.informUsers = false;
        EXPECT_FALSE(menuCommandState(QLatin1String(notify), c).enabled) << "no notices are sent";
        c.informUsers = true;
        c.rights = only(nullptr);
        EXPECT_FALSE(menuCommandState(QLatin1String(notify), c).enabled) << "no import right";
    }

    MenuContext c;
    c.rights = only(&TSecurityData::CanApprove);
    c.pdfViewerAvailable = false;
    EXPECT_EQ(menuCommandState(QStringLiteral("ReviewNew1"), c), (MenuCommandState{true, false}))
        << "without a viewer the command is hidden, not just greyed";
    EXPECT_TRUE(menuCommandState(QStringLiteral("New1"), c).visible);

    EXPECT_FALSE(menuCommandState(QStringLiteral("MerrowindHelp1"), c).enabled);
    c.helpAvailable = true;
    EXPECT_TRUE(menuCommandState(QStringLiteral("MerrowindHelp1"), c).enabled);

    // Commands without a rule are always there: Exit, Printer Settings, the reports.
    for (const char* free : {"Exit1", "PrinterSettings1", "PersonalData1", "JobData1", "ScanActivity1"})
        EXPECT_EQ(menuCommandState(QLatin1String(free), MenuContext{}), MenuCommandState{}) << free;
    EXPECT_TRUE(ruledMenuCommands().contains(QStringLiteral("PackDatabase1")));
    EXPECT_FALSE(ruledMenuCommands().contains(QStringLiteral("Exit1")));
}

TEST(MenuRules, OnlyThoseWhoMayChangeTheSettingsAreNotWatched)
{
    EXPECT_TRUE(watchesLoginDenial(only(nullptr)));
    EXPECT_TRUE(watchesLoginDenial(only(&TSecurityData::CanAddUsers)));
    EXPECT_FALSE(watchesLoginDenial(only(&TSecurityData::CanChangeSystem)));
    EXPECT_FALSE(watchesLoginDenial(only(&TSecurityData::CanChangeGeneral)));
}
