#include "ads/adsfunc.h"

#include "ads/adsdata.h"

namespace ads {

namespace {

// 5068 (no current record) counts as success here: a table without rows has none.
void CheckTolerating5068(TAdsDataSet* dataSet, UNSIGNED32 result) {
    if (result != AE_NO_CURRENT_RECORD) CheckEngineResult(dataSet, result);
}

}  // namespace

void ApplyTablePassword(TAdsDataSet* dataSet, const std::string& password) {
    ADSHANDLE table = dataSet->TableHandle();
    CheckTolerating5068(
        dataSet, AdsEnableEncryption(
                     table, reinterpret_cast<UNSIGNED8*>(const_cast<char*>(password.c_str()))));
    UNSIGNED16 eof = 0, bof = 0;
    CheckTolerating5068(dataSet, AdsAtEOF(table, &eof));
    CheckTolerating5068(dataSet, AdsAtBOF(table, &bof));
    dataSet->CursorPosChanged();
    if (bof)
        dataSet->First();
    else if (eof)
        dataSet->Last();
    else
        dataSet->Resync(0);
}

}  // namespace ads
