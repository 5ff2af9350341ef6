#pragma once
// The import layout: where each imported value sits in a line of an HR export
// file, plus the few settings an import run needs. Copied from the settings
// record at the start of every import run, so edits take effect on the next run.

#include <QString>

namespace mw {

// Each value is a start/length pair:
//   start 0                 the value is not in the file (read as empty text);
//   start > 0, length > 0   fixed columns: length characters from column start (first column 1);
//   start > 0, length 0     tab-separated: field number start (first field 1).
// Members carry the names of the settings fields they are read from.
struct TImportData
{
    int AppIDStart = 0, AppIDLength = 0;
    int AppNameStart = 0, AppNameLength = 0;
    int AppSocStart = 0, AppSocLength = 0;
    int AppPhoneStart = 0, AppPhoneLength = 0;
    int AppAddress1Start = 0, AppAddress1Length = 0;
    int AppAddress2Start = 0, AppAddress2Length = 0;
    int AppAddress3Start = 0, AppAddress3Length = 0;
    int AppAddress4Start = 0, AppAddress4Length = 0;
    int AppCityStart = 0, AppCityLength = 0;
    int AppStateStart = 0, AppStateLength = 0;
    int AppZipStart = 0, AppZipLength = 0;
    int AppPurgeDateStart = 0, AppPurgeDateLength = 0;
    int AppVetPrefStart = 0, AppVetPrefLength = 0;
    int AppDispDateStart = 0, AppDispDateLength = 0;
    int AppRIFStart = 0, AppRIFLength = 0;
    int AppRIFExpireStart = 0, AppRIFExpireLength = 0;
    int ReqNumberStart = 0, ReqNumberLength = 0;
    int ReqContactStart = 0, ReqContactLength = 0;
    int ReqPostingIDStart = 0, ReqPostingIDLength = 0;
    int ReqPositionTitleStart = 0, ReqPositionTitleLength = 0;
    int ReqFTEStart = 0, ReqFTELength = 0;
    int ReqJobCodeStart = 0, ReqJobCodeLength = 0;
    int ReqDepartmentStart = 0, ReqDepartmentLength = 0;
    int ReqPhoneStart = 0, ReqPhoneLength = 0;
    int ReqEMailStart = 0, ReqEMailLength = 0;
    int ReqMailStart = 0, ReqMailLength = 0;
    int ReqPostedStart = 0, ReqPostedLength = 0;

    int PurgeDays = 180; // days from the import day to an applicant's default purge date
    int LinesToSkip = 0; // lines thrown away at the top of every import file

    QString ImportFileName;     // the all-data file
    QString VetCodes;           // veteran codes, ";"-separated, held upper-cased
    QString AppRIFCodes;        // RIF codes, ";"-separated, held as stored
    QString ApplicantsOnlyFile; // the applicants-only file
    QString ReqsOnlyFile;       // the requisitions-only file

    // The whole-number members in record order, with their settings field names.
    struct NumberMember
    {
        const char* name;
        int TImportData::*member;
    };
    static constexpr int NumberCount = 56; // 27 pairs, PurgeDays, LinesToSkip
    static const NumberMember Numbers[NumberCount];

    struct TextMember
    {
        const char* name;
        QString TImportData::*member;
    };
    static constexpr int TextCount = 5;
    static const TextMember Texts[TextCount];
};

} // namespace mw
