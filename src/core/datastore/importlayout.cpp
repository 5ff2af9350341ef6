#include "datastore/importlayout.h"

#include "datastore/merrowinddata.h"

namespace mw {

#define MW_PAIR(p) {#p "Start", &TImportData::p##Start}, {#p "Length", &TImportData::p##Length}

const TImportData::NumberMember TImportData::Numbers[TImportData::NumberCount] = {
    MW_PAIR(AppID),         MW_PAIR(AppName),        MW_PAIR(AppSoc),           MW_PAIR(AppPhone),
    MW_PAIR(AppAddress1),   MW_PAIR(AppAddress2),    MW_PAIR(AppAddress3),      MW_PAIR(AppAddress4),
    MW_PAIR(AppCity),       MW_PAIR(AppState),       MW_PAIR(AppZip),           MW_PAIR(AppPurgeDate),
    MW_PAIR(AppVetPref),    MW_PAIR(AppDispDate),    MW_PAIR(AppRIF),           MW_PAIR(AppRIFExpire),
    MW_PAIR(ReqNumber),     MW_PAIR(ReqContact),     MW_PAIR(ReqPostingID),     MW_PAIR(ReqPositionTitle),
    MW_PAIR(ReqFTE),        MW_PAIR(ReqJobCode),     MW_PAIR(ReqDepartment),    MW_PAIR(ReqPhone),
    MW_PAIR(ReqEMail),      MW_PAIR(ReqMail),        MW_PAIR(ReqPosted),
    {"PurgeDays", &TImportData::PurgeDays},          {"LinesToSkip", &TImportData::LinesToSkip},
};

#undef MW_PAIR

const TImportData::TextMember TImportData::Texts[TImportData::TextCount] = {
    {"ImportFileName", &TImportData::ImportFileName},
    {"VetCodes", &TImportData::VetCodes},
    {"AppRIFCodes", &TImportData::AppRIFCodes},
    {"ApplicantsOnlyFile", &TImportData::ApplicantsOnlyFile},
    {"ReqsOnlyFile", &TImportData::ReqsOnlyFile},
};

void TMerrowindData::LoadImportLayout()
{
    TImportData layout; // every number 0, every text empty, PurgeDays 180

    TTable& t = SettingsTable;
    // Another running copy may have changed the layout since the table was read.
    if (t.active() && t.state() == DataSetState::Browse)
        t.refresh();
    if (t.active() && t.hasRecord()) {
        for (const auto& n : TImportData::Numbers) {
            TField f = t.fieldByName(QLatin1String(n.name));
            if (!f.isNull())
                layout.*n.member = f.asInteger();
        }
        for (const auto& s : TImportData::Texts) {
            TField f = t.fieldByName(QLatin1String(s.name));
            if (!f.isNull())
                layout.*s.member = f.asString();
        }
    }
    layout.VetCodes = layout.VetCodes.toUpper();
    ImportLayout = std::move(layout);
}

} // namespace mw
